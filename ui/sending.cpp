// Sending: the preset list and the send button.
#include <array>
#include <string>
#include <string_view>

#include "codecs/parsing.h"
#include "ui/main_window.h"
#include "ui/texts.h"

namespace kestrova::ui {
namespace {

// The destination port texts, tried in this order; each chooses the slot of
// the same index (the default texts of the four port boxes), whatever the
// port boxes hold now.
constexpr std::array<std::string_view, 4> SLOT_PORT_TEXTS = {"3000", "3001", "3002", "3003"};

}  // namespace

void main_window::on_toggle_presets() {
  const bool show = preset_list_hidden == 1;
  列表框1.set_visible(show);
  preset_list_hidden = show ? 0 : 1;
}

void main_window::on_preset_picked() {
  const int index = 列表框1.current_selection();
  if (index < 0) return;  // the selection was cleared, nothing was picked
  编辑框_发送消息.set_text(列表框1.item_text(index));
  // Hidden now, so the next "↓" click shows the list again.
  列表框1.set_visible(false);
  preset_list_hidden = 1;
}

void main_window::on_send() {
  // Every input is read into values of this call before anything else: the
  // conversion dispatches queued events, and a nested send or row click then
  // works on its own values.
  const std::string address = IP编辑框1.address();
  const std::string port_text = 编辑框_发送端口.text();
  const std::string payload_text = 编辑框_发送消息.text();
  const byte_sequence payload = 选择框_发送进制.ticked() ? hex_text_to_bytes(payload_text)
                                                         : decimal_list_to_bytes(payload_text);

  bool sent = false;
  for (std::size_t slot = 0; slot < SLOT_PORT_TEXTS.size(); ++slot) {
    if (port_text != SLOT_PORT_TEXTS[slot]) continue;
    sent = endpoint_send(port_handles[slot], address.c_str(), text_to_integer(port_text),
                         payload.empty() ? nullptr : payload.data(),
                         static_cast<std::uint32_t>(payload.size()));
    break;
  }
  if (!sent) show_message(texts::send_failed);
}

}  // namespace kestrova::ui
