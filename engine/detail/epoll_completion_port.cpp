// The completion-port layer on Linux.
//
// The port is one epoll instance. Sockets are non-blocking and registered
// one-shot: a posted receive arms its socket for reading, and the worker
// that wakes for it performs the receive (one recvmmsg batch) and returns it
// as that receive's completion. Completions the layer produces itself (sends,
// aborted and injected failures) go on a queue whose length an eventfd in
// semaphore mode counts, so each of them wakes exactly one dequeue.
//
// Epoll's data never points at memory that can be freed: it names a slot of
// the socket table (index and generation). Slots are never freed, only
// reused with the next generation, so a late event for a closed socket finds
// a slot of another generation and is dropped. A slot's mutex is held while
// a worker receives into the socket's buffer; close takes it too, so it waits
// for that receive and afterwards nothing writes into the caller's records.

#include <errno.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/detail/completion_port.h"

namespace kestrova::detail {

struct epoll_port {
  int epoll_fd = -1;
  // Counts the completions waiting in the queue.
  int event_fd = -1;
  std::mutex queue_mutex;
  cp_overlapped* queue_head = nullptr;
  cp_overlapped* queue_tail = nullptr;
};

namespace {

// Epoll data of the port's eventfd; no socket has it.
constexpr std::uint64_t EVENT_FD_TAG = ~std::uint64_t{0} - 1;

constexpr std::uint32_t SLOTS_PER_CHUNK = 256;
constexpr std::uint32_t CHUNK_COUNT = 1024;  // room for 262144 sockets

struct waiting_send {
  const cp_buffer* buffer;
  const sockaddr_in* to;
  cp_overlapped* overlapped;
};

struct socket_slot {
  std::mutex mutex;
  // Everything below is guarded by mutex.
  std::uint32_t generation = 1;
  int fd = -1;
  epoll_port* port = nullptr;
  // The pending receive, when one is posted and not yet performed.
  cp_overlapped* receive = nullptr;
  cp_buffer* receive_buffer = nullptr;
  sockaddr_in* receive_from = nullptr;
  int* receive_from_length = nullptr;
  cp_count* receive_flags = nullptr;
  // Sends that would have blocked, in the order they were posted.
  std::deque<waiting_send> waiting_sends;
  bool fail_next_post = false;
  bool defer_next_send = false;
};

// The socket table: chunks of slots, allocated on demand and never freed,
// so a worker may look a slot up while another thread adds chunks.
struct socket_table {
  std::array<std::atomic<socket_slot*>, CHUNK_COUNT> chunks{};
  std::mutex mutex;  // guards free_slots and next_unused
  std::vector<std::uint32_t> free_slots;
  std::uint32_t next_unused = 0;
};

socket_table& table() {
  static socket_table* instance = new socket_table;  // lives as long as the process
  return *instance;
}

cp_socket socket_value(std::uint32_t index, std::uint32_t generation) {
  return (static_cast<std::uint64_t>(generation) << 32) | index;
}

socket_slot* slot_at(std::uint32_t index) {
  if (index >= SLOTS_PER_CHUNK * CHUNK_COUNT) return nullptr;
  socket_slot* chunk = table().chunks[index / SLOTS_PER_CHUNK].load(std::memory_order_acquire);
  return chunk == nullptr ? nullptr : &chunk[index % SLOTS_PER_CHUNK];
}

// A slot index that no open socket uses, or UINT32_MAX when the table is full.
std::uint32_t take_slot() {
  socket_table& t = table();
  std::lock_guard lock(t.mutex);
  if (!t.free_slots.empty()) {
    std::uint32_t index = t.free_slots.back();
    t.free_slots.pop_back();
    return index;
  }
  if (t.next_unused >= SLOTS_PER_CHUNK * CHUNK_COUNT) return UINT32_MAX;
  std::uint32_t index = t.next_unused++;
  auto& chunk = t.chunks[index / SLOTS_PER_CHUNK];
  if (chunk.load(std::memory_order_relaxed) == nullptr) {
    chunk.store(new socket_slot[SLOTS_PER_CHUNK], std::memory_order_release);
  }
  return index;
}

void give_back_slot(std::uint32_t index) {
  socket_table& t = table();
  std::lock_guard lock(t.mutex);
  t.free_slots.push_back(index);
}

// The slot of an open socket, locked; null (and nothing locked) when the
// socket is closed, unknown or of an earlier generation.
socket_slot* lock_open_slot(cp_socket socket, std::unique_lock<std::mutex>& lock) {
  socket_slot* slot = slot_at(static_cast<std::uint32_t>(socket));
  if (slot == nullptr) return nullptr;
  lock = std::unique_lock(slot->mutex);
  if (slot->generation != static_cast<std::uint32_t>(socket >> 32) || slot->fd < 0) {
    lock.unlock();
    return nullptr;
  }
  return slot;
}

// Like lock_open_slot, for a socket that must also be associated with a
// port; sets the error otherwise.
socket_slot* lock_associated_slot(cp_socket socket, std::unique_lock<std::mutex>& lock,
                                  cp_error* error) {
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot == nullptr) {
    *error = ENOTSOCK;
  } else if (slot->port == nullptr) {
    lock.unlock();
    *error = EINVAL;
    slot = nullptr;
  }
  return slot;
}

void queue_completion(epoll_port* port, cp_overlapped* overlapped, cp_count bytes, cp_error error) {
  overlapped->next_completion = nullptr;
  overlapped->bytes = bytes;
  overlapped->error = error;
  overlapped->datagrams = error == 0 ? 1 : 0;
  {
    std::lock_guard lock(port->queue_mutex);
    if (port->queue_tail == nullptr) {
      port->queue_head = overlapped;
    } else {
      port->queue_tail->next_completion = overlapped;
    }
    port->queue_tail = overlapped;
  }
  std::uint64_t one = 1;
  // Cannot fail short of 2^64 - 1 queued completions.
  [[maybe_unused]] ssize_t written = ::write(port->event_fd, &one, sizeof one);
}

cp_overlapped* pop_completion(epoll_port* port) {
  std::lock_guard lock(port->queue_mutex);
  cp_overlapped* overlapped = port->queue_head;
  if (overlapped != nullptr) {
    port->queue_head = overlapped->next_completion;
    if (port->queue_head == nullptr) port->queue_tail = nullptr;
  }
  return overlapped;
}

// Arms the slot's socket for what its pending operations wait for. One-shot:
// after an event the socket stays disarmed until the next call.
void arm(socket_slot* slot, cp_socket socket) {
  std::uint32_t events = 0;
  if (slot->receive != nullptr) events |= EPOLLIN;
  if (!slot->waiting_sends.empty()) events |= EPOLLOUT;
  if (events == 0 || slot->port == nullptr) return;
  epoll_event event{};
  event.events = events | EPOLLONESHOT;
  event.data.u64 = socket;
  ::epoll_ctl(slot->port->epoll_fd, EPOLL_CTL_MOD, slot->fd, &event);
}

// Sends what waits for writability, in order, until one would block again.
void flush_waiting_sends(socket_slot* slot) {
  while (!slot->waiting_sends.empty()) {
    waiting_send& send = slot->waiting_sends.front();
    ssize_t sent = ::sendto(slot->fd, send.buffer->buf, send.buffer->len, MSG_DONTWAIT,
                            reinterpret_cast<const sockaddr*>(send.to), sizeof(sockaddr_in));
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    queue_completion(slot->port, send.overlapped, sent < 0 ? 0 : static_cast<cp_count>(sent),
                     sent < 0 ? errno : 0);
    slot->waiting_sends.pop_front();
  }
}

// What one worker thread received in its latest receive completion.
// Datagram 0 went straight into the caller's buffer; the others wait here
// until load_datagram moves them there.
struct receive_batch {
  std::array<mmsghdr, MAX_RECEIVE_BATCH> messages{};
  std::array<iovec, MAX_RECEIVE_BATCH> vectors{};
  std::array<sockaddr_in, MAX_RECEIVE_BATCH> senders{};
  std::vector<char> storage;  // MAX_RECEIVE_BATCH - 1 buffers of buffer_length
  std::uint32_t buffer_length = 0;
  cp_overlapped* overlapped = nullptr;
  cp_buffer* buffer = nullptr;
  sockaddr_in* from = nullptr;
  int* from_length = nullptr;
};

receive_batch& thread_batch() {
  thread_local receive_batch batch;
  return batch;
}

// Performs the slot's pending receive: one recvmmsg of up to a batch.
// Returns the number of datagrams, 0 when there was nothing to read after
// all, -1 with errno when the receive failed.
int receive_into(socket_slot* slot, receive_batch& batch) {
  const std::uint32_t length = slot->receive_buffer->len;
  if (batch.buffer_length != length || batch.storage.empty()) {
    batch.storage.assign(static_cast<std::size_t>(length) * (MAX_RECEIVE_BATCH - 1) + 1, 0);
    batch.buffer_length = length;
  }
  batch.vectors[0] = {slot->receive_buffer->buf, length};
  for (std::uint32_t i = 1; i < MAX_RECEIVE_BATCH; ++i) {
    batch.vectors[i] = {batch.storage.data() + static_cast<std::size_t>(i - 1) * length, length};
  }
  for (std::uint32_t i = 0; i < MAX_RECEIVE_BATCH; ++i) {
    msghdr& header = batch.messages[i].msg_hdr;
    header = {};
    header.msg_name = i == 0 ? static_cast<void*>(slot->receive_from) : &batch.senders[i];
    header.msg_namelen = sizeof(sockaddr_in);
    header.msg_iov = &batch.vectors[i];
    header.msg_iovlen = 1;
  }
  // A datagram longer than the buffer is cut to its first bytes (MSG_TRUNC
  // in its flags); msg_len is then the buffer's length.
  int count = ::recvmmsg(slot->fd, batch.messages.data(), MAX_RECEIVE_BATCH, MSG_DONTWAIT, nullptr);
  if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  if (count < 0) return -1;
  batch.overlapped = slot->receive;
  batch.buffer = slot->receive_buffer;
  batch.from = slot->receive_from;
  batch.from_length = slot->receive_from_length;
  *batch.from_length = static_cast<int>(batch.messages[0].msg_hdr.msg_namelen);
  if (slot->receive_flags != nullptr) *slot->receive_flags = 0;
  return count;
}

// A worker whose receive came back with a full batch keeps that socket for
// its next dequeue: more is very likely waiting, and taking it at once saves
// the re-arm, the wait and the wakeup of another thread. At most
// MAX_CONTINUED_BATCHES batches in a row, then the socket goes back through
// epoll behind whatever else is ready, so one busy endpoint cannot keep a
// worker from the others and from the queued completions.
constexpr std::uint32_t MAX_CONTINUED_BATCHES = 4;

struct continuation {
  cp_socket socket = CP_INVALID_SOCKET;
  std::uint32_t batches = 0;
};

continuation& thread_continuation() {
  thread_local continuation next;
  return next;
}

// Performs the slot's pending receive. True with its completion when it
// ended (datagrams or an error); false when there was nothing to read, and
// the receive stays pending.
bool perform_receive(socket_slot* slot, cp_socket socket, completion* done) {
  receive_batch& batch = thread_batch();
  const int count = receive_into(slot, batch);
  if (count == 0) return false;
  const cp_error error = count < 0 ? errno : 0;
  cp_overlapped* overlapped = slot->receive;
  slot->receive = nullptr;
  arm(slot, socket);

  continuation& next = thread_continuation();
  const bool continued = next.socket == socket;
  if (count == static_cast<int>(MAX_RECEIVE_BATCH) &&
      !(continued && next.batches >= MAX_CONTINUED_BATCHES)) {
    next.batches = continued ? next.batches + 1 : 0;
    next.socket = socket;
  } else {
    next = {};
  }
  *done = count < 0 ? completion{false, 0, overlapped, error, 0}
                    : completion{true, batch.messages[0].msg_len, overlapped, 0,
                                 static_cast<std::uint32_t>(count)};
  return true;
}

// The continued socket's next receive, taken without epoll when there is
// something to read. False (and the socket armed) otherwise.
bool continue_receive(completion* done) {
  continuation& next = thread_continuation();
  const cp_socket socket = next.socket;
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot != nullptr && slot->receive != nullptr) {
    if (perform_receive(slot, socket, done)) return true;
    next = {};
    arm(slot, socket);
    return false;
  }
  next = {};
  return false;
}

