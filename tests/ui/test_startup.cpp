// Start-up and exit around the window: the event pump the conversions use,
// and the exit routine while workers still deliver datagrams.
#include <QMetaObject>
#include <atomic>
#include <thread>

#include "codecs/renderings.h"
#include "tests/ui/window_fixture.h"
#include "ui/startup.h"
#include "ui/traffic_log.h"

namespace kestrova::ui {
namespace {

TEST_F(window_fixture, event_pump_dispatches_waiting_events_on_the_window_thread_only) {
  process_events();
  bool ran = false;
  QMetaObject::invokeMethod(
      window.get(), [&] { ran = true; }, Qt::QueuedConnection);
  std::thread other([] { process_pending_events(); });
  other.join();
  EXPECT_FALSE(ran);
  process_pending_events();
  EXPECT_TRUE(ran);
}

TEST_F(window_fixture, event_pump_is_removed_with_the_window) {
  window.reset();
  bool ran = false;
  QObject context;
  QMetaObject::invokeMethod(
      &context, [&] { ran = true; }, Qt::QueuedConnection);
  process_pending_events();
  EXPECT_FALSE(ran);
  process_events();
  EXPECT_TRUE(ran);
}

TEST(exit_routine, releases_while_workers_still_deliver) {
  create_byte_tools();
  ASSERT_NE(the_byte_tools(), nullptr);
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&stop, t] {
      const std::uint8_t payload[] = {0xFE, 0x01, 0x00, static_cast<std::uint8_t>(t), 0x2A};
      for (int i = 0; i < 200'000 && !stop; ++i)
        on_datagram(2, payload, sizeof payload, "127.0.0.1", 3000 + t, 10);
    });
  }
  exit_routine();
  EXPECT_EQ(the_byte_tools(), nullptr);
  stop = true;
  for (std::thread& w : workers) w.join();
  // Once the workers are done, the record holds one datagram or nothing.
  const datagram_record last = read_last_datagram();
  if (!last.last_peer_address.empty()) {
    EXPECT_EQ(last.last_peer_address, "127.0.0.1");
    EXPECT_EQ(last.last_payload.size(), 5u);
  }
  exit_routine();
  EXPECT_TRUE(read_last_datagram().last_peer_address.empty());
}

}  // namespace
}  // namespace kestrova::ui
