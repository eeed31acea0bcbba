// Flood-and-fault soak of the real window (offscreen) with its handlers and
// the engine, over loopback only, bounded in count and time:
//   flood   senders flood the four listening ports while the operator sends;
//           the log keeps its newest lines, the window thread stays
//           responsive, resident memory levels off
//   churn   start / stop on all four ports, again and again, under the flood;
//           descriptors and memory flat, no callback once the engine has
//           released the endpoints
//   faults  unreachable ports, a vanished peer, 0-byte and oversize
//           datagrams, a huge payload pasted and sent: each gives its result
//           and the endpoint keeps receiving
//   input   every port-box, payload, query and address text class through
//           the control layer
// Prints what it measured; exits 1 when a check failed.
//
// Usage: kestrova_soak [datagrams [churn_cycles [flood_seconds]]]
#include <algorithm>
#include <deque>
#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "bench/soak/soak_probes.h"
#include "codecs/parsing.h"
#include "codecs/renderings.h"
#include "engine/detail/engine_testing.h"
#include "engine/engine.h"
#include "ui/controls.h"
#include "ui/log_box.h"
#include "ui/main_window.h"
#include "ui/startup.h"
#include "ui/texts.h"
#include "ui/traffic_log.h"

namespace kestrova::soak {
namespace {

using namespace std::chrono_literals;
namespace texts = ui::texts;

// GBK "收到:" and "发送:", the starts of the two kinds of log line.
constexpr std::string_view RECEIVED = "\xCA\xD5\xB5\xBD:";
constexpr std::string_view SENT = "\xB7\xA2\xCB\xCD:";
constexpr std::string_view PORT_TEXT_GBK = "\xB6\xCB\xBF\xDA";  // 端口

int failures = 0;

void check(bool holds, const std::string& what) {
  if (holds) return;
  ++failures;
  std::printf("FAILED: %s\n", what.c_str());
  std::fflush(stdout);
}

// Runs the window thread's event loop for a while.
void run_for(std::chrono::milliseconds period) {
  QEventLoop loop;
  QTimer::singleShot(period, &loop, &QEventLoop::quit);
  loop.exec();
}

bool run_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = clock_type::now() + timeout;
  while (!done()) {
    if (clock_type::now() > deadline) return done();
    run_for(2ms);
  }
  return true;
}

// A click as the operator makes it: the button's clicked signal.
void click(const ui::control& target) { qobject_cast<QAbstractButton*>(target.widget())->click(); }

// Counts the log lines on their way to the window's log box and remembers the
// newest, so the box can be checked against what it was given.
class counting_sink : public log_sink {
 public:
  explicit counting_sink(std::shared_ptr<ui::queued_log_sink> box) : box_(std::move(box)) {}

  void append_line(std::string line) override {
    std::lock_guard lock(mutex_);
    (line.starts_with(RECEIVED) ? received : sent).fetch_add(1);
    ++lines;
    newest_ = line;
    recent_.push_back(line);
    if (recent_.size() > 256) recent_.pop_front();
    if (line.starts_with(SENT)) newest_sent_ = line;
    box_->append_line(std::move(line));
  }
  std::string newest() {
    std::lock_guard lock(mutex_);
    return newest_;
  }
  // Whether the line is among the last few given: a stray datagram still in
  // flight from an earlier phase must not hide the one a check waits for.
  bool recently_given(const std::string& line) {
    std::lock_guard lock(mutex_);
    return std::find(recent_.begin(), recent_.end(), line) != recent_.end();
  }
  std::string newest_sent() {
    std::lock_guard lock(mutex_);
    return newest_sent_;
  }
  void detach() { box_->detach(); }

  std::atomic<long> received{0}, sent{0}, lines{0};