std::uint32_t remaining_ms(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<std::uint32_t>(left.count());
}

}  // namespace

cp_port create_port() {
  auto port = std::make_unique<epoll_port>();
  port->epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
  if (port->epoll_fd < 0) return CP_INVALID_PORT;
  port->event_fd = ::eventfd(0, EFD_SEMAPHORE | EFD_NONBLOCK | EFD_CLOEXEC);
  if (port->event_fd < 0) {
    ::close(port->epoll_fd);
    return CP_INVALID_PORT;
  }
  // Level-triggered: it stays readable while completions are queued, so
  // every waiting worker can take one.
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = EVENT_FD_TAG;
  if (::epoll_ctl(port->epoll_fd, EPOLL_CTL_ADD, port->event_fd, &event) != 0) {
    ::close(port->event_fd);
    ::close(port->epoll_fd);
    return CP_INVALID_PORT;
  }
  // The port lasts as long as the process, like the workers waiting on it.
  return port.release();
}

completion dequeue(cp_port port, std::uint32_t timeout_ms) {
  if (thread_continuation().socket != CP_INVALID_SOCKET) {
    completion done{};
    if (continue_receive(&done)) return done;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    epoll_event event{};
    int ready = ::epoll_wait(port->epoll_fd, &event, 1, static_cast<int>(remaining_ms(deadline)));
    if (ready <= 0) {
      // Time-out, or a signal cut the wait short: either way a time-out.
      if (ready == 0 || remaining_ms(deadline) == 0) {
        return completion{false, 0, nullptr, ready == 0 ? ETIMEDOUT : errno, 0};
      }
      continue;
    }

    if (event.data.u64 == EVENT_FD_TAG) {
      std::uint64_t one = 0;
      // Another worker may have taken the last one since the wakeup.
      if (::read(port->event_fd, &one, sizeof one) != sizeof one) continue;
      cp_overlapped* overlapped = pop_completion(port);
      if (overlapped == nullptr) continue;
      return completion{overlapped->error == 0, overlapped->bytes, overlapped, overlapped->error,
                        overlapped->datagrams};
    }

    const cp_socket socket = event.data.u64;
    std::unique_lock<std::mutex> lock;
    socket_slot* slot = lock_open_slot(socket, lock);
    if (slot == nullptr) continue;  // closed since the event was taken

    if (event.events & (EPOLLOUT | EPOLLERR)) flush_waiting_sends(slot);

    if (slot->receive != nullptr && (event.events & (EPOLLIN | EPOLLERR | EPOLLHUP))) {
      completion done{};
      if (perform_receive(slot, socket, &done)) return done;
    }
    arm(slot, socket);
  }
}

