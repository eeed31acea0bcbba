// Window benchmark: a flood of datagram lines into the real window's traffic
// log (offscreen), through the window's queued sink and, side by side in the
// same run, through a naive sink that posts one insertion per line. Reports
// the lines per second that reach the box with none lost, and the window
// thread's event-loop latency meanwhile (lateness of a 10 ms probe timer).
//
// One producer thread plays an engine worker delivering one endpoint's
// datagrams to on_datagram. Bounded: a fixed line count, a time limit per run.
#include <QApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ui/controls.h"
#include "ui/log_box.h"
#include "ui/main_window.h"
#include "ui/startup.h"
#include "ui/traffic_log.h"

namespace {

using namespace kestrova;
using namespace kestrova::ui;

constexpr int time_limit_ms = 60'000;
constexpr int probe_period_ms = 10;

// The way a first version would do it: every line its own queued insertion.
class naive_sink : public log_sink {
 public:
  explicit naive_sink(QPlainTextEdit* box) : box_(box) {}
  void append_line(std::string line) override {
    QMetaObject::invokeMethod(
        box_, [box = box_, line = std::move(line)] { append_to_log(box, from_gbk(line)); },
        Qt::QueuedConnection);
  }

 private:
  QPlainTextEdit* box_;
};

struct result {
  bool complete = false;
  bool in_order = false;
  double seconds = 0;
  double p50_ms = 0, p99_ms = 0, max_ms = 0;
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

// Every line of the flood, whole and in order: the datagram's port carries
// its sequence number.
bool lines_in_order(QPlainTextEdit* box, int line_count) {
  int expected = 0;
  for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
    const QString text = block.text();
    if (text.isEmpty() && !block.next().isValid()) break;  // the open last line
    const QString wanted = QStringLiteral(":%1 -> [").arg(expected);
    if (!text.contains(wanted) || !text.endsWith(u']')) {
      std::printf("  line %d is not the datagram expected: %.60s...\n", expected,
                  text.toUtf8().constData());
      return false;
    }
    ++expected;
  }
  return expected == line_count;
}

// One flood: line_count datagrams of payload_size bytes.
struct scenario {
  int line_count;
  std::size_t payload_size;
};

result flood(QPlainTextEdit* box, const std::shared_ptr<log_sink>& sink, scenario what) {
  const int line_count = what.line_count;
  box->clear();
  set_log_sink(sink);
  result r;
  std::vector<double> lateness_ms;
  QElapsedTimer clock;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(probe_period_ms);
  qint64 last_tick = 0;
  QEventLoop loop;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    lateness_ms.push_back(
        std::max(0.0, static_cast<double>(now - last_tick) / 1e6 - probe_period_ms));
    last_tick = now;
    if (box->document()->blockCount() - 1 >= line_count) {
      r.complete = true;
      r.seconds = static_cast<double>(now) / 1e9;
      loop.quit();
    } else if (now / 1'000'000 > time_limit_ms) {
      loop.quit();
    }
  });

  std::vector<std::uint8_t> payload(what.payload_size);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 37);
  std::atomic<bool> stop{false};
  clock.start();
  probe.start();
  std::thread worker([&] {
    for (int i = 0; i < line_count && !stop; ++i)
      on_datagram(IO_RECV, payload.data(), static_cast<std::uint32_t>(payload.size()), "127.0.0.1",
                  i, 10);
  });
  loop.exec();
  stop = true;
  worker.join();
  probe.stop();
  set_log_sink(nullptr);
  QCoreApplication::processEvents();
  r.in_order = r.complete && lines_in_order(box, line_count);
  r.p50_ms = percentile(lateness_ms, 0.50);
  r.p99_ms = percentile(lateness_ms, 0.99);
  r.max_ms = percentile(lateness_ms, 1.0);
  return r;
}

void report(const char* name, const result& r, int line_count) {
  std::printf(
      "  %-13s %9.0f lines/s  %6.2f s  all in order: %-3s  probe lateness p50 %6.2f ms"
      "  p99 %7.2f ms  max %7.2f ms\n",
      name, r.complete ? line_count / r.seconds : 0.0, r.seconds, r.in_order ? "yes" : "NO",
      r.p50_ms, r.p99_ms, r.max_ms);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  set_application_look();
  create_byte_tools();
  set_message_hook([](const std::string&) {});
  auto window = std::make_unique<main_window>();
  window->show();
  QCoreApplication::processEvents();
  auto* box = qobject_cast<QPlainTextEdit*>(window->编辑框2.widget());

  // The window's own sink, taken before flood() replaces it.
  const auto queued = queued_log_sink::create(box);
  bool all_in_order = true;
  // 500 lines of 8 KiB datagrams (some 47,000 characters each) stay within
  // the log's character cap, so every one of them must arrive.
  for (const scenario what : {scenario{log_line_limit, 16}, scenario{500, 8192}}) {
    std::printf("window log flood: %d received datagrams of %zu bytes from one endpoint\n",
                what.line_count, what.payload_size);
    const result fast = flood(box, queued, what);
    report("queued sink", fast, what.line_count);
    const result slow = flood(box, std::make_shared<naive_sink>(box), what);
    report("naive sink", slow, what.line_count);
    if (fast.complete && slow.complete)
      std::printf("  queued / naive: throughput x%.1f, p99 lateness x%.2f\n",
                  slow.seconds / fast.seconds, slow.p99_ms / std::max(fast.p99_ms, 0.01));
    all_in_order = all_in_order && fast.in_order && slow.in_order;
  }
  queued->detach();
  window.reset();
  exit_routine();
  return all_in_order ? 0 : 1;
}
