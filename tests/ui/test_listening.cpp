// Port listening against the real window: ticks, start and stop, with real
// endpoints on system-chosen ports and real sockets holding ports busy.
#include <algorithm>
#include <array>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/ui/handler_test_support.h"

namespace kestrova::ui {
namespace {

using testing::click;
using testing::free_udp_port;
using testing::gbk;
using testing::udp_device;

class listening : public testing::listening_fixture {
 protected:
  void expect_idle() {
    EXPECT_TRUE(window->按钮_监听.enabled());
    EXPECT_FALSE(window->按钮_停止.enabled());
    EXPECT_EQ(window->时钟_端口1.period(), 0);
    for (int slot = 1; slot <= 4; ++slot) EXPECT_TRUE(port_tick(slot).enabled()) << slot;
  }
  void expect_listening() {
    EXPECT_FALSE(window->按钮_监听.enabled());
    EXPECT_TRUE(window->按钮_停止.enabled());
    EXPECT_EQ(window->时钟_端口1.period(), 800);
    for (int slot = 1; slot <= 4; ++slot) EXPECT_FALSE(port_tick(slot).enabled()) << slot;
  }
  std::string status() { return window->状态条1.status_text(5); }
  static bool port_is_free(std::uint16_t port) { return udp_device("0.0.0.0", port).ok(); }
};

// One start: which slots are ticked, which of them find their port held by
// another socket, which share slot 1's port, and the status text.
struct start_case {
  const char* name;
  std::vector<int> ticked;
  std::vector<int> busy;
  std::vector<int> same_port_as_slot_1;
  const char* status;
};

// Names the case in test listings.
void PrintTo(const start_case& c, std::ostream* out) { *out << c.name; }

class listening_start : public listening, public ::testing::WithParamInterface<start_case> {};

TEST_P(listening_start, reports_every_slot_and_listens_on_the_ports_shown) {
  const start_case& c = GetParam();
  udp_device blocker("0.0.0.0");  // holds a port, as another program would
  ASSERT_TRUE(blocker.ok());
  auto contains = [](const std::vector<int>& v, int slot) {
    return std::find(v.begin(), v.end(), slot) != v.end();
  };
  for (int slot : c.ticked) {
    ports[slot - 1] = contains(c.busy, slot)                  ? blocker.port()
                      : contains(c.same_port_as_slot_1, slot) ? ports[0]
                                                              : free_udp_port();
    tick_port(slot, ports[slot - 1]);
  }
  click(window->按钮_监听);

  EXPECT_EQ(status(), gbk(c.status));
  expect_listening();
  EXPECT_TRUE(messages.empty());
  for (int slot : c.ticked) {
    const endpoint_handle handle = window->port_handles[slot - 1];
    if (contains(c.busy, slot) || contains(c.same_port_as_slot_1, slot)) {
      EXPECT_EQ(handle, 0) << "slot " << slot;
      continue;
    }
    EXPECT_GT(handle, 0) << "slot " << slot;
    // The endpoint listens on exactly the port in the box.
    udp_device device("127.0.0.1");
    EXPECT_TRUE(deliver(device, {0xFE, static_cast<std::uint8_t>(slot)}, slot)) << "slot " << slot;
  }
}

INSTANTIATE_TEST_SUITE_P(
    start, listening_start,
    ::testing::Values(
        start_case{
            "only_slot_3", {3}, {}, {}, "端口1停止  |  端口2停止  |  端口3启动  |  端口4停止"},
        start_case{"slot_2_in_use",
                   {1, 2},
                   {2},
                   {},
                   "端口1启动  |  端口2被占用  |  端口3停止  |  端口4停止"},
        start_case{"slot_3_in_use",
                   {1, 2, 3, 4},
                   {3},
                   {},
                   "端口1启动  |  端口2启动  |  端口3被占用  |  端口4启动"},
        start_case{"all_in_use",
                   {1, 2, 3, 4},
                   {1, 2, 3, 4},
                   {},
                   "端口1被占用  |  端口2被占用  |  端口3被占用  |  端口4被占用"},
        start_case{"two_boxes_same_port",
                   {1, 4},
                   {},
                   {4},
                   "端口1启动  |  端口2停止  |  端口3停止  |  端口4被占用"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(listening, while_listening_the_timer_brings_senders_into_the_table) {
  ports[0] = free_udp_port();
  tick_port(1, ports[0]);
  click(window->按钮_监听);
  udp_device device("127.0.0.5");
  ASSERT_TRUE(deliver(device, {0xFE, 0x01, 0x00, 0x48, 0x2A}));
  EXPECT_TRUE(wait_until([&] { return window->超级列表框1.row_count() == 1; }));
  EXPECT_EQ(window->超级列表框1.cell_text(0, 2), "72");
}

TEST_F(listening, start_with_no_port_ticked_refuses_and_empties_the_table) {
  window->超级列表框1.append_row();
  window->状态条1.set_status_text(5, "before");

  click(window->按钮_监听);

  EXPECT_EQ(messages, std::vector<std::string>{gbk("未选中需要监视的端口")});
  EXPECT_EQ(window->超级列表框1.row_count(), 0);
  EXPECT_EQ(status(), "before");
  expect_idle();
  EXPECT_EQ(window->port_handles, (std::array<endpoint_handle, 4>{}));
}

TEST_F(listening, stop_closes_the_ports_and_returns_to_idle) {
  listen_on({1, 3});
  const std::string started = status();
  window->超级列表框1.append_row();

  click(window->按钮_停止);

  EXPECT_EQ(messages, std::vector<std::string>{gbk("端口已关闭")});
  expect_idle();
  EXPECT_TRUE(port_is_free(ports[0]));
  EXPECT_TRUE(port_is_free(ports[2]));
  // Ticks, port boxes, status text and table are left as they were.
  EXPECT_TRUE(port_tick(1).ticked());
  EXPECT_FALSE(port_box(1).enabled());
  EXPECT_EQ(status(), started);
  EXPECT_EQ(window->超级列表框1.row_count(), 1);
}

TEST_F(listening, stop_after_a_start_where_every_port_failed) {
  udp_device blocker("0.0.0.0");
  tick_port(2, blocker.port());
  click(window->按钮_监听);
  ASSERT_EQ(window->port_handles[1], 0);

  click(window->按钮_停止);

  EXPECT_EQ(messages, std::vector<std::string>{gbk("端口已关闭")});
  expect_idle();
}

TEST_F(listening, start_stop_start_with_other_ports_stop) {
  listen_on({1, 2});
  const auto first = window->port_handles;
  click(window->按钮_停止);
  click(port_tick(1));
  click(port_tick(2));
  EXPECT_TRUE(port_box(1).enabled());
  EXPECT_TRUE(port_box(2).enabled());

  listen_on({3, 4});
  EXPECT_EQ(status(), gbk("端口1停止  |  端口2停止  |  端口3启动  |  端口4启动"));
  // Slots not ticked keep the closed handles of the first start.
  EXPECT_EQ(window->port_handles[0], first[0]);
  EXPECT_EQ(window->port_handles[1], first[1]);
  EXPECT_GT(window->port_handles[2], 0);
  EXPECT_GT(window->port_handles[3], 0);

  click(window->按钮_停止);
  EXPECT_EQ(messages, (std::vector<std::string>{gbk("端口已关闭"), gbk("端口已关闭")}));
  expect_idle();
  for (std::uint16_t port : ports) EXPECT_TRUE(port_is_free(port)) << port;
}

TEST_F(listening, every_port_box_is_enabled_again_when_its_tick_is_taken_off) {
  for (int slot = 1; slot <= 4; ++slot) {
    click(port_tick(slot));
    EXPECT_TRUE(port_tick(slot).ticked()) << slot;
    EXPECT_FALSE(port_box(slot).enabled()) << slot;
    click(port_tick(slot));
    EXPECT_FALSE(port_tick(slot).ticked()) << slot;
    EXPECT_TRUE(port_box(slot).enabled()) << slot;
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(listening, a_refused_port_is_unticked_and_never_opened) {
  for (int slot = 1; slot <= 4; ++slot) {
    port_box(slot).set_text("0");
    click(port_tick(slot));
    EXPECT_FALSE(port_tick(slot).ticked()) << slot;
    EXPECT_TRUE(port_box(slot).enabled()) << slot;
  }
  EXPECT_EQ(messages, std::vector<std::string>(4, gbk("端口号设置不正确")));

  click(window->按钮_监听);
  EXPECT_EQ(messages.back(), gbk("未选中需要监视的端口"));
  EXPECT_EQ(window->port_handles, (std::array<endpoint_handle, 4>{}));
}

TEST_F(listening, only_whole_port_numbers_from_1_to_65535_are_accepted) {
  const struct {
    const char* text;
    bool accepted;
  } cases[] = {
      {"1", true},      {"3000", true},        {"65535", true},   {"0", false},
      {"", false},      {"-3000", false},      {"3000.5", false}, {"70000", false},
      {"65536", false}, {"4294970296", false},  // wraps to 3000 as an integer
      {"1e3", false},   {"abc", false},        {"-", false},
  };
  for (const auto& c : cases) {
    messages.clear();
    port_box(2).set_text(c.text);
    click(port_tick(2));
    EXPECT_EQ(port_tick(2).ticked(), c.accepted) << c.text;
    EXPECT_EQ(port_box(2).enabled(), !c.accepted) << c.text;
    EXPECT_EQ(messages.size(), c.accepted ? 0u : 1u) << c.text;
    if (c.accepted) click(port_tick(2));  // untick for the next case
  }
}

}  // namespace
}  // namespace kestrova::ui