cp_count load_datagram(const completion& done, std::uint32_t index) {
  if (index == 0) return done.bytes;
  receive_batch& batch = thread_batch();
  if (batch.overlapped != done.overlapped || index >= done.datagrams) return 0;
  const cp_count length = batch.messages[index].msg_len;
  std::memcpy(batch.buffer->buf, batch.vectors[index].iov_base, length);
  *batch.from = batch.senders[index];
  *batch.from_length = static_cast<int>(batch.messages[index].msg_hdr.msg_namelen);
  return length;
}

bool start_thread(void (*entry)(void*), void* argument, cp_error* error) {
  try {
    std::thread(entry, argument).detach();
    return true;
  } catch (const std::system_error& failure) {
    *error = failure.code().value();
    return false;
  }
}

std::uint32_t processor_count() {
  long count = ::sysconf(_SC_NPROCESSORS_ONLN);
  return count < 1 ? 1 : static_cast<std::uint32_t>(count);
}

int start_socket_layer() { return 0; }

cp_socket udp_socket(cp_error* error) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) {
    *error = errno;
    return CP_INVALID_SOCKET;
  }
  std::uint32_t index = take_slot();
  if (index == UINT32_MAX) {
    ::close(fd);
    *error = EMFILE;
    return CP_INVALID_SOCKET;
  }
  socket_slot* slot = slot_at(index);
  std::lock_guard lock(slot->mutex);
  slot->fd = fd;
  slot->port = nullptr;
  slot->receive = nullptr;
  slot->fail_next_post = false;
  slot->defer_next_send = false;
  return socket_value(index, slot->generation);
}

