// What the handler tests share beyond the window fixture: devices as real
// loopback UDP sockets, free ports, GBK texts from UTF-8 literals, real clicks
// on the window's controls, and a fixture that listens on system-chosen ports
// with the 800 ms timer stopped, so each test drives the ticks itself.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QString>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codecs/renderings.h"
#include "tests/ui/window_fixture.h"
#include "ui/traffic_log.h"

namespace kestrova::ui::testing {

// The system's text of a UTF-8 literal, converted independently of the
// handlers' own constants.
inline std::string gbk(const char* utf8) { return to_gbk(QString::fromUtf8(utf8)); }

// A UDP socket on a loopback address: a device talking to the window.
class udp_device {
 public:
  // Binds to address:port (0: the system chooses). ok() tells whether it did.
  explicit udp_device(const std::string& address = "127.0.0.1", std::uint16_t port = 0)
      : address_(address) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = make_address(address, port);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close();
      return;
    }
    socklen_t size = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
    port_ = ntohs(local.sin_port);
  }
  ~udp_device() { close(); }
  udp_device(const udp_device&) = delete;
  udp_device& operator=(const udp_device&) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string& address() const { return address_; }
  std::uint16_t port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }

  bool send_to(std::uint16_t port, const byte_sequence& bytes) const {
    sockaddr_in peer = make_address("127.0.0.1", port);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer),
                    sizeof peer) == static_cast<ssize_t>(bytes.size());
  }

  struct datagram {
    byte_sequence bytes;
    std::uint16_t from_port;
  };
  // The next datagram, or nothing within the timeout.
  std::optional<datagram> receive(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
    byte_sequence buffer(65536);
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(n));
    return datagram{buffer, ntohs(from.sin_port)};
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  static sockaddr_in make_address(const std::string& address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
  }

  std::string address_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A UDP port that was free a moment ago on every local address.
inline std::uint16_t free_udp_port() {
  udp_device probe("0.0.0.0");
  return probe.port();
}

// Binds a device to a fixed port, waiting (bounded) while another program or
// test run still holds it.
inline std::unique_ptr<udp_device> device_on_fixed_port(const std::string& address,
                                                        std::uint16_t port) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    auto device = std::make_unique<udp_device>(address, port);
    if (device->ok() || std::chrono::steady_clock::now() > deadline) return device;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// A left click in the middle of the control, as the operator makes it.
inline void click(const control& target) {
  QTest::mouseClick(target.widget(), Qt::LeftButton, Qt::NoModifier,
                    target.widget()->rect().center());
}

// A left click on a row of an item view, or below its rows for a negative row.
inline void click_row(const control& target, int row) {
  auto* view = qobject_cast<QAbstractItemView*>(target.widget());
  QPoint point(5, view->viewport()->height() - 5);
  if (row >= 0) point = view->visualRect(view->model()->index(row, 0)).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, point);
}

// The window, listening on system-chosen ports: ports[i] is typed into port
// box i+1 and ticked for every slot in slot_numbers (1-based), then start is
// pressed. The timer is stopped again so the test ticks by hand.
class listening_fixture : public window_fixture {
 protected:
  void SetUp() override {
    window_fixture::SetUp();
    // The record and the pending senders are the process's, not the window's:
    // start every test without what earlier tests received.
    release_last_datagram();
  }

  void TearDown() override {
    for (endpoint_handle handle : window->port_handles) endpoint_close(handle);
    release_last_datagram();
    window_fixture::TearDown();
  }

  control& port_box(int slot) {
    control* boxes[] = {&window->编辑框_端口1, &window->编辑框_端口2, &window->编辑框_端口3,
                        &window->编辑框_端口4};
    return *boxes[slot - 1];
  }
  check_box& port_tick(int slot) {
    check_box* ticks[] = {&window->选择框3000, &window->选择框3001, &window->选择框3002,
                          &window->选择框3003};
    return *ticks[slot - 1];
  }

  // Types port into the slot's box and ticks it with a click.
  void tick_port(int slot, std::uint16_t port) {
    port_box(slot).set_text(std::to_string(port));
    click(port_tick(slot));
  }

  // Ticks each slot with a fresh free port, starts, stops the timer.
  void listen_on(const std::vector<int>& slot_numbers) {
    for (int slot : slot_numbers) {
      ports[slot - 1] = free_udp_port();
      tick_port(slot, ports[slot - 1]);
    }
    click(window->按钮_监听);
    window->时钟_端口1.set_period(0);
  }

  // Sends bytes from the device to slot's port and waits until the record
  // holds that very datagram.
  ::testing::AssertionResult deliver(const udp_device& device, const byte_sequence& bytes,
                                     int slot = 1) {
    if (!device.send_to(ports[slot - 1], bytes)) return ::testing::AssertionFailure() << "sendto";
    const bool arrived = wait_until([&] {
      const datagram_record last = read_last_datagram();
      return last.last_peer_address == device.address() &&
             last.last_peer_port == device.port_text() && last.last_payload == bytes;
    });
    if (!arrived)
      return ::testing::AssertionFailure()
             << "no datagram from " << device.address() << ":" << device.port();
    return ::testing::AssertionSuccess();
  }

  std::uint16_t ports[4] = {};
};

}  // namespace kestrova::ui::testing
