// Filled in with the codecs.
