// The completion-port layer: the few platform operations the engine is
// written on, named after what they stand for (a completion port, overlapped
// UDP receives and sends, worker threads, address texts).
//
// Two backends implement this header, chosen by the one #if below:
//   epoll_completion_port.cpp  Linux: one epoll instance plus an eventfd for
//                              completions the layer queues itself.
//   iocp_completion_port.cpp   Windows: native I/O completion ports, Winsock.
//
// Model (the same on both backends):
// - Every socket is associated with one port. Every operation posted on it
//   (post_receive, post_send) that reports "started" queues exactly one
//   completion on that port, also when it finished at once; one that reports
//   "failed" queues none.
// - dequeue returns one completion: its overlapped block identifies the
//   operation (callers put the block first in their own record, so the
//   pointer is the record).
// - close_socket aborts the socket's pending operations: each still queues
//   its completion, as a failure. Once close_socket has returned the layer no
//   longer writes into any buffer of that socket, and the local port is free.
// - A receive completion may carry several datagrams (the Linux backend takes
//   up to MAX_RECEIVE_BATCH per wakeup; Windows always one): datagram 0 is
//   already in the buffer and address the receive was posted with, the
//   others are moved there one at a time by load_datagram.
// - A datagram longer than the posted buffer completes successfully with the
//   buffer's length and its first bytes.
#pragma once

#include <cstdint>

#if defined(_WIN32)
// winsock2.h must come before windows.h, which would pull in the old winsock.h.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

namespace kestrova::detail {

#if defined(_WIN32)

using cp_port = HANDLE;
using cp_socket = SOCKET;
using cp_overlapped = OVERLAPPED;
// ULONG len, then CHAR* buf.
using cp_buffer = WSABUF;
// The byte counts and flags Winsock writes through pointers (DWORD).
using cp_count = DWORD;
inline constexpr cp_socket CP_INVALID_SOCKET = INVALID_SOCKET;
inline constexpr cp_port CP_INVALID_PORT = nullptr;

#else

struct epoll_port;
using cp_port = epoll_port*;
// A socket of the layer: its slot in the socket table and that slot's
// generation, so a socket value kept after close never denotes a later
// socket that reuses the slot. All bits set: no socket.
using cp_socket = std::uint64_t;
// The per-operation block. Its fields belong to the backend; callers set it
// to all zero before posting and never read it.
struct cp_overlapped {
  cp_overlapped* next_completion;
  std::uint32_t bytes;
  std::int32_t error;
  std::uint32_t datagrams;
  std::uint32_t reserved;
};
// The same shape as Winsock's WSABUF: length, then the bytes.
struct cp_buffer {
  std::uint32_t len;
  char* buf;
};
using cp_count = std::uint32_t;
inline constexpr cp_socket CP_INVALID_SOCKET = ~cp_socket{0};
inline constexpr cp_port CP_INVALID_PORT = nullptr;

#endif

// The platform's error code of a failed call (WSAGetLastError or
// GetLastError on Windows, errno on Linux).
using cp_error = int;

// The most datagrams one receive completion carries.
inline constexpr std::uint32_t MAX_RECEIVE_BATCH = 64;

// One dequeued completion.
struct completion {
  // False on time-out (overlapped then null) and for an operation that ended
  // in error (overlapped then set, error holds the code).
  bool ok;
  // The byte count of the operation (of datagram 0 for a receive).
  cp_count bytes;
  cp_overlapped* overlapped;
  cp_error error;
  // How many datagrams a successful receive completion carries (at least 1).
  std::uint32_t datagrams;
};

// ---- port and threads -----------------------------------------------------

// Creates a completion port; CP_INVALID_PORT on failure.
cp_port create_port();

// Waits up to timeout_ms for one completion of the port.
completion dequeue(cp_port port, std::uint32_t timeout_ms);

// For a successful receive completion taken on this thread by the latest
// dequeue: moves datagram index (1 <= index < datagrams) into the buffer and
// address the receive was posted with, and returns its byte count. Index 0
// is already there (returns the completion's bytes).
cp_count load_datagram(const completion& done, std::uint32_t index);

// Starts a detached thread running entry(argument). False with the error
// code when it cannot be started.
bool start_thread(void (*entry)(void*), void* argument, cp_error* error);

// The number of processors of this machine (at least 1).
std::uint32_t processor_count();

// ---- sockets --------------------------------------------------------------

// Starts the socket layer (Winsock 2.2; nothing to do on Linux). 0, or the
// error code.
int start_socket_layer();

// A new UDP/IPv4 socket; CP_INVALID_SOCKET with the error code on failure.
cp_socket udp_socket(cp_error* error);

// Associates the socket with the port: its operations complete there. False
// on failure.
bool associate_socket(cp_port port, cp_socket socket);

// Binds the socket to every local IPv4 address on the port (host order, 0
// lets the platform choose). False with the error code on failure.
bool bind_any(cp_socket socket, std::uint16_t port, cp_error* error);

// Asks the kernel for a receive buffer of bytes (it may grant less). False
// with the error code on failure.
bool set_receive_buffer_size(cp_socket socket, int bytes, cp_error* error);

// The local port the socket is bound to, host order; 0 if unknown.
std::uint16_t local_port(cp_socket socket);

// Closes the socket and aborts its pending operations (see the model
// above). Waits for a receive the layer is performing into the socket's
// buffer right now. A closed or unknown socket is ignored.
void close_socket(cp_socket socket);

// Posts one receive into buffer. The platform stores the sender in *from
// (with *from_length, which must hold sizeof(sockaddr_in)) and may store an
// immediate byte count in *byte_count and flags in *flags; all of them must
// stay valid until the completion is dequeued. True when started (completed
// at once or pending), false with the error code when it failed at once.
// A worker that re-posts the receive of the completion it just dequeued
// should call dequeue next: the Linux backend lets that worker take the
// socket's next batch itself when the previous one was full.
bool post_receive(cp_socket socket, cp_buffer* buffer, cp_count* byte_count, cp_count* flags,
                  sockaddr_in* from, int* from_length, cp_overlapped* overlapped, cp_error* error);

// Posts one send of buffer to *to. The bytes must stay valid until the
// completion is dequeued. True when started, false with the error code when
// it failed at once. On Linux the send is tried at once and its outcome
// queued; a send that would block waits for the socket to become writable.
bool post_send(cp_socket socket, const cp_buffer* buffer, const sockaddr_in* to,
               cp_overlapped* overlapped, cp_error* error);

// ---- addresses ------------------------------------------------------------

// Dotted-decimal text to an IPv4 address in network order; INADDR_NONE for a
// text it rejects (and for null).
std::uint32_t address_from_text(const char* text);

// The address in dotted-decimal form, in storage of this thread that stays
// valid until this thread's next call of address_text.
const char* address_text(in_addr address);

// ---- test hooks -----------------------------------------------------------
// Ways for tests to produce platform failures that loopback cannot.

// Completes the socket's pending receive (posted with overlapped) at once as
// failed, as a receive the platform ends with an error does.
void fail_pending_receive(cp_socket socket, cp_overlapped* overlapped);

// Makes the socket's next post_receive fail at once.
void fail_next_receive_post(cp_socket socket);

#if !defined(_WIN32)
// Makes the socket's next post_send wait for writability, as a send that
// would block does (loopback never blocks a UDP send).
void defer_next_send(cp_socket socket);
#endif

}  // namespace kestrova::detail
