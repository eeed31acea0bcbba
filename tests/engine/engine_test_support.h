// Helpers for the engine's tests: a plain loopback UDP socket to talk to
// endpoints, bounded waits, and descriptor counts.
#pragma once

#if defined(_WIN32)
// winsock2.h must come before windows.h, which would pull in the old winsock.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on
#else
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

namespace kestrova::testing_support {

using bytes = std::vector<std::uint8_t>;

// The few socket calls the helpers make that differ between Winsock and
// POSIX sockets.
#if defined(_WIN32)
using native_socket = SOCKET;
inline constexpr int ADDRESS_IN_USE = WSAEADDRINUSE;
// Winsock must be started before the first socket call; started again is
// harmless.
inline bool winsock_started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}
inline native_socket udp_native_socket() {
  return winsock_started() ? ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : INVALID_SOCKET;
}
inline void close_native(native_socket socket) { ::closesocket(socket); }
// Wine, where the Windows build's tests run, says who it is through ntdll.
inline bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
inline int poll_native(pollfd* ready, int milliseconds) {
  return ::WSAPoll(ready, 1, milliseconds);
}
#else
using native_socket = int;
inline constexpr int ADDRESS_IN_USE = EADDRINUSE;
inline native_socket udp_native_socket() { return ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP); }
inline void close_native(native_socket socket) { ::close(socket); }
inline bool running_under_wine() { return false; }
inline int poll_native(pollfd* ready, int milliseconds) { return ::poll(ready, 1, milliseconds); }
#endif

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
    fd_ = udp_native_socket();
    sockaddr_in local = loopback(0);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  }
  ~udp_peer() { close_native(fd_); }
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
    const auto sent = ::sendto(fd_, static_cast<const char*>(data), static_cast<int>(length), 0,
                               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent >= 0 && static_cast<std::size_t>(sent) == length;
  }
  bool send_to(std::uint16_t port, const bytes& data) const {
    return send_to(port, data.data(), data.size());
  }

  // The next datagram, or nothing within the limit.
  std::optional<bytes> receive(std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    pollfd ready{fd_, POLLIN, 0};
    if (poll_native(&ready, static_cast<int>(limit.count())) != 1) return std::nullopt;
    bytes data(65536);
    const auto length =
        ::recv(fd_, reinterpret_cast<char*>(data.data()), static_cast<int>(data.size()), 0);
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
  native_socket fd_;
};

// A UDP port that was free a moment ago (bound by the system, then released).
inline std::uint16_t free_udp_port() {
  native_socket fd = udp_native_socket();
  sockaddr_in any{};
  any.sin_family = AF_INET;
  ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any);
  socklen_t length = sizeof any;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &length);
  close_native(fd);
  return ntohs(any.sin_port);
}

// The number of descriptors this process has open; on Windows, of sockets.
inline int open_descriptor_count() {
#if defined(_WIN32)
  // Windows has no list of a process's sockets (and Wine no handle count):
  // probe the low handle values, where sockets are, for ones that answer as
  // sockets.
  if (!winsock_started()) return 0;
  int count = 0;
  for (UINT_PTR value = 4; value <= 0x10000; value += 4) {
    int type = 0;
    int length = sizeof type;
    if (::getsockopt(static_cast<SOCKET>(value), SOL_SOCKET, SO_TYPE,
                     reinterpret_cast<char*>(&type), &length) == 0) {
      ++count;
    }
  }
  return count;
#else
  int count = 0;
  if (DIR* folder = ::opendir("/proc/self/fd")) {
    while (::readdir(folder) != nullptr) ++count;
    ::closedir(folder);
  }
  return count;
#endif
}

}  // namespace kestrova::testing_support
