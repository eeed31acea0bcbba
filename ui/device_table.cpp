// The device table: the timer's update, query, clear and row click.
#include <string>

#include "codecs/parsing.h"
#include "codecs/renderings.h"
#include "ui/main_window.h"
#include "ui/texts.h"
#include "ui/traffic_log.h"

namespace kestrova::ui {
namespace {

// Columns of 超级列表框1.
constexpr int ADDRESS_COLUMN = 0;
constexpr int PORT_COLUMN = 1;
constexpr int NUMBER_COLUMN = 2;

// Status bar parts written here.
constexpr int COUNT_PART = 1;
constexpr int MESSAGE_PART = 5;

// Senders folded in per tick; the rest stay pending for the next tick.
constexpr std::size_t PENDING_PER_TICK = 10000;

// The device number travels in payload byte 3 (0-based); the sender's row
// holds it as decimal text.
constexpr std::size_t NUMBER_BYTE = 3;

// Folds one sender into the table: a new address is appended; a known one
// whose number changed is reported, removed and appended again at the end
// with the new number. The table is looked at afresh here, so this holds
// whatever other handlers did to it before.
void fold_sender(report_list_view& table, status_bar& status, const datagram_record& sender) {
  const byte_sequence& payload = sender.last_payload;
  if (payload.size() <= NUMBER_BYTE) return;
  const std::string number = number_to_text(payload[NUMBER_BYTE]);

  const int known_row = table.find_row(sender.last_peer_address);
  if (known_row >= 0) {
    if (table.cell_text(known_row, NUMBER_COLUMN) == number) return;
    status.set_status_text(MESSAGE_PART,
                           sender.last_peer_address + std::string(texts::number_changed));
    table.delete_row(known_row);
  }

  table.append_row();
  const int row = table.row_count() - 1;
  table.set_cell_text(row, ADDRESS_COLUMN, sender.last_peer_address);
  table.set_cell_text(row, PORT_COLUMN, sender.last_peer_port);
  table.set_cell_text(row, NUMBER_COLUMN, number);
  status.set_status_text(COUNT_PART, number_to_text(table.row_count()));
}

}  // namespace

void main_window::update_device_table() {
  // Every sender heard since the last tick, in order of first arrival, so
  // two devices talking within one tick both get their row; then the last
  // datagram, which brings back a cleared or filtered-away device while it
  // is still the last sender.
  for (const datagram_record& sender : take_pending_senders(PENDING_PER_TICK))
    fold_sender(超级列表框1, 状态条1, sender);
  fold_sender(超级列表框1, 状态条1, read_last_datagram());
}

void main_window::on_query() {
  const int selection = 组合框1.current_selection();
  const int column = selection >= 0 && selection <= NUMBER_COLUMN ? selection : ADDRESS_COLUMN;
  const std::string condition = 编辑框_查询条件.text();

  const int count = 超级列表框1.row_count();
  int row = 0;
  for (int visited = 0; visited < count; ++visited) {
    if (position_of(超级列表框1.cell_text(row, column), condition) == -1)
      超级列表框1.delete_row(row);  // the next row moves up into this index
    else
      ++row;
  }
  状态条1.set_status_text(MESSAGE_PART, std::string(texts::query_found) +
                                            number_to_text(超级列表框1.row_count()) +
                                            std::string(texts::query_records));
}

void main_window::on_clear() {
  超级列表框1.delete_all_rows();
  编辑框2.set_text("");
}

void main_window::on_row_click() {
  // No row selected (a click below the rows) reads empty cells: the address
  // box is cleared and the port box emptied.
  IP编辑框1.set_address(超级列表框1.cell_text(超级列表框1.current_row(), ADDRESS_COLUMN));
  编辑框_发送端口.set_text(超级列表框1.cell_text(超级列表框1.current_row(), PORT_COLUMN));
}

}  // namespace kestrova::ui