 private:
  std::mutex mutex_;
  std::string newest_, newest_sent_;
  std::deque<std::string> recent_;
  std::shared_ptr<ui::queued_log_sink> box_;
};

// A loopback UDP socket standing for a device.
class device {
 public:
  device() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t size = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
    port = ntohs(local.sin_port);
  }
  ~device() { close(); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void send_to(std::uint16_t to, const byte_sequence& bytes) const {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    peer.sin_port = htons(to);
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
  }
  std::uint16_t port = 0;

 private:
  int fd_ = -1;
};

// A UDP port nobody listens on (it was free a moment ago).
std::uint16_t free_port() { return device().port; }

class soak {
 public:
  soak() {
    ui::set_message_hook([this](const std::string& text) { messages.push_back(text); });
    auto box = ui::queued_log_sink::create(qobject_cast<QPlainTextEdit*>(window.编辑框2.widget()));
    sink = std::make_shared<counting_sink>(box);
    set_log_sink(sink);
    window.show();
  }
  ~soak() {
    set_log_sink(nullptr);
    sink->detach();
    ui::set_message_hook({});
  }

  ui::main_window window;
  std::shared_ptr<counting_sink> sink;
  std::vector<std::string> messages;
  std::array<std::uint16_t, 4> ports{};
  ui::control* port_boxes[4] = {&window.编辑框_端口1, &window.编辑框_端口2, &window.编辑框_端口3,
                                &window.编辑框_端口4};
  ui::check_box* port_ticks[4] = {&window.选择框3000, &window.选择框3001, &window.选择框3002,
                                  &window.选择框3003};

  int log_box_lines() const {
    // Every line ends in a line break: the last block is the empty one after it.
    return qobject_cast<QPlainTextEdit*>(window.编辑框2.widget())->document()->blockCount() - 1;
  }
  int log_box_characters() const {
    return qobject_cast<QPlainTextEdit*>(window.编辑框2.widget())->document()->characterCount();
  }
  std::string newest_log_box_line() const {
    auto* document = qobject_cast<QPlainTextEdit*>(window.编辑框2.widget())->document();
    return ui::to_gbk(document->findBlockByNumber(document->blockCount() - 2).text());
  }

  // Four free ports typed into the port boxes and ticked, then start.
  void start_listening_on_free_ports() {
    for (int slot = 0; slot < 4; ++slot) {
      ports[slot] = free_port();
      port_boxes[slot]->set_text(std::to_string(ports[slot]));
      if (!port_ticks[slot]->ticked()) click(*port_ticks[slot]);
    }
    start();
  }
  bool start() {
    click(window.按钮_监听);
    const std::string status = window.状态条1.status_text(5);
    return position_of(status, texts::port_in_use) < 0;
  }
  void stop() { click(window.按钮_停止); }

  // The operator sends the payload text to 127.0.0.1 through the slot the
  // destination port text chooses; true when no message was shown.
  bool operator_sends(const std::string& payload_text, bool hex, const std::string& port_text = "3000") {
    window.IP编辑框1.set_address("127.0.0.1");
    window.编辑框_发送端口.set_text(port_text);
    window.编辑框_发送消息.set_text(payload_text);
    if (window.选择框_发送进制.ticked() != hex) click(window.选择框_发送进制);
    const std::size_t before = messages.size();
    click(window.按钮2);
    return messages.size() == before;
  }