bool associate_socket(cp_port port, cp_socket socket) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot == nullptr || port == CP_INVALID_PORT) return false;
  // Registered disarmed; posting an operation arms it.
  epoll_event event{};
  event.events = EPOLLONESHOT;
  event.data.u64 = socket;
  if (::epoll_ctl(port->epoll_fd, EPOLL_CTL_ADD, slot->fd, &event) != 0) return false;
  slot->port = port;
  return true;
}

bool bind_any(cp_socket socket, std::uint16_t port, cp_error* error) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot == nullptr) {
    *error = ENOTSOCK;
    return false;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(slot->fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    *error = errno;
    return false;
  }
  return true;
}

bool set_receive_buffer_size(cp_socket socket, int bytes, cp_error* error) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot == nullptr) {
    *error = ENOTSOCK;
    return false;
  }
  if (::setsockopt(slot->fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) {
    *error = errno;
    return false;
  }
  return true;
}

std::uint16_t local_port(cp_socket socket) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot == nullptr) return 0;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(slot->fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

void close_socket(cp_socket socket) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot == nullptr) return;
  // Epoll forgets a closed descriptor without a word, so the operations
  // still pending on it are completed here, as aborted.
  if (slot->port != nullptr) ::epoll_ctl(slot->port->epoll_fd, EPOLL_CTL_DEL, slot->fd, nullptr);
  ::close(slot->fd);
  slot->fd = -1;
  if (slot->receive != nullptr) {
    queue_completion(slot->port, slot->receive, 0, ECANCELED);
    slot->receive = nullptr;
  }
  for (const waiting_send& send : slot->waiting_sends) {
    queue_completion(slot->port, send.overlapped, 0, ECANCELED);
  }
  slot->waiting_sends.clear();
  slot->port = nullptr;
  ++slot->generation;
  lock.unlock();
  give_back_slot(static_cast<std::uint32_t>(socket));
}

