// The device table: the timer's update, query, clear and row click.
#include "ui/main_window.h"

namespace kestrova::ui {

void main_window::update_device_table() {}
void main_window::on_query() {}
void main_window::on_clear() {}
void main_window::on_row_click() {}

}  // namespace kestrova::ui
