// The control layer over Qt Widgets: each operation finds the Qt widget kind
// behind the control and does the one thing the handlers ask of it.
#include "ui/controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTimer>
#include <utility>

#include "ui/ip_address_box.h"
#include "ui/log_box.h"
#include "ui/widgets.h"

namespace kestrova::ui {

std::string control::text() const {
  if (auto* edit = qobject_cast<QLineEdit*>(widget_)) return to_gbk(edit->text());
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget_)) {
    // Lines end in "\r\n" as they were written.
    return to_gbk(box->toPlainText().replace(u'\n', QStringLiteral("\r\n")));
  }
  if (auto* btn = qobject_cast<QAbstractButton*>(widget_)) return to_gbk(btn->text());
  if (auto* group = qobject_cast<QGroupBox*>(widget_)) return to_gbk(group->title());
  if (auto* label = qobject_cast<QLabel*>(widget_)) return to_gbk(label->text());
  if (auto* combo = qobject_cast<QComboBox*>(widget_)) return to_gbk(combo->currentText());
  if (auto* ip = dynamic_cast<ip_address_widget*>(widget_)) return to_gbk(ip->address());
  return {};
}

void control::set_text(std::string_view text) {
  const QString value = from_gbk(text);
  if (auto* edit = qobject_cast<QLineEdit*>(widget_)) {
    edit->setText(value);
  } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget_)) {
    box->setPlainText(QString(value).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  } else if (auto* btn = qobject_cast<QAbstractButton*>(widget_)) {
    btn->setText(value);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget_)) {
    group->setTitle(value);
  } else if (auto* label = qobject_cast<QLabel*>(widget_)) {
    label->setText(value);
  } else if (auto* ip = dynamic_cast<ip_address_widget*>(widget_)) {
    ip->set_address(value);
  }
}

// The control's own state, as set_enabled left it, whatever its group's.
bool control::enabled() const { return widget_ && !widget_->testAttribute(Qt::WA_ForceDisabled); }

void control::set_enabled(bool enabled) {
  if (widget_) widget_->setEnabled(enabled);
}

// The control's own state, whether or not the window is on screen yet.
bool control::visible() const { return widget_ && widget_->isVisibleTo(widget_->window()); }

void control::set_visible(bool visible) {
  if (widget_) widget_->setVisible(visible);
}

void button::on_click(handler h) {
  auto* btn = qobject_cast<QAbstractButton*>(widget_);
  QObject::connect(btn, &QAbstractButton::clicked, btn, [h = std::move(h)] { h(); });
}

bool check_box::ticked() const {
  auto* box = qobject_cast<QCheckBox*>(widget_);
  return box && box->isChecked();
}

void check_box::set_ticked(bool ticked) {
  if (auto* box = qobject_cast<QCheckBox*>(widget_)) box->setChecked(ticked);
}

// QAbstractButton::clicked follows the toggle, so the handler sees the new tick.
void check_box::on_click(handler h) {
  auto* box = qobject_cast<QCheckBox*>(widget_);
  QObject::connect(box, &QAbstractButton::clicked, box, [h = std::move(h)] { h(); });
}

int combo_box::current_selection() const {
  auto* combo = qobject_cast<QComboBox*>(widget_);
  return combo ? combo->currentIndex() : -1;
}

void combo_box::set_current_selection(int index) {
  auto* combo = qobject_cast<QComboBox*>(widget_);
  if (combo && index >= -1 && index < combo->count()) combo->setCurrentIndex(index);
}

void combo_box::set_selection_field_height(int pixels) {
  if (widget_) widget_->setFixedHeight(pixels);
}

int list_box::current_selection() const {
  auto* list = qobject_cast<QListWidget*>(widget_);
  if (!list) return -1;
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.front());
}

std::string list_box::item_text(int index) const {
  auto* list = qobject_cast<QListWidget*>(widget_);
  const QListWidgetItem* item = list ? list->item(index) : nullptr;
  return item ? to_gbk(item->text()) : std::string();
}

int list_box::item_count() const {
  auto* list = qobject_cast<QListWidget*>(widget_);
  return list ? list->count() : 0;
}

void list_box::on_item_selected(handler h) {
  if (auto* list = dynamic_cast<selection_list*>(widget_))
    list->set_item_selected_handler(std::move(h));
}

