// The datagram engine: an asynchronous UDP/IPv4 service on one completion
// port and a pool of worker threads.
//
// Every received datagram and every completed send is reported to the
// endpoint's callback on one of the engine's worker threads, never on the
// caller's thread. Failures are reported through the results (false, or a 0
// handle) and a diagnostic line on standard output.
#pragma once

#include <cstdint>

namespace kestrova {

// The kinds an io_context can be, passed unchanged as the callback's kind.
inline constexpr std::int32_t IO_SEND = 1;
inline constexpr std::int32_t IO_RECV = 2;

// A handle to an open endpoint: positive when endpoint_open succeeded, 0 when
// it failed. Handles are handed out in increasing order and never reused, so
// a stale handle kept by a caller can never denote a later endpoint.
using endpoint_handle = std::int32_t;

// Receives one completed send (kind IO_SEND) or one received datagram (kind
// IO_RECV). data and peer_address are valid only during the call: the receive
// buffer is reused by the next receive, a send's copy is released right after
// the call. peer is the sender of a received datagram, the destination of a
// send. Receive callbacks of one endpoint never overlap and arrive in arrival
// order. The result is ignored.
using datagram_callback = int (*)(std::int32_t kind, const std::uint8_t* data,
                                  std::uint32_t length, const char* peer_address,
                                  std::int32_t peer_port, std::int32_t user_value);

// Creates the completion port, starts 2 x processors worker threads and the
// socket layer. Call once per process before any other operation; false when
// any step failed (what was started keeps running).
bool engine_init();

// Opens a UDP socket bound to every local IPv4 address on the low 16 bits of
// port (0 lets the system choose) with one receive outstanding. callback may
// be null. Returns 0 on failure.
endpoint_handle endpoint_open(std::int32_t port, datagram_callback callback,
                              std::int32_t user_value);

// Sends length bytes from data (null allowed when length is 0) from the
// endpoint to address:port (low 16 bits). The bytes are copied before the
// call returns. True when the send was started; its callback then follows on
// a worker, never inside this call.
bool endpoint_send(endpoint_handle handle, const char* address, std::int32_t port,
                   const std::uint8_t* data, std::uint32_t length);

// Closes an open endpoint. False for 0, a closed, stale or foreign handle.
// Once this returns the local port is free again; a callback of this endpoint
// that is already running may finish, and no receive is posted again.
bool endpoint_close(endpoint_handle handle);

}  // namespace kestrova