bool post_receive(cp_socket socket, cp_buffer* buffer, cp_count* byte_count, cp_count* flags,
                  sockaddr_in* from, int* from_length, cp_overlapped* overlapped, cp_error* error) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_associated_slot(socket, lock, error);
  if (slot == nullptr) return false;
  if (slot->fail_next_post) {
    slot->fail_next_post = false;
    *error = ENETDOWN;
    return false;
  }
  if (slot->receive != nullptr) {
    *error = EALREADY;
    return false;
  }
  // The byte count is always reported through the completion.
  (void)byte_count;
  slot->receive = overlapped;
  slot->receive_buffer = buffer;
  slot->receive_from = from;
  slot->receive_from_length = from_length;
  slot->receive_flags = flags;
  // The worker continuing this socket arms it itself if nothing is waiting.
  if (thread_continuation().socket != socket) arm(slot, socket);
  return true;
}

bool post_send(cp_socket socket, const cp_buffer* buffer, const sockaddr_in* to,
               cp_overlapped* overlapped, cp_error* error) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_associated_slot(socket, lock, error);
  if (slot == nullptr) return false;
  const bool deferred = std::exchange(slot->defer_next_send, false);
  // Keep the order of sends: while earlier ones wait, this one waits too.
  if (slot->waiting_sends.empty() && !deferred) {
    ssize_t sent = ::sendto(slot->fd, buffer->buf, buffer->len, MSG_DONTWAIT,
                            reinterpret_cast<const sockaddr*>(to), sizeof(sockaddr_in));
    if (sent >= 0) {
      // Queued, not reported here: the caller's completion always comes
      // through the port, on a worker.
      queue_completion(slot->port, overlapped, static_cast<cp_count>(sent), 0);
      return true;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      *error = errno;
      return false;
    }
  }
  slot->waiting_sends.push_back({buffer, to, overlapped});
  arm(slot, socket);
  return true;
}

std::uint32_t address_from_text(const char* text) {
  if (text == nullptr) return INADDR_NONE;
  return ::inet_addr(text);
}

// Formatted by hand: inet_ntop goes through sprintf, which costs more than
// the rest of delivering a small datagram.
const char* address_text(in_addr address) {
  thread_local char text[INET_ADDRSTRLEN];
  const auto* octets = reinterpret_cast<const std::uint8_t*>(&address.s_addr);
  char* out = text;
  for (int i = 0; i < 4; ++i) {
    unsigned value = octets[i];
    if (value >= 100) *out++ = static_cast<char>('0' + value / 100);
    if (value >= 10) *out++ = static_cast<char>('0' + value / 10 % 10);
    *out++ = static_cast<char>('0' + value % 10);
    *out++ = i < 3 ? '.' : '\0';
  }
  return text;
}

void fail_pending_receive(cp_socket socket, cp_overlapped* overlapped) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot == nullptr || slot->receive != overlapped) return;
  slot->receive = nullptr;
  queue_completion(slot->port, overlapped, 0, ECONNRESET);
}

void fail_next_receive_post(cp_socket socket) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot != nullptr) slot->fail_next_post = true;
}

void defer_next_send(cp_socket socket) {
  std::unique_lock<std::mutex> lock;
  socket_slot* slot = lock_open_slot(socket, lock);
  if (slot != nullptr) slot->defer_next_send = true;
}

}  // namespace kestrova::detail
