// The datagram engine on the completion-port layer: endpoints with one
// receive always outstanding, asynchronous sends, and worker threads that
// take completions off the one port and report them to the callbacks.

#include "engine/engine.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "engine/detail/completion_port.h"
#include "engine/detail/engine_testing.h"

namespace kestrova {

namespace {

using namespace detail;

constexpr std::uint32_t RECEIVE_BUFFER_SIZE = 8192;
constexpr std::uint32_t WORKER_WAIT_MS = 500;
// Large enough to absorb bursts far above what the default buffer holds
// (about 45k datagrams/s before drops); the kernel may grant less.
constexpr int SOCKET_RECEIVE_BUFFER_BYTES = 4 * 1024 * 1024;

// The record of one asynchronous operation: an endpoint's receive record
// (IO_RECV, reused for every receive) or one send (IO_SEND). The overlapped
// block comes first, so the block a dequeue returns is the record itself.
struct io_context {
  cp_overlapped overlapped{};
  // The endpoint's socket; a receive record holds CP_INVALID_SOCKET once
  // the endpoint is closed. Workers read it while endpoint_close sets it.
  std::atomic<cp_socket> socket{CP_INVALID_SOCKET};
  std::int32_t kind = 0;
  datagram_callback callback = nullptr;
  cp_buffer buffer{};
  // Send only: the private copy of the payload.
  std::uint8_t* payload_copy = nullptr;
  cp_count byte_count = 0;
  sockaddr_in peer{};
  std::int32_t user_value = 0;

  // Receive only: where the platform writes the flags and the sender's
  // length of the pending receive.
  cp_count receive_flags = 0;
  int peer_length = sizeof(sockaddr_in);
  // Receive only: one reference held by the handle table while the endpoint
  // is open, one by the pending or running receive. The last one releases
  // the record, so it outlives every worker that can still touch it.
  std::atomic<int> references{0};
  std::unique_ptr<char[]> receive_storage;

  io_context() { live_records.fetch_add(1, std::memory_order_relaxed); }
  io_context(const io_context&) = delete;
  io_context& operator=(const io_context&) = delete;
  ~io_context() {
    delete[] payload_copy;
    live_records.fetch_sub(1, std::memory_order_release);
  }

