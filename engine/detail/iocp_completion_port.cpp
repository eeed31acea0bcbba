// The completion-port layer on Windows: native I/O completion ports and
// Winsock 2. Every operation maps onto one platform call; the few places
// where Winsock's UDP behaviour needs help are explained where they are
// handled.
#include <mswsock.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "engine/detail/completion_port.h"

// Older mingw-w64 headers lack these; the values are the ones Windows uses.
#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif
#ifndef SIO_UDP_NETRESET
#define SIO_UDP_NETRESET _WSAIOW(IOC_VENDOR, 15)
#endif

namespace kestrova::detail {
namespace {

// The most one UDP/IPv4 datagram carries: 65535 less the IP and UDP headers.
constexpr ULONG MAX_UDP_PAYLOAD = 65507;
// STATUS_BUFFER_OVERFLOW (ntstatus.h does not mix with windows.h).
constexpr ULONG_PTR BUFFER_OVERFLOW_STATUS = 0x80000005;

// A datagram longer than the buffer it is received into: Winsock fills the
// buffer with its first bytes and ends the receive with WSAEMSGSIZE (through
// the completion port: ERROR_MORE_DATA). The layer reports such a receive as
// a success of the buffer's length.
bool is_truncated_datagram(cp_error error) {
  return error == ERROR_MORE_DATA || error == WSAEMSGSIZE;
}

// Turns one of Winsock's UDP error reports off for the socket. Without this,
// an ICMP port-unreachable (or TTL-expired) for an earlier send ends the
// socket's next receive with WSAECONNRESET (or WSAENETRESET), although
// nothing is wrong with the socket itself.
void disable_udp_report(SOCKET socket, DWORD control) {
  BOOL enabled = FALSE;
  DWORD returned = 0;
  // Failure is harmless: the engine posts a failed receive again anyway.
  WSAIoctl(socket, control, &enabled, sizeof enabled, nullptr, 0, &returned, nullptr, nullptr);
}

// Sockets whose next post_receive a test asked to fail. The count lets every
// other receive skip the lock.
std::mutex failing_posts_mutex;
std::vector<SOCKET> failing_posts;
std::atomic<int> failing_post_count{0};

bool take_failing_post(SOCKET socket) {
  if (failing_post_count.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard lock(failing_posts_mutex);
  auto found = std::find(failing_posts.begin(), failing_posts.end(), socket);
  if (found == failing_posts.end()) return false;
  failing_posts.erase(found);
  failing_post_count.fetch_sub(1, std::memory_order_release);
  return true;
}

// Socket values are reused by Windows after closesocket, so a request for a
// closed socket must not outlive it.
void forget_failing_post(SOCKET socket) {
  while (take_failing_post(socket)) {
  }
}

struct thread_start {
  void (*entry)(void*);
  void* argument;
};

DWORD WINAPI run_thread(LPVOID parameter) {
  thread_start start = *static_cast<thread_start*>(parameter);
  delete static_cast<thread_start*>(parameter);
  start.entry(start.argument);
  return 0;
}

}  // namespace

// ---- port and threads -----------------------------------------------------

cp_port create_port() {
  // Concurrency 0: as many threads run at once as there are processors.
  return CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
}

completion dequeue(cp_port port, std::uint32_t timeout_ms) {
  completion done{};
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  DWORD bytes = 0;
  BOOL ok = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, timeout_ms);
  done.bytes = bytes;
  done.overlapped = overlapped;
  if (ok) {
    done.ok = true;
    // One receive on Windows is always one datagram.
    done.datagrams = 1;
    return done;
  }
  done.error = static_cast<cp_error>(GetLastError());
  if (overlapped != nullptr && is_truncated_datagram(done.error)) {
    // bytes is the buffer's length: the datagram's first bytes are in it.
    done.ok = true;
    done.error = 0;
    done.datagrams = 1;
    return done;
  }
  done.ok = false;
  return done;
}

cp_count load_datagram(const completion& done, std::uint32_t index) {
  // A Windows receive completion carries exactly one datagram, which is
  // already in place.
  return index == 0 ? done.bytes : 0;
}

bool start_thread(void (*entry)(void*), void* argument, cp_error* error) {
  auto* start = new (std::nothrow) thread_start{entry, argument};
  if (start == nullptr) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, run_thread, start, 0, &id);
  if (thread == nullptr) {
    *error = static_cast<cp_error>(GetLastError());
    delete start;
    return false;
  }
  // The thread runs on without its handle.
  CloseHandle(thread);
  return true;
}

std::uint32_t processor_count() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

// ---- sockets --------------------------------------------------------------

int start_socket_layer() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

