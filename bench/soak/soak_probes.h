// What the soak measures the window with, from threads of its own: the
// window thread's event-loop latency, resident memory and open descriptors
// once a second, and loopback senders that flood the listening ports.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrova::soak {

using clock_type = std::chrono::steady_clock;

// Resident memory of this process in KiB (/proc/self/statm).
inline long resident_kib() {
  long pages_total = 0, pages_resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages_total, &pages_resident) != 2) pages_resident = 0;
    std::fclose(statm);
  }
  return pages_resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Open file descriptors of this process.
inline int open_descriptors() {
  int count = 0;
  if (DIR* fds = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(fds))
      if (entry->d_name[0] != '.') ++count;
    ::closedir(fds);
    --count;  // the directory stream itself
  }
  return count;
}

struct memory_sample {
  double seconds;
  long resident_kib;
  int descriptors;
  long received;
};

// Posts a stamped call to the window thread every 10 ms and records how long
// each waited there; samples memory once a second. Runs until stopped.
class window_probe {
 public:
  window_probe(QObject* window, const std::atomic<long>& received)
      : window_(window), received_(received), start_(clock_type::now()) {
    thread_ = std::thread([this] { run(); });
  }
  ~window_probe() { stop(); }

  void stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }

  // Latencies in milliseconds of the calls that have run (window thread).
  std::vector<double> latencies() const { return latencies_; }
  void clear_latencies() { latencies_.clear(); }
  std::vector<memory_sample> memory() {
    std::lock_guard lock(memory_mutex_);
    return memory_;
  }

 private:
  void run() {
    auto next_sample = clock_type::now();
    while (running_) {
      const auto posted = clock_type::now();
      QMetaObject::invokeMethod(
          window_,
          [this, posted] {
            latencies_.push_back(
                std::chrono::duration<double, std::milli>(clock_type::now() - posted).count());
          },
          Qt::QueuedConnection);
      if (posted >= next_sample) {
        std::lock_guard lock(memory_mutex_);
        memory_.push_back({std::chrono::duration<double>(posted - start_).count(), resident_kib(),
                           open_descriptors(), received_.load()});
        next_sample += std::chrono::seconds(1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  QObject* window_;
  const std::atomic<long>& received_;
  clock_type::time_point start_;
  std::atomic<bool> running_{true};
  std::vector<double> latencies_;  // window thread only
  std::mutex memory_mutex_;
  std::vector<memory_sample> memory_;
  std::thread thread_;
};

inline double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

// Datagram sizes of the flood: mostly small, some up to a receive buffer
// (8192 bytes), and now and then one beyond it, up to the largest UDP/IPv4
// datagram (65507 bytes).
inline std::size_t flood_size(std::uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  const std::uint64_t r = state;
  if (r % 20000 == 0) return 8193 + (r / 20000) % (65507 - 8192);
  switch (r % 100) {
    case 0: return 1024 + (r / 100) % (8192 - 1024 + 1);
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9:
      return 64 + (r / 100) % 961;
    default: return (r / 100) % 65;
  }
}

// Senders on loopback sockets of their own, each sending in turn to every
// listening port until the total is reached or they are stopped.
class flood {
 public:
  flood(std::array<std::uint16_t, 4> ports, int senders, long total)
      : ports_(ports), total_(total) {
    for (std::size_t i = 0; i < 65507; ++i) payload_[i] = static_cast<std::uint8_t>(i * 31 + 7);
    for (int s = 0; s < senders; ++s) threads_.emplace_back([this, s] { send_from(s); });
  }
  ~flood() { stop(); }

  void stop() {
    running_ = false;
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
  }
  bool done() const { return sent_.load() + failed_.load() >= total_ || !running_; }
  long sent() const { return sent_.load(); }
  long failed() const { return failed_.load(); }

 private:
  void send_from(int sender) {
    // The devices are other machines in the field: here they take only the
    // processor time the window and the engine leave.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::uint64_t state = 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(sender + 1);
    for (long n = 0; running_; ++n) {
      if (sent_.load(std::memory_order_relaxed) + failed_.load(std::memory_order_relaxed) >= total_)
        break;
      peer.sin_port = htons(ports_[static_cast<std::size_t>((sender + n) % 4)]);
      const std::size_t size = flood_size(state);
      if (::sendto(fd, payload_.data(), size, 0, reinterpret_cast<sockaddr*>(&peer), sizeof peer) ==
          static_cast<ssize_t>(size))
        sent_.fetch_add(1, std::memory_order_relaxed);
      else
        failed_.fetch_add(1, std::memory_order_relaxed);  // a full socket buffer, refused port
    }
    ::close(fd);
  }
  std::array<std::uint16_t, 4> ports_;
  long total_;
  std::array<std::uint8_t, 65507> payload_{};
  std::atomic<bool> running_{true};
  std::atomic<long> sent_{0}, failed_{0};
  std::vector<std::thread> threads_;
};

}  // namespace kestrova::soak
