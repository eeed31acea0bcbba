#include "ui/widgets.h"

#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <utility>

namespace kestrova::ui {

selection_list::selection_list(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  // A press on an item changes the current item before the click completes;
  // that change belongs to the click, which raises the event on release.
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!moving_on_its_own_ && row >= 0 && item_selected_) item_selected_();
  });
  connect(this, &QListWidget::itemClicked, this, [this] {
    if (item_selected_) item_selected_();
  });
}

void selection_list::set_item_selected_handler(std::function<void()> handler) {
  item_selected_ = std::move(handler);
}

void selection_list::mousePressEvent(QMouseEvent* event) {
  moving_on_its_own_ = true;
  QListWidget::mousePressEvent(event);
}

void selection_list::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  moving_on_its_own_ = false;
}

void selection_list::focusInEvent(QFocusEvent* event) {
  // Qt makes the first item current when a list without one gains the focus.
  const bool was = moving_on_its_own_;
  moving_on_its_own_ = true;
  QListWidget::focusInEvent(event);
  moving_on_its_own_ = was;
}

report_table::report_table(QWidget* parent) : QTableWidget(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setShowGrid(true);
  setWordWrap(false);
  setTabKeyNavigation(false);
  verticalHeader()->hide();
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void report_table::set_left_click_handler(std::function<void()> handler) {
  left_click_ = std::move(handler);
}

void report_table::mousePressEvent(QMouseEvent* event) {
  left_pressed_ = event->button() == Qt::LeftButton;
  if (left_pressed_ && !indexAt(event->position().toPoint()).isValid()) {
    // A click on the empty area leaves no row selected, as in a list view.
    clearSelection();
    setCurrentIndex(QModelIndex());
  }
  QTableWidget::mousePressEvent(event);
}

void report_table::mouseReleaseEvent(QMouseEvent* event) {
  QTableWidget::mouseReleaseEvent(event);
  const bool click = left_pressed_ && event->button() == Qt::LeftButton;
  left_pressed_ = false;
  if (click && left_click_) left_click_();
}

status_strip::status_strip(QWidget* parent, const std::array<int, part_count - 1>& widths)
    : QFrame(parent), widths_(widths) {
  for (QLabel*& label : parts_) {
    label = new QLabel(this);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(2);
    label->setTextFormat(Qt::PlainText);
  }
}

// Parts at fixed places: their right edges do not move with their texts.
void status_strip::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  const int top = 2;
  int x = 0;
  for (int i = 0; i < part_count; ++i) {
    const int width =
        i < part_count - 1 ? widths_[static_cast<std::size_t>(i)] : std::max(0, this->width() - x);
    parts_[static_cast<std::size_t>(i)]->setGeometry(x, top, width, height() - top);
    x += width;
  }
}

QLabel* status_strip::part(int index) const {
  if (index < 0 || index >= part_count) return nullptr;
  return parts_[static_cast<std::size_t>(index)];
}

}  // namespace kestrova::ui
