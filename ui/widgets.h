// The Qt widgets behind the controls that Qt does not offer as they are: the
// preset list's item-selected event, the report list view's left-click
// event, and the part-based status bar. Used by the window and the control
// layer only.
#pragma once

#include <QFrame>
#include <QListWidget>
#include <QTableWidget>
#include <array>
#include <functional>

class QLabel;

namespace kestrova::ui {

// List box whose item-selected event is raised by a click on an item and by a
// change of the current item from the keyboard, once per action.
class selection_list : public QListWidget {
 public:
  explicit selection_list(QWidget* parent);
  void set_item_selected_handler(std::function<void()> handler);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  std::function<void()> item_selected_;
  // Set while Qt moves the current item on its own behalf: a press (the
  // click raises the event) or gaining the focus (no operator choice).
  bool moving_on_its_own_ = false;
};

// Report-style list view: full-row single selection, grid lines, no sorting,
// no editing. The left-click event follows the button's release, after the
// press set the selection; a press below the rows clears the selection.
class report_table : public QTableWidget {
 public:
  explicit report_table(QWidget* parent);
  void set_left_click_handler(std::function<void()> handler);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::function<void()> left_click_;
  bool left_pressed_ = false;
};

// Status bar of six parts side by side; the widths of the first five are
// fixed, the last takes the rest. No size grip.
class status_strip : public QFrame {
 public:
  static constexpr int part_count = 6;
  status_strip(QWidget* parent, const std::array<int, part_count - 1>& widths);
  QLabel* part(int index) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::array<int, part_count - 1> widths_;
  std::array<QLabel*, part_count> parts_{};
};

}  // namespace kestrova::ui
