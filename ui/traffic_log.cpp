// Filled in with the traffic log.
