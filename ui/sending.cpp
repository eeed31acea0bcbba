// Sending: the preset list and the send button.
#include "ui/main_window.h"

namespace kestrova::ui {

void main_window::on_toggle_presets() {}
void main_window::on_preset_picked() {}
void main_window::on_send() {}

}  // namespace kestrova::ui
