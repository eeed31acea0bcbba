// Port listening: the check-box ticks, start and stop.
#include "ui/main_window.h"

namespace kestrova::ui {

void main_window::on_port_tick(int) {}
void main_window::on_start_listening() {}
void main_window::on_stop_listening() {}

}  // namespace kestrova::ui
