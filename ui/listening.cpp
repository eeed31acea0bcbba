// Port listening: the check-box ticks, start and stop.
#include <array>
#include <string>
#include <string_view>

#include "codecs/parsing.h"
#include "ui/main_window.h"
#include "ui/texts.h"
#include "ui/traffic_log.h"

namespace kestrova::ui {
namespace {

constexpr int TICK_PERIOD_MS = 800;
// Given to every endpoint; on_datagram ignores it.
constexpr std::int32_t USER_VALUE = 10;

// The port box and check box of each slot (index 0 is slot 1).
constexpr std::array<control main_window::*, 4> PORT_BOXES = {
    &main_window::编辑框_端口1, &main_window::编辑框_端口2, &main_window::编辑框_端口3,
    &main_window::编辑框_端口4};
constexpr std::array<check_box main_window::*, 4> PORT_TICKS = {
    &main_window::选择框3000, &main_window::选择框3001, &main_window::选择框3002,
    &main_window::选择框3003};

// A port text is accepted when it reads as a whole number from 1 to 65535,
// so the port opened later (text_to_integer of the same text) is exactly the
// number the operator sees: fractions, exponents, negative numbers and values
// beyond 16 bits are refused rather than silently opened as another port.
bool port_text_accepted(const std::string& text) {
  const double number = text_to_number(text);
  return number == static_cast<double>(text_to_integer(text)) && number >= 1 && number <= 65535;
}

// "端口" + slot number + outcome, slot counted from 1.
std::string slot_status(std::size_t index, std::string_view outcome) {
  std::string text(texts::port);
  text += static_cast<char>('1' + index);
  text += outcome;
  return text;
}

}  // namespace

void main_window::on_port_tick(int slot) {
  if (slot < 1 || slot > 4) return;
  control& box = this->*PORT_BOXES[slot - 1];
  check_box& tick = this->*PORT_TICKS[slot - 1];
  if (!tick.ticked()) {
    box.set_enabled(true);
    return;
  }
  if (port_text_accepted(box.text())) {
    box.set_enabled(false);
    return;
  }
  show_message(texts::port_not_accepted);
  // A refused port is never left ticked, so start never opens it.
  tick.set_ticked(false);
}

void main_window::on_start_listening() {
  超级列表框1.delete_all_rows();

  bool any_ticked = false;
  for (auto tick : PORT_TICKS) any_ticked = any_ticked || (this->*tick).ticked();
  if (!any_ticked) {
    按钮_停止.set_enabled(false);
    时钟_端口1.set_period(0);
    show_message(texts::no_port_ticked);
    return;
  }

  状态条1.set_status_text(5, texts::listening_started);
  按钮_停止.set_enabled(true);
  按钮_监听.set_enabled(false);
  时钟_端口1.set_period(TICK_PERIOD_MS);
  for (auto tick : PORT_TICKS) (this->*tick).set_enabled(false);

  std::string outcome;
  for (std::size_t i = 0; i < port_handles.size(); ++i) {
    if (i > 0) outcome += texts::port_status_separator;
    if (!(this->*PORT_TICKS[i]).ticked()) {
      outcome += slot_status(i, texts::port_stopped);
      continue;
    }
    const std::int32_t port = text_to_integer((this->*PORT_BOXES[i]).text());
    port_handles[i] = endpoint_open(port, on_datagram, USER_VALUE);
    outcome += slot_status(i, port_handles[i] > 0 ? texts::port_started : texts::port_in_use);
  }
  状态条1.set_status_text(5, outcome);
}

void main_window::on_stop_listening() {
  时钟_端口1.set_period(0);
  // Every slot, whatever it holds: a 0 or an already closed handle is refused
  // harmlessly by the engine.
  for (endpoint_handle handle : port_handles) endpoint_close(handle);
  show_message(texts::ports_closed);
  for (auto tick : PORT_TICKS) (this->*tick).set_enabled(true);
  按钮_停止.set_enabled(false);
  按钮_监听.set_enabled(true);
}

}  // namespace kestrova::ui
