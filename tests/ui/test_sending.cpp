// Sending against the real window: the window listens on system-chosen ports
// and sends to devices bound to the fixed destination ports 3000 to 3003 on a
// loopback address (these tests hold the fixed_ports lock).
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/handler_test_support.h"

namespace kestrova::ui {
namespace {

using namespace std::chrono_literals;
using testing::click;
using testing::click_row;
using testing::device_on_fixed_port;
using testing::gbk;
using testing::udp_device;

constexpr const char* DEVICE_ADDRESS = "127.0.0.9";

class sending : public testing::listening_fixture {
 protected:
  // A device on DEVICE_ADDRESS:3000+index.
  std::unique_ptr<udp_device> fixed_device(int index) {
    auto device = device_on_fixed_port(DEVICE_ADDRESS, static_cast<std::uint16_t>(3000 + index));
    EXPECT_TRUE(device->ok()) << "port " << 3000 + index << " stayed busy";
    return device;
  }
  void send_to_device(const char* port_text) {
    window->IP编辑框1.set_address(DEVICE_ADDRESS);
    window->编辑框_发送端口.set_text(port_text);
    click(window->按钮2);
  }
  std::string log() {
    process_events();
    return window->编辑框2.text();
  }
};

TEST_F(sending, payloads_arrive_byte_for_byte_and_are_logged) {
  listen_on({1});
  auto device = fixed_device(0);
  const struct {
    bool hex;
    const char* text;
    byte_sequence bytes;
    const char* logged_hex;
  } cases[] = {
      {true,
       "FE010048000111F23C",
       {0xFE, 0x01, 0x00, 0x48, 0x00, 0x01, 0x11, 0xF2, 0x3C},
       "FE010048000111F23C"},
      {false, "{1,2,3}", {0x01, 0x02, 0x03}, "010203"},
      // The first preset read as a decimal list: one element not starting with a digit.
      {false, "FE010048000111F23C", {0x00}, "00"},
      // An empty payload is sent as an empty datagram, without a message.
      {true, "", {}, ""},
  };
  for (const auto& c : cases) {
    window->选择框_发送进制.set_ticked(c.hex);
    window->编辑框_发送消息.set_text(c.text);
    send_to_device("3000");

    const auto received = device->receive();
    ASSERT_TRUE(received) << c.text;
    EXPECT_EQ(received->bytes, c.bytes) << c.text;
    EXPECT_EQ(received->from_port, ports[0]) << c.text;
    const std::string line = gbk("发送:") + DEVICE_ADDRESS + ":3000 -> [" + c.logged_hex + "]\r\n";
    EXPECT_TRUE(wait_until([&] { return log().find(line) != std::string::npos; })) << c.text;
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(sending, the_destination_port_text_chooses_the_slot) {
  listen_on({1, 2, 3, 4});
  std::unique_ptr<udp_device> devices[4];
  for (int i = 0; i < 4; ++i) devices[i] = fixed_device(i);
  window->选择框_发送进制.set_ticked(true);
  for (int i = 0; i < 4; ++i) {
    window->编辑框_发送消息.set_text("A" + std::to_string(i));
    send_to_device(("300" + std::to_string(i)).c_str());
    const auto received = devices[i]->receive();
    ASSERT_TRUE(received) << i;
    EXPECT_EQ(received->from_port, ports[i]) << i;
    EXPECT_EQ(received->bytes, byte_sequence{static_cast<std::uint8_t>(0xA0 + i)}) << i;
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(sending, a_clicked_device_is_answered_from_the_matching_listening_port) {
  listen_on({1, 2});
  auto device = fixed_device(1);  // the device talks from port 3001
  ASSERT_TRUE(deliver(*device, {0xFE, 0x01, 0x00, 0x48, 0x2A}, 1));
  window->update_device_table();
  click_row(window->超级列表框1, 0);
  window->选择框_发送进制.set_ticked(true);
  window->编辑框_发送消息.set_text("FE01004800023B00");

  click(window->按钮2);

  const auto received = device->receive();
  ASSERT_TRUE(received);
  EXPECT_EQ(received->from_port, ports[1]);
  EXPECT_EQ(received->bytes, (byte_sequence{0xFE, 0x01, 0x00, 0x48, 0x00, 0x02, 0x3B, 0x00}));
  EXPECT_TRUE(messages.empty());
}

TEST_F(sending, refused_sends_show_the_message_and_send_nothing) {
  listen_on({1, 2});
  auto device = fixed_device(0);
  const struct {
    const char* why;
    const char* port_text;
  } cases[] = {
      {"not a fixed port text", "50000"},
      {"emptied by a click below the rows", ""},
      {"the text must match as a whole", "03000"},
      {"slot 3 never listened", "3002"},
  };
  for (const auto& c : cases) {
    messages.clear();
    send_to_device(c.port_text);
    EXPECT_EQ(messages, std::vector<std::string>{gbk("发送出错了")}) << c.why;
  }

  click(window->按钮_停止);
  messages.clear();
  send_to_device("3000");
  EXPECT_EQ(messages, std::vector<std::string>{gbk("发送出错了")}) << "stopped endpoint";

  EXPECT_FALSE(device->receive(200ms));
  EXPECT_EQ(log().find(gbk("发送:")), std::string::npos);
}

TEST_F(sending, a_send_nested_in_a_conversion_works_on_its_own_values) {
  listen_on({1});
  auto device = fixed_device(0);
  window->选择框_发送进制.set_ticked(true);
  window->编辑框_发送消息.set_text("FE01");
  window->IP编辑框1.set_address(DEVICE_ADDRESS);
  // Queued now, run by the conversion's event dispatch: the operator clicks
  // another row (port 50000) and presses send again.
  QMetaObject::invokeMethod(
      window.get(),
      [this] {
        window->编辑框_发送端口.set_text("50000");
        window->on_send();
      },
      Qt::QueuedConnection);

  window->on_send();

  EXPECT_EQ(messages, std::vector<std::string>{gbk("发送出错了")});  // the nested one only
  const auto received = device->receive();
  ASSERT_TRUE(received);
  EXPECT_EQ(received->bytes, (byte_sequence{0xFE, 0x01}));
  EXPECT_FALSE(device->receive(200ms));
}

TEST_F(sending, the_arrow_shows_and_hides_the_presets_and_a_pick_hides_them) {
  list_box& presets = window->列表框1;
  EXPECT_FALSE(presets.visible());
  click(window->按钮4);
  EXPECT_TRUE(presets.visible());
  click(window->按钮4);
  EXPECT_FALSE(presets.visible());

  click(window->按钮4);
  click_row(presets, 2);
  EXPECT_EQ(window->编辑框_发送消息.text(), "FE01004800023B01");
  EXPECT_FALSE(presets.visible());
  EXPECT_EQ(window->preset_list_hidden, 1);

  click(window->按钮4);  // one click shows the list again
  EXPECT_TRUE(presets.visible());
}

}  // namespace
}  // namespace kestrova::ui
