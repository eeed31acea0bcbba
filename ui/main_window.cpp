// The main window: every control with its place and initial state, and the
// wiring of their events to the handlers.
#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <limits>

#include "codecs/renderings.h"
#include "ui/ip_address_box.h"
#include "ui/log_box.h"
#include "ui/port_box.h"
#include "ui/widgets.h"

namespace kestrova::ui {
namespace {

// The outer size with the frame, and the client area inside the classic
// frame (4 px borders, 23 px caption) that holds the controls.
constexpr QSize outer_size(774, 487);
constexpr QSize client_size(766, 460);
constexpr int status_bar_height = 20;

QFont pixel_font(int pixels, bool bold = false) {
  QFont font = QApplication::font();
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

template <typename Widget>
Widget* place(Widget* widget, const char* name, int x, int y, int width, int height) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(x, y, width, height);
  return widget;
}

QGroupBox* group_box(QWidget* parent, const char* name, const char* title, QRect rect) {
  auto* group = new QGroupBox(QString::fromUtf8(title), parent);
  return place(group, name, rect.x(), rect.y(), rect.width(), rect.height());
}

QLineEdit* edit_box(QWidget* parent, const char* name, const char* text, QRect rect) {
  auto* edit = new QLineEdit(QString::fromUtf8(text), parent);
  // No limit of its own: Qt's default of 32,767 characters would silently
  // cut a pasted payload and send something shorter than the operator gave.
  edit->setMaxLength(std::numeric_limits<int>::max());
  return place(edit, name, rect.x(), rect.y(), rect.width(), rect.height());
}

QPushButton* push_button(QWidget* parent, const char* name, const char* text, QRect rect) {
  auto* btn = new QPushButton(QString::fromUtf8(text), parent);
  btn->setAutoDefault(false);
  return place(btn, name, rect.x(), rect.y(), rect.width(), rect.height());
}

QCheckBox* tick_box(QWidget* parent, const char* name, const char* text, QRect rect) {
  auto* box = new QCheckBox(QString::fromUtf8(text), parent);
  return place(box, name, rect.x(), rect.y(), rect.width(), rect.height());
}

QLineEdit* port_box(QWidget* parent, const char* name, const char* text, int y) {
  QLineEdit* box = edit_box(parent, name, text, QRect(8, y, 128, 24));
  box->setAlignment(Qt::AlignCenter);
  box->setFont(pixel_font(16, true));
  QPalette colours = box->palette();
  colours.setColor(QPalette::Text, QColor(255, 0, 0));
  colours.setColor(QPalette::Base, Qt::white);
  box->setPalette(colours);
  install_port_filter(box);
  return box;
}

void process_window_events() { QCoreApplication::processEvents(); }

}  // namespace

main_window::main_window() {
  setWindowTitle(QStringLiteral("Kestrova"));
  // Fixed frame: minimize, no maximize, no resizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(client_size);
  // Group box captions sit on the frame's top line, so the controls placed
  // near the top of a group stay clear of the frame.
  setStyleSheet(
      QStringLiteral("QGroupBox { border: 1px solid #b8b8b8; border-radius: 2px; margin-top: 6px; }"
                     "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                     " left: 7px; top: 0px; padding: 0 2px; }"));
  build_controls();
  connect_handlers();

  log_sink_ = queued_log_sink::create(qobject_cast<QPlainTextEdit*>(编辑框2.widget()));
  set_log_sink(log_sink_);
  // Conversions that run on this thread dispatch its waiting events.
  install_event_pump(&process_window_events);
  on_created();
}

main_window::~main_window() {
  install_event_pump(nullptr);
  set_log_sink(nullptr);
  log_sink_->detach();
}

void main_window::build_controls() {
  QWidget* window = this;

  auto* table = place(new report_table(window), "超级列表框1", 3, 5, 314, 307);
  table->setColumnCount(3);
  const struct {
    const char* title;
    int width;
    Qt::Alignment alignment;
  } columns[] = {{"设备IP", 150, Qt::AlignLeft | Qt::AlignVCenter},
                 {"端口号", 90, Qt::AlignCenter},
                 {"机号", 70, Qt::AlignCenter}};
  for (int i = 0; i < 3; ++i) {
    auto* header = new QTableWidgetItem(QString::fromUtf8(columns[i].title));
    header->setTextAlignment(columns[i].alignment);
    table->setHorizontalHeaderItem(i, header);
    table->setColumnWidth(i, columns[i].width);
  }
  table->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  QPalette table_colours = table->palette();
  table_colours.setColor(QPalette::Text, Qt::black);
  table_colours.setColor(QPalette::Base, Qt::white);
  table->setPalette(table_colours);
  超级列表框1 = report_list_view(table);

  auto* status = new status_strip(window, {50, 50, 50, 120, 50});
  place(status, "状态条1", 0, client_size.height() - status_bar_height, client_size.width(),
        status_bar_height);
  状态条1 = status_bar(status);
  状态条1.set_status_text(0, gbk("总数："));
  状态条1.set_status_text(2, gbk("本机IP："));
  状态条1.set_status_text(4, gbk("操作："));

  auto* timer = new QTimer(window);
  timer->setObjectName(QStringLiteral("时钟_端口1"));
  时钟_端口1 = window_timer(timer);

  QGroupBox* ports = group_box(window, "分组框3", "", QRect(328, 0, 436, 152));
  分组框3 = control(ports);
  编辑框_端口1 = control(port_box(ports, "编辑框_端口1", "3000", 17));
  编辑框_端口2 = control(port_box(ports, "编辑框_端口2", "3001", 49));
  编辑框_端口3 = control(port_box(ports, "编辑框_端口3", "3002", 81));
  编辑框_端口4 = control(port_box(ports, "编辑框_端口4", "3003", 113));
  选择框3000 = check_box(tick_box(ports, "选择框3000", "是否监听", QRect(144, 17, 80, 24)));
  选择框3001 = check_box(tick_box(ports, "选择框3001", "是否监听", QRect(144, 49, 80, 24)));
  选择框3002 = check_box(tick_box(ports, "选择框3002", "是否监听", QRect(144, 81, 80, 24)));
  选择框3003 = check_box(tick_box(ports, "选择框3003", "是否监听", QRect(144, 113, 80, 24)));
  QPushButton* listen = push_button(ports, "按钮_监听", "开始监听", QRect(260, 26, 90, 40));
  listen->setFont(pixel_font(14, true));
  按钮_监听 = button(listen);
  QPushButton* stop = push_button(ports, "按钮_停止", "停止", QRect(260, 87, 90, 40));
  stop->setFont(pixel_font(14, true));
  按钮_停止 = button(stop);

  QGroupBox* filter = group_box(window, "分组框4", "筛选", QRect(328, 151, 436, 51));
  分组框4 = control(filter);
  auto* column_choice = place(new QComboBox(filter), "组合框1", 8, 15, 80, 21);
  column_choice->addItems(
      {QStringLiteral("设备IP"), QStringLiteral("设备端口"), QStringLiteral("设备机号")});
  column_choice->setEditable(false);
  column_choice->setFont(pixel_font(14));
  // The opened list fits the 160 px the box may take below its field.
  column_choice->setMaxVisibleItems(6);
  组合框1 = combo_box(column_choice);
  编辑框_查询条件 = control(edit_box(filter, "编辑框_查询条件", "", QRect(90, 14, 166, 30)));
  按钮_查询筛选 = button(push_button(filter, "按钮_查询筛选", "查询", QRect(264, 12, 64, 32)));
  QPushButton* clear = push_button(filter, "超级按钮_清空", "清空列表", QRect(344, 14, 78, 28));
  // The toolkit's own flat look: a plain frame, no bevel.
  clear->setStyleSheet(
      QStringLiteral("QPushButton { border: 1px solid #7a7a7a; background: #f0f0f0; }"
                     "QPushButton:hover { background: #e5f1fb; border-color: #0078d7; }"
                     "QPushButton:pressed { background: #cce4f7; }"));
  超级按钮_清空 = button(clear);

  QGroupBox* send = group_box(window, "分组框2", "发送进制或字节集", QRect(328, 216, 436, 96));
  分组框2 = control(send);
  编辑框_发送消息 =
      control(edit_box(send, "编辑框_发送消息", "FE010048000111F23C", QRect(4, 19, 420, 32)));
  按钮4 = button(push_button(send, "按钮4", "↓", QRect(402, 20, 20, 28)));
  auto* address = place(new ip_address_widget(send), "IP编辑框1", 4, 63, 155, 24);
  address->setFont(pixel_font(12));
  address->set_address(QStringLiteral("192.168.3.72"));
  IP编辑框1 = ip_address_box(address);
  QLineEdit* send_port = edit_box(send, "编辑框_发送端口", "3000", QRect(168, 63, 67, 24));
  send_port->setAlignment(Qt::AlignCenter);
  send_port->setFont(pixel_font(12, true));
  send_port->setEnabled(false);  // for the whole run: only a row click writes it
  编辑框_发送端口 = control(send_port);
  选择框_发送进制 = check_box(tick_box(send, "选择框_发送进制", "16进制", QRect(238, 64, 80, 24)));
  QPushButton* send_button = push_button(send, "按钮2", "发送", QRect(344, 53, 80, 35));
  send_button->setFont(pixel_font(14, true));
  按钮2 = button(send_button);

  QGroupBox* log_group = group_box(window, "分组框1", "输出日志：", QRect(1, 318, 764, 122));
  分组框1 = control(log_group);
  auto* log = place(new QPlainTextEdit(log_group), "编辑框2", 3, 18, 756, 100);
  configure_log_box(log);
  编辑框2 = log_box(log);

  // The preset list: made last and raised, it lies above everything below it.
  auto* presets = place(new selection_list(window), "列表框1", 332, 268, 420, 168);
  presets->addItems({QStringLiteral("FE010048000111F23C"), QStringLiteral("FE01004800023B00"),
                     QStringLiteral("FE01004800023B01"), QStringLiteral("FE01004800023B03"),
                     QStringLiteral("FE010048000132B3E5")});
  presets->hide();
  presets->raise();
  列表框1 = list_box(presets);
}

void main_window::connect_handlers() {
  选择框3000.on_click([this] { on_port_tick(1); });
  选择框3001.on_click([this] { on_port_tick(2); });
  选择框3002.on_click([this] { on_port_tick(3); });
  选择框3003.on_click([this] { on_port_tick(4); });
  按钮_监听.on_click([this] { on_start_listening(); });
  按钮_停止.on_click([this] { on_stop_listening(); });
  时钟_端口1.on_tick([this] { update_device_table(); });
  按钮_查询筛选.on_click([this] { on_query(); });
  超级按钮_清空.on_click([this] { on_clear(); });
  超级列表框1.on_left_click([this] { on_row_click(); });
  按钮4.on_click([this] { on_toggle_presets(); });
  按钮2.on_click([this] { on_send(); });
  列表框1.on_item_selected([this] { on_preset_picked(); });
}

void main_window::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    if (const QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(outer_size.width() / 2, outer_size.height() / 2));
    }
  }
  QWidget::showEvent(event);
}

}  // namespace kestrova::ui