cp_socket udp_socket(cp_error* error) {
  // socket() makes an overlapped socket, as WSASocket with
  // WSA_FLAG_OVERLAPPED would.
  SOCKET created = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (created == INVALID_SOCKET) {
    *error = WSAGetLastError();
    return CP_INVALID_SOCKET;
  }
  disable_udp_report(created, SIO_UDP_CONNRESET);
  disable_udp_report(created, SIO_UDP_NETRESET);
  return created;
}

bool associate_socket(cp_port port, cp_socket socket) {
  // The key is the socket; the engine finds its record through the
  // overlapped block and does not use it.
  return CreateIoCompletionPort(reinterpret_cast<HANDLE>(socket), port,
                                static_cast<ULONG_PTR>(socket), 0) == port;
}

bool bind_any(cp_socket socket, std::uint16_t port, cp_error* error) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
    *error = WSAGetLastError();
    return false;
  }
  return true;
}

bool set_receive_buffer_size(cp_socket socket, int bytes, cp_error* error) {
  if (setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                 sizeof bytes) == SOCKET_ERROR) {
    *error = WSAGetLastError();
    return false;
  }
  return true;
}

std::uint16_t local_port(cp_socket socket) {
  sockaddr_in local{};
  int length = sizeof local;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) == SOCKET_ERROR) return 0;
  return ntohs(local.sin_port);
}

void close_socket(cp_socket socket) {
  if (socket == INVALID_SOCKET) return;
  forget_failing_post(socket);
  // Pending receives and sends complete through the port with
  // ERROR_OPERATION_ABORTED.
  closesocket(socket);
}

bool post_receive(cp_socket socket, cp_buffer* buffer, cp_count* byte_count, cp_count* flags,
                  sockaddr_in* from, int* from_length, cp_overlapped* overlapped, cp_error* error) {
  if (take_failing_post(socket)) {
    *error = WSAENETDOWN;
    return false;
  }
  // Both are read by WSARecvFrom as well as written: no flags in, room for
  // one IPv4 address.
  *flags = 0;
  *from_length = sizeof(sockaddr_in);
  if (WSARecvFrom(socket, buffer, 1, byte_count, flags, reinterpret_cast<sockaddr*>(from),
                  from_length, overlapped, nullptr) == 0) {
    return true;
  }
  int code = WSAGetLastError();
  if (code == WSA_IO_PENDING) return true;
  // A datagram longer than the buffer that is already waiting ends the
  // receive at once with WSAEMSGSIZE. Its status, STATUS_BUFFER_OVERFLOW, is
  // a warning, not an error: the buffer is filled, the status block written
  // and the completion still queued on the port, where dequeue reports it as
  // a success. The status block tells that this is what happened.
  if (code == WSAEMSGSIZE && overlapped->Internal == BUFFER_OVERFLOW_STATUS) return true;
  *error = code;
  return false;
}

bool post_send(cp_socket socket, const cp_buffer* buffer, const sockaddr_in* to,
               cp_overlapped* overlapped, cp_error* error) {
  // More than one UDP/IPv4 datagram carries (65535 less the IP and UDP
  // headers) is refused here, with the error WSASendTo gives: Wine reports
  // that failure at once and yet queues a completion for the send, which
  // would reach a record already released.
  if (buffer->len > MAX_UDP_PAYLOAD) {
    *error = WSAEMSGSIZE;
    return false;
  }
  // WSASendTo takes a non-const WSABUF array but only reads it.
  if (WSASendTo(socket, const_cast<cp_buffer*>(buffer), 1, nullptr, 0,
                reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in), overlapped,
                nullptr) == 0) {
    return true;
  }
  int code = WSAGetLastError();
  if (code == WSA_IO_PENDING) return true;
  *error = code;
  return false;
}

// ---- addresses ------------------------------------------------------------

std::uint32_t address_from_text(const char* text) {
  if (text == nullptr) return INADDR_NONE;
  return inet_addr(text);
}

const char* address_text(in_addr address) {
  // inet_ntoa's text lasts only until this thread's next socket call; the
  // layer promises it until the next address_text.
  thread_local char text[INET_ADDRSTRLEN];
  const char* converted = inet_ntoa(address);
  if (converted == nullptr) converted = "";
  std::strncpy(text, converted, sizeof text - 1);
  text[sizeof text - 1] = '\0';
  return text;
}

// ---- test hooks -----------------------------------------------------------

void fail_pending_receive(cp_socket socket, cp_overlapped* overlapped) {
  // Cancelling the one pending receive makes the platform end it with
  // ERROR_OPERATION_ABORTED through the port, as any failed receive ends.
  CancelIoEx(reinterpret_cast<HANDLE>(socket), overlapped);
}

void fail_next_receive_post(cp_socket socket) {
  std::lock_guard lock(failing_posts_mutex);
  if (std::find(failing_posts.begin(), failing_posts.end(), socket) != failing_posts.end()) return;
  failing_posts.push_back(socket);
  failing_post_count.fetch_add(1, std::memory_order_release);
}

}  // namespace kestrova::detail
