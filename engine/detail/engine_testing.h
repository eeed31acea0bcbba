// Views into the engine that only tests use: the port the system chose for
// an endpoint, its record's reference count, and failures that loopback
// cannot produce, injected through the completion-port layer.
#pragma once

#include <cstdint>

#include "engine/engine.h"

namespace kestrova::detail {

// The local port of an open endpoint; 0 for a handle that is not open.
std::uint16_t endpoint_local_port(endpoint_handle handle);

// References held on an open endpoint's receive record: 2 while a receive
// is pending or running, 1 when the endpoint receives nothing more; 0 for a
// handle that is not open.
int endpoint_references(endpoint_handle handle);

// Receive and send records not yet released.
long live_io_contexts();

// Completes the endpoint's pending receive as failed.
void fail_endpoint_receive(endpoint_handle handle);

// Makes the endpoint's next receive post fail at once.
void fail_endpoint_next_receive_post(endpoint_handle handle);

#if !defined(_WIN32)
// Makes the endpoint's next send wait for writability.
void defer_endpoint_next_send(endpoint_handle handle);
#endif

}  // namespace kestrova::detail
