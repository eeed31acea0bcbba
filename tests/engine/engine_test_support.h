// Helpers for the engine's tests: a plain loopback UDP socket to talk to
// endpoints, bounded waits, and descriptor counts.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

namespace kestrova::testing_support {

using bytes = std::vector<std::uint8_t>;

// Polls until done() holds, for at most limit. Returns done()'s last value.
template <typename Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A blocking UDP socket bound to 127.0.0.1 on a port the system chose.
class udp_peer {
 public:
  udp_peer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = loopback(0);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  }
  ~udp_peer() { ::close(fd_); }
  udp_peer(const udp_peer&) = delete;
  udp_peer& operator=(const udp_peer&) = delete;

  std::uint16_t port() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
  }

  bool send_to(std::uint16_t port, const void* data, std::size_t length) const {
    sockaddr_in to = loopback(port);
    return ::sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(length);
  }
  bool send_to(std::uint16_t port, const bytes& data) const {
    return send_to(port, data.data(), data.size());
  }

  // The next datagram, or nothing within the limit.
  std::optional<bytes> receive(std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(limit.count())) != 1) return std::nullopt;
    bytes data(65536);
    ssize_t length = ::recv(fd_, data.data(), data.size(), 0);
    if (length < 0) return std::nullopt;
    data.resize(static_cast<std::size_t>(length));
    return data;
  }

  static sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

 private:
  int fd_ = -1;
};

// A UDP port that was free a moment ago (bound by the system, then released).
inline std::uint16_t free_udp_port() {
  int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any);
  socklen_t length = sizeof any;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &length);
  ::close(fd);
  return ntohs(any.sin_port);
}

// The number of descriptors this process has open.
inline int open_descriptor_count() {
  int count = 0;
  if (DIR* folder = ::opendir("/proc/self/fd")) {
    while (::readdir(folder) != nullptr) ++count;
    ::closedir(folder);
  }
  return count;
}

}  // namespace kestrova::testing_support
