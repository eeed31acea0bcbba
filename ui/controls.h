// The control layer: exactly the operations the window's handlers ask of the
// toolkit, over Qt Widgets. Handlers use only these classes, never Qt, so they
// read as the operations they perform and can be driven by tests.
//
// Every text crossing this layer is GBK (std::string), the system's text;
// conversion to and from Qt's UTF-16 happens here and only here. A character
// GBK cannot hold becomes "?".
#pragma once

#include <functional>
#include <string>
#include <string_view>

class QString;
class QTimer;
class QWidget;

namespace kestrova::ui {

using handler = std::function<void()>;

// Any control: text, enabled state, visibility. The text of a push button,
// check box or group box is its caption; of an edit box, its contents.
class control {
 public:
  explicit control(QWidget* widget = nullptr) : widget_(widget) {}
  std::string text() const;
  void set_text(std::string_view text);
  bool enabled() const;
  void set_enabled(bool enabled);
  bool visible() const;
  void set_visible(bool visible);
  QWidget* widget() const { return widget_; }

 protected:
  QWidget* widget_;
};

// Push button (including the flat one); the handler runs on a click.
class button : public control {
 public:
  using control::control;
  void on_click(handler h);
};

// Check box; the tick toggles before the click handler runs.
class check_box : public control {
 public:
  using control::control;
  bool ticked() const;
  void set_ticked(bool ticked);
  void on_click(handler h);
};

// Drop-down list without edit field: the current selection, -1 for none.
class combo_box : public control {
 public:
  using control::control;
  int current_selection() const;
  void set_current_selection(int index);
  // Height of the closed box (the selection field) in pixels.
  void set_selection_field_height(int pixels);
};

// List box: selection, item texts, and the item-selected event (a click on an
// item, or a change of the selection by keyboard).
class list_box : public control {
 public:
  using control::control;
  int current_selection() const;
  std::string item_text(int index) const;
  int item_count() const;
  void on_item_selected(handler h);
};

// The IP address box: four numeric fields. address() is the four fields in
// decimal joined by "." (a blank field reads as 0), "" when all are blank;
// set_address shows a dotted address, "" clears every field.
class ip_address_box : public control {
 public:
  using control::control;
  std::string address() const;
  void set_address(std::string_view address);
};

// The traffic log box: append puts the text at the end whatever the caret,
// whole, scrolled into view; set_text("") empties it.
class log_box : public control {
 public:
  using control::control;
  void append(std::string_view text);
};

// The report list view: rows and columns 0-based.
class report_list_view : public control {
 public:
  using control::control;
  int row_count() const;
  // "" for a cell that does not exist.
  std::string cell_text(int row, int column) const;
  void set_cell_text(int row, int column, std::string_view text);
  // Appends an empty row; returns its index.
  int append_row();
  void delete_row(int row);
  void delete_all_rows();
  // First row whose column-0 text equals text as a whole, letters compared
  // without regard to case; -1 when none.
  int find_row(std::string_view text) const;
  // The selected row, -1 when none.
  int current_row() const;
  // Raised by a left click in the rows area, after the click set the selection.
  void on_left_click(handler h);
};

// Status bar with six parts numbered from 0; other part numbers are ignored.
class status_bar : public control {
 public:
  using control::control;
  void set_status_text(int part, std::string_view text);
  std::string status_text(int part) const;
};

// Window timer: period in milliseconds, 0 = stopped.
class window_timer {
 public:
  explicit window_timer(QTimer* timer = nullptr) : timer_(timer) {}
  int period() const;
  void set_period(int milliseconds);
  void on_tick(handler h);
  QTimer* timer() const { return timer_; }

 private:
  QTimer* timer_;
};

// The system's one message box: caption "信息：", one OK button, no icon, no
// owner, modal; returns when the operator has closed it.
void show_message(std::string_view text);

// Test seam: while a hook is set, show_message hands it the text instead of
// showing a box. An empty hook restores the box.
using message_hook = std::function<void(const std::string& text)>;
void set_message_hook(message_hook hook);

// GBK at the boundary (ui/gbk.cpp, the one platform seam for it).
std::string to_gbk(const QString& text);
QString from_gbk(std::string_view text);

// The GBK text of a UTF-8 text, for the system's fixed texts, which the
// sources hold as UTF-8 literals: set_status_text(5, gbk("启动监视成功")).
std::string gbk(std::string_view utf8_text);
// The UTF-8 form of a GBK text (tests and diagnostics).
std::string utf8(std::string_view gbk_text);

}  // namespace kestrova::ui