  // Records not yet released, for tests that check nothing is left behind.
  // Released with release order: a reader that sees the count drop also
  // sees everything the record's last worker did, its callback included.
  static inline std::atomic<long> live_records{0};
};

static_assert(offsetof(io_context, overlapped) == 0);

cp_port completion_port = CP_INVALID_PORT;

// Open endpoints by handle. Handles count up from 1 and are never reused.
std::mutex endpoints_mutex;
std::map<endpoint_handle, io_context*> endpoints;
endpoint_handle last_handle = 0;

void print_diagnostic(const char* format, int code) {
  std::printf(format, code);
  std::fflush(stdout);
}

void release_reference(io_context* record) {
  if (record->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete record;
}

io_context* record_of(cp_overlapped* overlapped) {
  return reinterpret_cast<io_context*>(overlapped);
}

bool post_receive_on(io_context* record, cp_socket socket, cp_error* error) {
  record->overlapped = {};
  record->receive_flags = 0;
  record->peer_length = sizeof(sockaddr_in);
  return post_receive(socket, &record->buffer, &record->byte_count, &record->receive_flags,
                      &record->peer, &record->peer_length, &record->overlapped, error);
}

// Posts the next receive of an endpoint whose receive has ended; the ended
// receive's reference passes to the new one. On a closed endpoint nothing
// is posted and nothing printed.
void post_next_receive(io_context* record) {
  cp_socket socket = record->socket.load();
  if (socket != CP_INVALID_SOCKET) {
    cp_error error = 0;
    if (post_receive_on(record, socket, &error)) return;
    // A close that raced with the post is not a fault of the endpoint.
    if (record->socket.load() != CP_INVALID_SOCKET) {
      std::printf("WSARecvFrom SOCKET_ERROR!");
      std::fflush(stdout);
    }
  }
  release_reference(record);
}

// Reports every datagram of one receive completion, in arrival order. No
// new callback starts once the endpoint has been closed.
void deliver_datagrams(io_context* record, const completion& done) {
  for (std::uint32_t i = 0; i < done.datagrams; ++i) {
    if (record->socket.load() == CP_INVALID_SOCKET) return;
    cp_count length = load_datagram(done, i);
    if (record->callback != nullptr) {
      record->callback(record->kind, reinterpret_cast<const std::uint8_t*>(record->buffer.buf),
                       length, address_text(record->peer.sin_addr), ntohs(record->peer.sin_port),
                       record->user_value);
    }
  }
}

void complete_send(io_context* record, cp_count bytes) {
  record->byte_count += bytes;
  if (record->callback != nullptr) {
    record->callback(IO_SEND, record->payload_copy, bytes, address_text(record->peer.sin_addr),
                     ntohs(record->peer.sin_port), record->user_value);
  }
  delete record;
}

void completion_worker(void* argument) {
  const cp_port port = static_cast<cp_port>(argument);
  for (;;) {
    completion done = dequeue(port, WORKER_WAIT_MS);
    if (done.overlapped == nullptr) continue;  // time-out
    io_context* record = record_of(done.overlapped);
    if (!done.ok) {
      // No callback for a failed operation. A failed receive of an open
      // endpoint is posted again, so one bad datagram (on Windows the ICMP
      // port-unreachable of an earlier send) does not make it deaf; the
      // aborted receive of a closed endpoint ends here.
      if (record->kind == IO_SEND) {
        delete record;
      } else if (record->kind == IO_RECV) {
        post_next_receive(record);
      }
      continue;
    }
    if (record->kind == IO_SEND) {
      complete_send(record, done.bytes);
    } else if (record->kind == IO_RECV) {
      deliver_datagrams(record, done);
      post_next_receive(record);
    }
  }
}

// The receive record of an open endpoint, or null. The caller holds
// endpoints_mutex.
io_context* open_endpoint(endpoint_handle handle) {
  auto found = endpoints.find(handle);
  return found == endpoints.end() ? nullptr : found->second;
}

}  // namespace

bool engine_init() {
  completion_port = create_port();
  if (completion_port == CP_INVALID_PORT) {
    std::printf("CreateIoCompletionPort failed!\n");
    std::fflush(stdout);
    return false;
  }
  const std::uint32_t workers = 2 * processor_count();
  for (std::uint32_t i = 0; i < workers; ++i) {
    cp_error error = 0;
    if (!start_thread(completion_worker, completion_port, &error)) {
      print_diagnostic("CreateThread failed with error: %d\n", error);
      return false;
    }
  }
  if (int result = start_socket_layer(); result != 0) {
    print_diagnostic("WSAStartup failed with error: %d\n", result);
    return false;
  }
  return true;
}

endpoint_handle endpoint_open(std::int32_t port, datagram_callback callback,
                              std::int32_t user_value) {
  cp_error error = 0;
  cp_socket socket = udp_socket(&error);
  if (socket == CP_INVALID_SOCKET) {
    std::printf("socket failed with error %ld\n", static_cast<long>(error));
    std::fflush(stdout);
    return 0;
  }
  associate_socket(completion_port, socket);
  if (!bind_any(socket, static_cast<std::uint16_t>(port & 0xFFFF), &error)) {
    print_diagnostic("bind failed with eror: %d\n", error);
    close_socket(socket);
    return 0;
  }
  // The only socket option: a receive buffer that holds a burst.
  set_receive_buffer_size(socket, SOCKET_RECEIVE_BUFFER_BYTES, &error);

  auto record = std::make_unique<io_context>();
  record->receive_storage = std::make_unique<char[]>(RECEIVE_BUFFER_SIZE);
  record->buffer = {RECEIVE_BUFFER_SIZE, record->receive_storage.get()};
  record->kind = IO_RECV;
  record->callback = callback;
  record->socket = socket;
  record->user_value = user_value;
  record->references = 2;  // the handle table's and the first receive's

  std::lock_guard lock(endpoints_mutex);
  if (last_handle == INT32_MAX || !post_receive_on(record.get(), socket, &error)) {
    close_socket(socket);
    return 0;
  }
  const endpoint_handle handle = ++last_handle;
  endpoints.emplace(handle, record.release());
  return handle;
}

bool endpoint_send(endpoint_handle handle, const char* address, std::int32_t port,
                   const std::uint8_t* data, std::uint32_t length) {
  if (data == nullptr && length != 0) return false;
  auto record = std::make_unique<io_context>();
  {
    std::lock_guard lock(endpoints_mutex);
    io_context* endpoint = open_endpoint(handle);
    if (endpoint == nullptr) return false;
    record->socket = endpoint->socket.load();
    record->callback = endpoint->callback;
    record->user_value = endpoint->user_value;
  }
  record->payload_copy = new std::uint8_t[length];
  if (length != 0) std::memcpy(record->payload_copy, data, length);
  record->buffer = {length, reinterpret_cast<char*>(record->payload_copy)};
  record->byte_count = 0;
  record->peer.sin_family = AF_INET;
  record->peer.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
  record->peer.sin_addr.s_addr = address_from_text(address);
  record->kind = IO_SEND;
  record->overlapped = {};

  cp_error error = 0;
  if (!post_send(record->socket.load(), &record->buffer, &record->peer, &record->overlapped,
                 &error)) {
    return false;
  }
  record.release();  // the worker that takes its completion releases it
  return true;
}

bool endpoint_close(endpoint_handle handle) {
  io_context* record = nullptr;
  {
    std::lock_guard lock(endpoints_mutex);
    record = open_endpoint(handle);
    if (record == nullptr) return false;
    endpoints.erase(handle);
  }
  // Marked closed before the socket goes, so the worker that gets the
  // aborted receive (or fails to re-post) knows to let the record go.
  close_socket(record->socket.exchange(CP_INVALID_SOCKET));
  release_reference(record);
  return true;
}

namespace detail {

std::uint16_t endpoint_local_port(endpoint_handle handle) {
  std::lock_guard lock(endpoints_mutex);
  io_context* record = open_endpoint(handle);
  return record == nullptr ? 0 : local_port(record->socket.load());
}

long live_io_contexts() { return io_context::live_records.load(std::memory_order_acquire); }

int endpoint_references(endpoint_handle handle) {
  std::lock_guard lock(endpoints_mutex);
  io_context* record = open_endpoint(handle);
  return record == nullptr ? 0 : record->references.load();
}

void fail_endpoint_receive(endpoint_handle handle) {
  std::lock_guard lock(endpoints_mutex);
  if (io_context* record = open_endpoint(handle)) {
    fail_pending_receive(record->socket.load(), &record->overlapped);
  }
}

void fail_endpoint_next_receive_post(endpoint_handle handle) {
  std::lock_guard lock(endpoints_mutex);
  if (io_context* record = open_endpoint(handle)) fail_next_receive_post(record->socket.load());
}

#if !defined(_WIN32)
void defer_endpoint_next_send(endpoint_handle handle) {
  std::lock_guard lock(endpoints_mutex);
  if (io_context* record = open_endpoint(handle)) defer_next_send(record->socket.load());
}
#endif

}  // namespace detail

}  // namespace kestrova
