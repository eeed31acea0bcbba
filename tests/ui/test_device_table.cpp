// The device table against the real window: loopback sockets on many 127.x
// addresses are the devices, the window listens on a system-chosen port, and
// each test ticks the table by hand.
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/handler_test_support.h"

namespace kestrova::ui {
namespace {

using testing::click;
using testing::click_row;
using testing::gbk;
using testing::udp_device;

class device_table : public testing::listening_fixture {
 protected:
  void SetUp() override {
    listening_fixture::SetUp();
    listen_on({1});
  }

  report_list_view& table() { return window->超级列表框1; }
  void tick() { window->update_device_table(); }

  // Every row as "address|port|number", in table order.
  std::vector<std::string> rows() {
    std::vector<std::string> all;
    for (int row = 0; row < table().row_count(); ++row)
      all.push_back(table().cell_text(row, 0) + "|" + table().cell_text(row, 1) + "|" +
                    table().cell_text(row, 2));
    return all;
  }
  static std::string row_of(const udp_device& device, const char* number) {
    return device.address() + "|" + device.port_text() + "|" + number;
  }
  // A payload carrying the device number in byte 3.
  static byte_sequence with_number(std::uint8_t number) { return {0xFE, 0x01, 0x00, number, 0x2A}; }

  void add_row(const char* address, const char* port, const char* number) {
    const int row = table().append_row();
    table().set_cell_text(row, 0, address);
    table().set_cell_text(row, 1, port);
    table().set_cell_text(row, 2, number);
  }
};

TEST_F(device_table, a_new_sender_is_appended_once) {
  tick();  // nothing heard yet
  EXPECT_TRUE(rows().empty());

  udp_device a("127.0.0.5");
  ASSERT_TRUE(deliver(a, {0xFE, 0x01, 0x00, 0x48, 0x2A}));
  for (int i = 0; i < 3; ++i) tick();
  EXPECT_EQ(rows(), std::vector<std::string>{row_of(a, "72")});
  EXPECT_EQ(window->状态条1.status_text(1), "1");

  udp_device b("127.0.0.6");
  ASSERT_TRUE(deliver(b, with_number(9)));
  tick();
  EXPECT_EQ(rows(), (std::vector<std::string>{row_of(a, "72"), row_of(b, "9")}));
  EXPECT_EQ(window->状态条1.status_text(1), "2");
}

TEST_F(device_table, the_number_is_byte_3_and_shorter_payloads_change_nothing) {
  const struct {
    const char* address;
    byte_sequence payload;
    const char* number;  // null: no row
  } cases[] = {
      {"127.0.0.10", {}, nullptr},
      {"127.0.0.11", {0xFE}, nullptr},
      {"127.0.0.12", {0xFE, 0x01, 0x00}, nullptr},
      {"127.0.0.13", {0xFE, 0x01, 0x00, 0x48}, "72"},
      {"127.0.0.14", {0xFE, 0x01, 0x00, 0xFF, 0x00, 0x07}, "255"},
  };
  for (const auto& c : cases) {
    table().delete_all_rows();
    udp_device device(c.address);
    ASSERT_TRUE(deliver(device, c.payload)) << c.address;
    tick();
    if (c.number)
      EXPECT_EQ(rows(), std::vector<std::string>{row_of(device, c.number)}) << c.address;
    else
      EXPECT_TRUE(rows().empty()) << c.address;
  }
}

TEST_F(device_table, a_known_sender_on_a_new_port_keeps_its_first_port) {
  udp_device first("127.0.0.7");
  udp_device second("127.0.0.7");
  ASSERT_TRUE(deliver(first, with_number(72)));
  tick();
  ASSERT_TRUE(deliver(second, with_number(72)));
  tick();
  EXPECT_EQ(rows(), std::vector<std::string>{row_of(first, "72")});
}

TEST_F(device_table, a_changed_number_moves_the_row_to_the_end_in_the_same_tick) {
  udp_device a("127.0.0.11"), b("127.0.0.12"), c("127.0.0.13");
  ASSERT_TRUE(deliver(a, with_number(72)));
  ASSERT_TRUE(deliver(b, with_number(5)));
  ASSERT_TRUE(deliver(c, with_number(9)));
  tick();
  window->状态条1.set_status_text(1, "stale");

  // a changes its number, then b speaks again: a is no longer the last sender
  // when the tick comes.
  ASSERT_TRUE(deliver(a, with_number(73)));
  ASSERT_TRUE(deliver(b, with_number(5)));
  tick();
  EXPECT_EQ(window->状态条1.status_text(5), "127.0.0.11" + gbk("的机号已变更"));
  EXPECT_EQ(rows(), (std::vector<std::string>{row_of(b, "5"), row_of(c, "9"), row_of(a, "73")}));
  EXPECT_EQ(window->状态条1.status_text(1), "3");

  // Later ticks on the same last datagram leave it where it is.
  window->状态条1.set_status_text(5, "");
  tick();
  EXPECT_EQ(rows(), (std::vector<std::string>{row_of(b, "5"), row_of(c, "9"), row_of(a, "73")}));
  EXPECT_EQ(window->状态条1.status_text(5), "");
}

TEST_F(device_table, an_address_contained_in_a_listed_one_is_a_new_sender) {
  udp_device longer("127.0.0.25"), shorter("127.0.0.2");
  ASSERT_TRUE(deliver(longer, with_number(1)));
  tick();
  ASSERT_TRUE(deliver(shorter, with_number(2)));
  tick();
  EXPECT_EQ(rows(), (std::vector<std::string>{row_of(longer, "1"), row_of(shorter, "2")}));
}

TEST_F(device_table, every_sender_heard_within_one_tick_gets_a_row) {
  constexpr int DEVICES = 200;
  std::vector<std::unique_ptr<udp_device>> devices;
  std::vector<std::string> expected;
  for (int i = 1; i <= DEVICES; ++i) {
    devices.push_back(std::make_unique<udp_device>("127.0.1." + std::to_string(i)));
    ASSERT_TRUE(devices.back()->ok()) << i;
    ASSERT_TRUE(deliver(*devices.back(), with_number(static_cast<std::uint8_t>(i))));
    expected.push_back(row_of(*devices.back(), std::to_string(i).c_str()));
  }
  // The first device speaks again: it keeps its place, with its latest number.
  ASSERT_TRUE(deliver(*devices.front(), with_number(250)));
  expected.front() = row_of(*devices.front(), "250");

  tick();
  EXPECT_EQ(rows(), expected);
  EXPECT_EQ(window->状态条1.status_text(1), std::to_string(DEVICES));
}

TEST_F(device_table, a_cleared_device_comes_back_while_it_is_the_last_sender) {
  udp_device a("127.0.0.5");
  ASSERT_TRUE(deliver(a, with_number(72)));
  tick();
  click(window->超级按钮_清空);
  ASSERT_TRUE(rows().empty());
  tick();
  EXPECT_EQ(rows(), std::vector<std::string>{row_of(a, "72")});
}

TEST_F(device_table, query_keeps_the_rows_whose_chosen_cell_contains_the_text) {
  const struct {
    int selection;
    const char* condition;
    std::vector<std::string> kept;
  } cases[] = {
      {0, "127", {"127.0.0.1", "127.0.0.25"}},
      {1, "300", {"127.0.0.1", "10.1.1.2"}},
      {2, "7", {"127.0.0.1", "127.0.0.25"}},
      {2, "9", {}},
      {0, "", {"127.0.0.1", "127.0.0.25", "10.1.1.2"}},
      {-1, "10.", {"10.1.1.2"}},  // no selection reads the address column
  };
  for (const auto& c : cases) {
    table().delete_all_rows();
    add_row("127.0.0.1", "3000", "72");
    add_row("127.0.0.25", "40000", "17");
    add_row("10.1.1.2", "3001", "5");
    window->组合框1.set_current_selection(c.selection);
    window->编辑框_查询条件.set_text(c.condition);

    click(window->按钮_查询筛选);

    std::vector<std::string> kept;
    for (int row = 0; row < table().row_count(); ++row) kept.push_back(table().cell_text(row, 0));
    EXPECT_EQ(kept, c.kept) << c.selection << " " << c.condition;
    EXPECT_EQ(window->状态条1.status_text(5),
              gbk("查询到：") + std::to_string(c.kept.size()) + gbk("条记录"));
  }
  EXPECT_EQ(window->状态条1.status_text(1), "0");  // the count only follows additions
}

TEST_F(device_table, query_on_an_empty_table_finds_none) {
  click(window->按钮_查询筛选);
  EXPECT_EQ(window->状态条1.status_text(5), gbk("查询到：0条记录"));
}

TEST_F(device_table, clear_empties_the_table_and_the_log) {
  udp_device a("127.0.0.5");
  ASSERT_TRUE(deliver(a, with_number(72)));
  tick();
  ASSERT_TRUE(wait_until([&] { return !window->编辑框2.text().empty(); }));

  click(window->超级按钮_清空);
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(window->编辑框2.text(), "");
  EXPECT_EQ(window->状态条1.status_text(1), "1");
}

TEST_F(device_table, a_row_click_copies_address_and_port_and_a_click_below_clears_them) {
  udp_device a("127.0.0.5"), b("127.0.0.6");
  ASSERT_TRUE(deliver(a, with_number(72)));
  ASSERT_TRUE(deliver(b, with_number(9)));
  tick();
  ASSERT_EQ(table().row_count(), 2);

  click_row(table(), 1);
  EXPECT_EQ(window->IP编辑框1.address(), "127.0.0.6");
  EXPECT_EQ(window->编辑框_发送端口.text(), b.port_text());

  click_row(table(), -1);
  EXPECT_EQ(window->IP编辑框1.address(), "");
  EXPECT_EQ(window->编辑框_发送端口.text(), "");
}

}  // namespace
}  // namespace kestrova::ui