std::string ip_address_box::address() const {
  auto* ip = dynamic_cast<ip_address_widget*>(widget_);
  return ip ? to_gbk(ip->address()) : std::string();
}

void ip_address_box::set_address(std::string_view address) {
  if (auto* ip = dynamic_cast<ip_address_widget*>(widget_)) ip->set_address(from_gbk(address));
}

void log_box::append(std::string_view text) {
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget_)) append_to_log(box, from_gbk(text));
}

namespace {

QTableWidget* table_of(QWidget* widget) { return qobject_cast<QTableWidget*>(widget); }

bool has_row(const QTableWidget* table, int row) {
  return table && row >= 0 && row < table->rowCount();
}

}  // namespace

int report_list_view::row_count() const {
  auto* table = table_of(widget_);
  return table ? table->rowCount() : 0;
}

std::string report_list_view::cell_text(int row, int column) const {
  auto* table = table_of(widget_);
  if (!has_row(table, row) || column < 0 || column >= table->columnCount()) return {};
  const QTableWidgetItem* item = table->item(row, column);
  return item ? to_gbk(item->text()) : std::string();
}

void report_list_view::set_cell_text(int row, int column, std::string_view text) {
  auto* table = table_of(widget_);
  if (!has_row(table, row) || column < 0 || column >= table->columnCount()) return;
  auto* item = new QTableWidgetItem(from_gbk(text));
  // Cells take their column's alignment, which the header item carries.
  if (const QTableWidgetItem* header = table->horizontalHeaderItem(column))
    item->setTextAlignment(Qt::Alignment(header->textAlignment()));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  table->setItem(row, column, item);
}

int report_list_view::append_row() {
  auto* table = table_of(widget_);
  if (!table) return -1;
  const int row = table->rowCount();
  table->insertRow(row);
  return row;
}

void report_list_view::delete_row(int row) {
  auto* table = table_of(widget_);
  if (has_row(table, row)) table->removeRow(row);
}

void report_list_view::delete_all_rows() {
  if (auto* table = table_of(widget_)) table->setRowCount(0);
}

int report_list_view::find_row(std::string_view text) const {
  auto* table = table_of(widget_);
  if (!table) return -1;
  const QString wanted = from_gbk(text);
  for (int row = 0; row < table->rowCount(); ++row) {
    const QTableWidgetItem* item = table->item(row, 0);
    const QString cell = item ? item->text() : QString();
    if (cell.compare(wanted, Qt::CaseInsensitive) == 0) return row;
  }
  return -1;
}

int report_list_view::current_row() const {
  auto* table = table_of(widget_);
  if (!table || !table->selectionModel()) return -1;
  const QModelIndexList rows = table->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void report_list_view::on_left_click(handler h) {
  if (auto* table = dynamic_cast<report_table*>(widget_))
    table->set_left_click_handler(std::move(h));
}

void status_bar::set_status_text(int part, std::string_view text) {
  auto* strip = dynamic_cast<status_strip*>(widget_);
  if (QLabel* label = strip ? strip->part(part) : nullptr) label->setText(from_gbk(text));
}

std::string status_bar::status_text(int part) const {
  auto* strip = dynamic_cast<status_strip*>(widget_);
  const QLabel* label = strip ? strip->part(part) : nullptr;
  return label ? to_gbk(label->text()) : std::string();
}

int window_timer::period() const { return timer_ && timer_->isActive() ? timer_->interval() : 0; }

void window_timer::set_period(int milliseconds) {
  if (!timer_) return;
  if (milliseconds <= 0) {
    timer_->stop();
  } else {
    timer_->start(milliseconds);
  }
}

void window_timer::on_tick(handler h) {
  QObject::connect(timer_, &QTimer::timeout, timer_, [h = std::move(h)] { h(); });
}

namespace {

message_hook& hook() {
  static message_hook installed;
  return installed;
}

}  // namespace

void show_message(std::string_view text) {
  if (hook()) {
    hook()(std::string(text));
    return;
  }
  QMessageBox box;  // no owner: the box stands on its own
  box.setWindowTitle(QStringLiteral("信息："));
  box.setText(from_gbk(text));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void set_message_hook(message_hook hook_to_use) { hook() = std::move(hook_to_use); }

}  // namespace kestrova::ui