  // A device sends a marker to the slot's port; true when it arrived.
  bool slot_still_receives(int slot, const std::string& why) {
    device marker;
    const byte_sequence bytes = {0xFE, 0x01, 0x00, 0x48, static_cast<std::uint8_t>(slot)};
    const std::string port_text = std::to_string(marker.port);
    const bool arrived = run_until(
        [&] {
          marker.send_to(ports[slot], bytes);
          const datagram_record last = read_last_datagram();
          return last.last_peer_port == port_text && last.last_payload == bytes;
        },
        5s);
    check(arrived, "port " + std::to_string(slot + 1) + " still receives after " + why);
    return arrived;
  }
};

void report_latency(const char* phase, const std::vector<double>& latencies) {
  const double p99 = percentile(latencies, 0.99);
  std::printf("  window-thread latency (%s, %zu probes): p50 %.2f ms, p99 %.2f ms%s, max %.1f ms\n",
              phase, latencies.size(), percentile(latencies, 0.5), p99,
              p99 < 100 ? "" : " (above the 100 ms goal)", percentile(latencies, 1.0));
}

void report_memory(const std::vector<memory_sample>& samples, const char* csv_path) {
  if (samples.empty()) return;
  if (std::FILE* csv = std::fopen(csv_path, "w")) {
    std::fprintf(csv, "seconds,resident_kib,descriptors,received\n");
    for (const memory_sample& s : samples)
      std::fprintf(csv, "%.1f,%ld,%d,%ld\n", s.seconds, s.resident_kib, s.descriptors, s.received);
    std::fclose(csv);
  }
  std::printf("  RSS every second (MiB, %zu samples, all in %s):", samples.size(), csv_path);
  const std::size_t step = std::max<std::size_t>(1, samples.size() / 12);
  for (std::size_t i = 0; i < samples.size(); i += step)
    std::printf(" %.0fs:%.0f", samples[i].seconds, static_cast<double>(samples[i].resident_kib) / 1024);
  std::printf(" %.0fs:%.0f\n", samples.back().seconds,
              static_cast<double>(samples.back().resident_kib) / 1024);
}

// Whether resident memory levels off: the highest sample of the last quarter
// of the run against the highest of the second quarter. Reported, not
// checked: times and sizes of one run on a shared machine are no verdict.
void report_levelling(const std::vector<memory_sample>& samples) {
  if (samples.size() < 8) return;
  long second_quarter = 0, last_quarter = 0;
  const std::size_t n = samples.size();
  for (std::size_t i = n / 4; i < n / 2; ++i) second_quarter = std::max(second_quarter, samples[i].resident_kib);
  for (std::size_t i = 3 * n / 4; i < n; ++i) last_quarter = std::max(last_quarter, samples[i].resident_kib);
  std::printf("  RSS peak second quarter %.0f MiB, last quarter %.0f MiB\n",
              static_cast<double>(second_quarter) / 1024, static_cast<double>(last_quarter) / 1024);
}

void flood_phase(soak& s, window_probe& probe, long datagrams, int seconds) {
  std::printf("flood: %ld datagrams from 4 senders into 4 ports, at most %d s\n", datagrams, seconds);
  s.start_listening_on_free_ports();
  const long received_before = s.sink->received.load();
  probe.clear_latencies();
  const auto start = clock_type::now();
  const auto deadline = start + std::chrono::seconds(seconds);
  clock_type::time_point senders_done;
  {
    flood senders(s.ports, 4, datagrams);
    int round = 0;
    while (!senders.done() && clock_type::now() < deadline) {
      // The operator sends now and then while the flood runs.
      if (++round % 10 == 0) s.operator_sends("FE010048000111F23C", true);
      run_for(10ms);
    }
    senders.stop();
    senders_done = clock_type::now();
    const double elapsed = std::chrono::duration<double>(clock_type::now() - start).count();
    // Let the workers and the window catch up with what is still queued.
    long last = -1;
    run_until([&] {
      const long now = s.sink->received.load();
      const bool still = now != last;
      last = now;
      run_for(200ms);
      return !still;
    }, 60s);
    const long delivered = s.sink->received.load() - received_before;
    std::printf("  sent %ld (%ld refused by the sender's socket) in %.1f s: %.0f/s; delivered %ld (%.1f%%), %.0f/s\n",
                senders.sent(), senders.failed(), elapsed, static_cast<double>(senders.sent()) / elapsed,
                delivered, 100.0 * static_cast<double>(delivered) / static_cast<double>(std::max(1L, senders.sent())),
                static_cast<double>(delivered) / elapsed);
    check(delivered > 0, "flood: nothing delivered");
  }
  // The window inserts its backlog a batch a turn: how long until the newest
  // line is the log's last.
  std::string newest = s.sink->newest();
  newest.resize(newest.size() - 2);  // "\r\n"
  check(run_until([&] { return s.newest_log_box_line() == newest; }, 300s),
        "flood: the newest line does not reach the log's end");
  std::printf("  the log showed the newest line %.1f s after the senders were done\n",
              std::chrono::duration<double>(clock_type::now() - senders_done).count());
  // The log holds its newest lines (the newest is its last, above) within
  // whichever of its caps binds: the line count, or for floods of large
  // datagrams the character count.
  const int held = s.log_box_lines();
  const int characters = s.log_box_characters();
  std::printf("  log lines given %ld, held %d (cap %d lines, %d of %d characters)\n",
              s.sink->lines.load(), held, ui::log_line_limit, characters, ui::log_character_limit);
  const bool at_line_cap = held == std::min<long>(s.sink->lines, ui::log_line_limit);
  const bool within_character_cap = held < ui::log_line_limit && characters <= ui::log_character_limit &&
                                    characters > ui::log_character_limit / 2;
  check(at_line_cap || within_character_cap,
        "flood: the log does not hold its newest lines up to its cap");
  report_latency("flood", probe.latencies());
  const std::vector<memory_sample> samples = probe.memory();
  report_memory(samples, "soak-flood-rss.csv");
  report_levelling(samples);
}

void churn_phase(soak& s, window_probe& probe, int cycles) {
  std::printf("churn: %d cycles of start / stop on all four ports under the flood\n", cycles);
  probe.clear_latencies();
  const int fds_before = open_descriptors();
  const long rss_before = resident_kib();
  int refused_opens = 0, late_callbacks = 0, unreleased = 0;
  {
    flood senders(s.ports, 4, 1'000'000'000L);
    for (int cycle = 0; cycle < cycles; ++cycle) {
      s.operator_sends("FE01004800023B00", true);
      s.stop();
      // Released: no receive or send record of the engine is left.
      if (!run_until([] { return detail::live_io_contexts() == 0; }, 2s)) {
        ++unreleased;
        continue;
      }
      const long received = s.sink->received.load();
      std::this_thread::sleep_for(2ms);  // the senders keep flooding the closed ports
      run_for(1ms);
      if (s.sink->received.load() != received) ++late_callbacks;
      if (!s.start()) ++refused_opens;
      run_for(3ms);
    }
    senders.stop();
  }
  // What the churn logged reaches the log before the faults are timed.
  const std::string newest = s.sink->newest();
  run_until([&] { return s.newest_log_box_line() + "\r\n" == newest; }, 120s);
  run_for(500ms);
  const int fds_after = open_descriptors();
  const long rss_after = resident_kib();
  std::printf("  descriptors %d before, %d after; RSS %.1f MiB before, %.1f MiB after\n", fds_before,
              fds_after, static_cast<double>(rss_before) / 1024, static_cast<double>(rss_after) / 1024);
  std::printf("  opens refused %d, endpoints not released within 2 s %d, callbacks after release %d\n",
              refused_opens, unreleased, late_callbacks);
  report_latency("churn", probe.latencies());
  check(fds_after == fds_before, "churn: descriptor count changed");
  check(unreleased == 0, "churn: an endpoint was not released after stop");
  check(late_callbacks == 0, "churn: a callback came after the endpoints were released");
  check(refused_opens == 0, "churn: reopening a port that was just closed failed");
}

// Waits for the next log line of a completed send and returns it.
std::string next_sent_line(soak& s, long sent_before) {
  run_until([&] { return s.sink->sent.load() > sent_before; }, 5s);
  return s.sink->newest_sent();
}

void fault_phase(soak& s) {
  std::printf("faults\n");
  s.messages.clear();
  std::map<std::string, std::string> outcome;

  // Sends to a port nobody listens on (the platform answers with an ICMP
  // error), from every endpoint, then each still receives.
  const std::uint16_t unreachable = free_port();
  int started = 0;
  for (int i = 0; i < 10; ++i)
    for (endpoint_handle h : s.window.port_handles)
      started += endpoint_send(h, "127.0.0.1", unreachable, nullptr, 0) ? 1 : 0;
  check(started == 40, "sends to an unreachable port were not all started");
  for (int slot = 0; slot < 4; ++slot) s.slot_still_receives(slot, "sends to an unreachable port");

  // A peer that sent and vanished: the engine still sends to it; the window,
  // whose destination port is that peer's, refuses with its message.
  {
    device peer;
    peer.send_to(s.ports[1], {0xFE, 0x01, 0x00, 0x48, 0x07});
    run_until([&] { return read_last_datagram().last_peer_port == std::to_string(peer.port); }, 5s);
    const std::uint16_t gone = peer.port;
    peer.close();
    const long sent_before = s.sink->sent.load();
    check(endpoint_send(s.window.port_handles[1], "127.0.0.1", gone, nullptr, 0), "send to a vanished peer");
    check(next_sent_line(s, sent_before).find(":" + std::to_string(gone) + " -> []") != std::string::npos,
          "the send to a vanished peer is not logged");
    check(!s.operator_sends("{1,2,3}", false, std::to_string(gone)), "a send to the vanished peer's port was not refused");
    check(!s.messages.empty() && s.messages.back() == texts::send_failed, "refused send shows 发送出错了");
    s.slot_still_receives(1, "a peer vanished");
  }

  // 0-byte and 65507-byte datagrams received: the empty one logs [] and
  // [{}]; the longest UDP datagram gives its first 8192 bytes.
  {
    device d;
    const std::string from = "127.0.0.1:" + std::to_string(d.port);
    d.send_to(s.ports[2], {});
    check(run_until([&] { return s.sink->recently_given(std::string(RECEIVED) + from + " -> [] -> [{}]\r\n"); }, 5s),
          "a 0-byte datagram is not logged as [] -> [{}]");
    d.send_to(s.ports[2], byte_sequence(65507, 0xAB));
    check(run_until([&] {
            const std::string line = s.sink->newest();
            return line.starts_with(std::string(RECEIVED) + from + " -> [") &&
                   line.find("] -> [") == std::string(RECEIVED).size() + from.size() + 5 + 16384;
          }, 5s),
          "a 65507-byte datagram does not give its first 8192 bytes");
    s.slot_still_receives(2, "0-byte and 65507-byte datagrams");
  }

  // The operator sends an empty payload; the engine sends the longest UDP
  // datagram, and refuses one byte more.
  {
    long sent_before = s.sink->sent.load();
    check(s.operator_sends("", true), "an empty payload is refused");
    check(next_sent_line(s, sent_before) == std::string(SENT) + "127.0.0.1:3000 -> []\r\n", "empty send not logged");
    sent_before = s.sink->sent.load();
    const byte_sequence longest(65508, 0xCC);
    check(endpoint_send(s.window.port_handles[0], "127.0.0.1", unreachable, longest.data(), 65507),
          "the longest datagram was refused");
    const std::string destination = "127.0.0.1:" + std::to_string(unreachable);
    check(next_sent_line(s, sent_before).size() == SENT.size() + destination.size() + 5 + 2 * 65507 + 3,
          "the longest datagram's send is not logged whole");
    const bool beyond = endpoint_send(s.window.port_handles[0], "127.0.0.1", unreachable, longest.data(), 65508);
    outcome["65508-byte send"] = beyond ? "started (and dropped by the platform)" : "refused";
  }

  // 1 MB pasted into the payload box and sent, as hex and as a decimal list.
  {
    const auto begin = clock_type::now();
    const bool hex_sent = s.operator_sends(std::string(1 << 20, 'F'), true);
    const double hex_ms = std::chrono::duration<double, std::milli>(clock_type::now() - begin).count();
    const std::size_t held = s.window.编辑框_发送消息.text().size();
    std::string list = "{";
    while (list.size() < (1 << 20)) list += "255,";
    list += "}";
    const auto begin_list = clock_type::now();
    const bool list_sent = s.operator_sends(list, false);
    const double list_ms = std::chrono::duration<double, std::milli>(clock_type::now() - begin_list).count();
    outcome["1 MB hex text"] = std::to_string(held) + " characters kept by the box, " +
                               (hex_sent ? "sent" : "refused with the message") + ", " +
                               std::to_string(static_cast<int>(hex_ms)) + " ms";
    outcome["1 MB decimal list"] = std::string(list_sent ? "sent" : "refused with the message") + ", " +
                                   std::to_string(static_cast<int>(list_ms)) + " ms";
    s.slot_still_receives(0, "1 MB of payload text");
  }
  for (const auto& [what, result] : outcome) std::printf("  %s: %s\n", what.c_str(), result.c_str());
}

// Bad operator input, class by class, through the control layer.
void input_phase(soak& s) {
  std::printf("operator input\n");
  const std::string ten_kb_digits(10240, '9');
  const std::string full_width_3000 = "\xA3\xB3\xA3\xB0\xA3\xB0\xA3\xB0";  // ３０００
  const std::string full_width_minus = "\xA3\xAD";                          // －
  struct port_case {
    std::string text;
    bool accepted;
  };
  // A port box is taken when it reads as a whole number from 1 to 65535.
  const port_case port_cases[] = {
      {"", false},          {"   ", false},         {"+3000", true},
      {"-3000", false},     {"-0", false},          {"0", false},
      {full_width_3000, true}, {full_width_minus + full_width_3000, false},
      {std::string(PORT_TEXT_GBK), false}, {"3000" + std::string(PORT_TEXT_GBK), true},
      {ten_kb_digits, false}, {"3000" + std::string(10240, ' '), true},
      {" 3000", true},      {"65535", true},        {"65536", false},
      {"3000.5", false},    {"1e3", false},
  };
  s.stop();
  int port_mismatches = 0;
  for (const port_case& c : port_cases) {
    if (s.port_ticks[0]->ticked()) click(*s.port_ticks[0]);  // unticked: box enabled again
    s.port_boxes[0]->set_text(c.text);
    const std::size_t before = s.messages.size();
    click(*s.port_ticks[0]);
    const bool refused = s.messages.size() > before;
    const bool accepted = !refused && s.port_ticks[0]->ticked() && !s.port_boxes[0]->enabled();
    if (accepted != c.accepted || refused == c.accepted) {
      ++port_mismatches;
      check(false, "port box text of " + std::to_string(c.text.size()) + " bytes: accepted " +
                       std::to_string(accepted));
    }
  }
  std::printf("  port box: %zu texts, %d not as expected\n", std::size(port_cases), port_mismatches);

  // Back to listening on the four free ports.
  for (int slot = 0; slot < 4; ++slot) {
    if (s.port_ticks[slot]->ticked()) click(*s.port_ticks[slot]);
    s.port_boxes[slot]->set_text(std::to_string(s.ports[slot]));
    click(*s.port_ticks[slot]);
  }
  check(s.start(), "listening again after the port-box texts");

  // Payload texts in both modes: each sends what its conversion gives.
  const std::string payloads[] = {
      "", "   ", "+1", "-1", "{+1,-1}", "{1,2,3}", "\xA3\xC6\xA3\xC5\xA3\xB0\xA3\xB1",  // ＦＥ０１
      "{\xA3\xB1\xA3\xB2}", std::string(PORT_TEXT_GBK), std::string(10240, 'A'),
      "{" + std::string(5000, '1') + "}", [] {
        std::string list = "{";
        for (int i = 0; i < 3000; ++i) list += "1,";
        return list + "}";
      }()};
  int payload_mismatches = 0;
  for (const std::string& text : payloads) {
    for (bool hex : {true, false}) {
      const long sent_before = s.sink->sent.load();
      const bool sent = s.operator_sends(text, hex);
      const byte_sequence bytes = hex ? hex_text_to_bytes(text) : decimal_list_to_bytes(text);
      const std::string expected = std::string(SENT) + "127.0.0.1:3000 -> [" + byte_tools{}.bytes_to_hex(bytes) + "]\r\n";
      if (!sent || next_sent_line(s, sent_before) != expected) {
        ++payload_mismatches;
        check(false, "payload text of " + std::to_string(text.size()) + " bytes (" + (hex ? "hex" : "list") +
                         ") did not send its conversion");
      }
    }
  }
  std::printf("  payload: %zu texts in both modes, %d not as expected\n", std::size(payloads), payload_mismatches);

  // Query texts against a table of one row, 127.0.0.1 (column "设备IP").
  struct query_case {
    std::string text;
    int rows;
  };
  const query_case queries[] = {
      {"", 1},   {"   ", 0}, {"+", 0}, {"-", 0}, {"\xA3\xB1\xA3\xB2\xA3\xB7", 0},  // １２７
      {"127", 1}, {".0.", 1}, {std::string(PORT_TEXT_GBK), 0}, {std::string(10240, '1'), 0},
  };
  int query_mismatches = 0;
  s.window.超级列表框1.delete_all_rows();
  s.slot_still_receives(0, "the payload texts");
  for (const query_case& q : queries) {
    s.window.超级列表框1.delete_all_rows();
    s.window.update_device_table();
    if (s.window.超级列表框1.row_count() != 1) {
      check(false, "the device table does not show the one sender");
      continue;
    }
    s.window.组合框1.set_current_selection(0);
    s.window.编辑框_查询条件.set_text(q.text);
    click(s.window.按钮_查询筛选);
    const std::string expected =
        std::string(texts::query_found) + std::to_string(q.rows) + std::string(texts::query_records);
    if (s.window.状态条1.status_text(5) != expected || s.window.超级列表框1.row_count() != q.rows) {
      ++query_mismatches;
      check(false, "query of " + std::to_string(q.text.size()) + " bytes");
    }
  }
  std::printf("  query: %zu texts, %d not as expected\n", std::size(queries), query_mismatches);

  // Address texts: the box shows a dotted address or nothing; only a
  // loopback address is sent to.
  const std::string addresses[] = {
      "", "   ", "+1.2.3.4", "127.0.0.1", "127.000.000.001", "256.1.1.1", "1.2.3", "1.2.3.4.5",
      "\xA3\xB1\xA3\xB2\xA3\xB7.0.0.1", std::string(PORT_TEXT_GBK), std::string(10240, '1'), "-1.0.0.1"};
  int address_mismatches = 0;
  for (const std::string& text : addresses) {
    s.window.IP编辑框1.set_address(text);
    const std::string shown = s.window.IP编辑框1.address();
    bool well_formed = shown.empty();
    if (!shown.empty()) {
      const std::vector<std::string> fields = split_text(shown, ".");
      well_formed = fields.size() == 4;
      for (const std::string& f : fields)
        well_formed = well_formed && !f.empty() && f.size() <= 3 && text_to_integer(f) <= 255 &&
                      f == number_to_text(text_to_integer(f));
    }
    const bool exact = (text == "127.0.0.1" || text == "127.000.000.001") ? shown == "127.0.0.1"
                       : (text.empty() || text == "256.1.1.1" || text == "1.2.3" || text == "1.2.3.4.5")
                           ? shown.empty()
                           : true;
    if (!well_formed || !exact) {
      ++address_mismatches;
      check(false, "address text of " + std::to_string(text.size()) + " bytes shows '" + shown + "'");
    }
  }
  std::printf("  address: %zu texts, %d not as expected\n", std::size(addresses), address_mismatches);
}

}  // namespace
}  // namespace kestrova::soak

int main(int argc, char* argv[]) {
  using namespace kestrova::soak;
  const long datagrams = argc > 1 ? std::atol(argv[1]) : 300'000;
  const int churn_cycles = argc > 2 ? std::atoi(argv[2]) : 100;
  const int flood_seconds = argc > 3 ? std::atoi(argv[3]) : 30;

  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as soon as it is measured
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kestrova::ui::set_application_look();
  kestrova::ui::create_byte_tools();
  int result = 0;
  {
    soak s;
    window_probe probe(&s.window, s.sink->received);
    flood_phase(s, probe, datagrams, flood_seconds);
    churn_phase(s, probe, churn_cycles);
    fault_phase(s);
    input_phase(s);
    probe.stop();
    run_for(100ms);  // the probe's last calls
    for (kestrova::endpoint_handle h : s.window.port_handles) kestrova::endpoint_close(h);
    result = failures == 0 ? 0 : 1;
  }
  kestrova::ui::exit_routine();
  std::printf(failures == 0 ? "soak: every check held\n" : "soak: %d checks failed\n", failures);
  return result;
}
