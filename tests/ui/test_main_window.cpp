// The main window as it opens: every control with its place and initial
// state, the status bar, the window's frame, the message box, and a
// screenshot for the eye.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <limits>
#include <regex>

#include "tests/ui/window_fixture.h"
#include "ui/ip_address_box.h"
#include "ui/main_window.h"
#include "ui/startup.h"
#include "ui/widgets.h"

namespace kestrova::ui {
namespace {

std::string kind_of(const QWidget* widget) {
  if (dynamic_cast<const report_table*>(widget)) return "report list view";
  if (dynamic_cast<const status_strip*>(widget)) return "status bar";
  if (dynamic_cast<const selection_list*>(widget)) return "list box";
  if (dynamic_cast<const ip_address_widget*>(widget)) return "IP address box";
  if (qobject_cast<const QGroupBox*>(widget)) return "group box";
  if (qobject_cast<const QLineEdit*>(widget)) return "edit box";
  if (qobject_cast<const QPlainTextEdit*>(widget)) return "multi-line edit box";
  if (qobject_cast<const QCheckBox*>(widget)) return "check box";
  if (qobject_cast<const QPushButton*>(widget)) return "button";
  if (qobject_cast<const QComboBox*>(widget)) return "drop-down list";
  return "other";
}

struct control_row {
  const char* name;
  const char* kind;
  const char* parent;  // "" for the window
  QRect geometry;
  const char* text;  // as the control layer reads it
  bool enabled;
  bool visible;
  int font_pixels;  // 0: the default font
  bool bold;
};

const control_row initial_controls[] = {
    {"超级列表框1", "report list view", "", {3, 5, 314, 307}, "", true, true, 0, false},
    {"列表框1", "list box", "", {332, 268, 420, 168}, "", true, false, 0, false},
    {"分组框3", "group box", "", {328, 0, 436, 152}, "", true, true, 0, false},
    {"编辑框_端口1", "edit box", "分组框3", {8, 17, 128, 24}, "3000", true, true, 16, true},
    {"编辑框_端口2", "edit box", "分组框3", {8, 49, 128, 24}, "3001", true, true, 16, true},
    {"编辑框_端口3", "edit box", "分组框3", {8, 81, 128, 24}, "3002", true, true, 16, true},
    {"编辑框_端口4", "edit box", "分组框3", {8, 113, 128, 24}, "3003", true, true, 16, true},
    {"选择框3000", "check box", "分组框3", {144, 17, 80, 24}, "是否监听", true, true, 0, false},
    {"选择框3001", "check box", "分组框3", {144, 49, 80, 24}, "是否监听", true, true, 0, false},
    {"选择框3002", "check box", "分组框3", {144, 81, 80, 24}, "是否监听", true, true, 0, false},
    {"选择框3003", "check box", "分组框3", {144, 113, 80, 24}, "是否监听", true, true, 0, false},
    {"按钮_监听", "button", "分组框3", {260, 26, 90, 40}, "开始监听", true, true, 14, true},
    {"按钮_停止", "button", "分组框3", {260, 87, 90, 40}, "停止", false, true, 14, true},
    {"分组框4", "group box", "", {328, 151, 436, 51}, "筛选", true, true, 0, false},
    {"组合框1", "drop-down list", "分组框4", {8, 15, 80, 21}, "设备IP", true, true, 14, false},
    {"编辑框_查询条件", "edit box", "分组框4", {90, 14, 166, 30}, "", true, true, 0, false},
    {"按钮_查询筛选", "button", "分组框4", {264, 12, 64, 32}, "查询", true, true, 0, false},
    {"超级按钮_清空", "button", "分组框4", {344, 14, 78, 28}, "清空列表", true, true, 0, false},
    {"分组框2", "group box", "", {328, 216, 436, 96}, "发送进制或字节集", true, true, 0, false},
    {"编辑框_发送消息",
     "edit box",
     "分组框2",
     {4, 19, 420, 32},
     "FE010048000111F23C",
     true,
     true,
     0,
     false},
    {"按钮4", "button", "分组框2", {402, 20, 20, 28}, "↓", true, true, 0, false},
    {"IP编辑框1",
     "IP address box",
     "分组框2",
     {4, 63, 155, 24},
     "192.168.3.72",
     true,
     true,
     12,
     false},
    {"编辑框_发送端口", "edit box", "分组框2", {168, 63, 67, 24}, "3000", false, true, 12, true},
    {"选择框_发送进制", "check box", "分组框2", {238, 64, 80, 24}, "16进制", true, true, 0, false},
    {"按钮2", "button", "分组框2", {344, 53, 80, 35}, "发送", true, true, 14, true},
    {"分组框1", "group box", "", {1, 318, 764, 122}, "输出日志：", true, true, 0, false},
    {"编辑框2", "multi-line edit box", "分组框1", {3, 18, 756, 100}, "", true, true, 0, false},
};

TEST_F(window_fixture, every_control_opens_in_its_initial_state) {
  const int default_pixels = QApplication::font().pixelSize();
  for (const control_row& row : initial_controls) {
    SCOPED_TRACE(row.name);
    auto* widget = window->findChild<QWidget*>(QString::fromUtf8(row.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(kind_of(widget), row.kind);
    const QWidget* parent = widget->parentWidget();
    EXPECT_EQ(parent == window.get() ? std::string() : parent->objectName().toStdString(),
              row.parent);
    EXPECT_EQ(widget->geometry(), row.geometry);
    EXPECT_EQ(utf8(control(widget).text()), row.text);
    EXPECT_EQ(control(widget).enabled(), row.enabled);
    EXPECT_EQ(control(widget).visible(), row.visible);
    EXPECT_EQ(widget->font().pixelSize(), row.font_pixels ? row.font_pixels : default_pixels);
    EXPECT_EQ(widget->font().bold(), row.bold);
  }
}

TEST_F(window_fixture, lists_hold_their_items_and_states) {
  auto* table = window->findChild<QTableWidget*>(QStringLiteral("超级列表框1"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(window->超级列表框1.row_count(), 0);
  EXPECT_EQ(window->超级列表框1.current_row(), -1);
  const struct {
    const char* title;
    int width;
    Qt::Alignment alignment;
  } columns[] = {{"设备IP", 150, Qt::AlignLeft},
                 {"端口号", 90, Qt::AlignHCenter},
                 {"机号", 70, Qt::AlignHCenter}};
  ASSERT_EQ(table->columnCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(table->horizontalHeaderItem(i)->text().toStdString(), columns[i].title);
    EXPECT_EQ(table->columnWidth(i), columns[i].width);
    EXPECT_EQ(
        Qt::Alignment(table->horizontalHeaderItem(i)->textAlignment()) & Qt::AlignHorizontal_Mask,
        columns[i].alignment);
  }
  EXPECT_FALSE(table->horizontalHeader()->isHidden());
  EXPECT_TRUE(table->showGrid());
  EXPECT_FALSE(table->isSortingEnabled());
  EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(table->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);

  std::vector<std::string> presets;
  for (int i = 0; i < window->列表框1.item_count(); ++i)
    presets.push_back(window->列表框1.item_text(i));
  EXPECT_EQ(presets,
            (std::vector<std::string>{"FE010048000111F23C", "FE01004800023B00", "FE01004800023B01",
                                      "FE01004800023B03", "FE010048000132B3E5"}));
  EXPECT_EQ(window->列表框1.current_selection(), -1);
  // Topmost: the last child of the window, above the send area and the log.
  EXPECT_EQ(window->children().back(), window->列表框1.widget());

  auto* combo = qobject_cast<QComboBox*>(window->组合框1.widget());
  ASSERT_NE(combo, nullptr);
  EXPECT_FALSE(combo->isEditable());
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(1).toStdString(), "设备端口");
  EXPECT_EQ(combo->itemText(2).toStdString(), "设备机号");
  EXPECT_EQ(window->组合框1.current_selection(), 0);

  EXPECT_EQ(window->时钟_端口1.period(), 0);
  EXPECT_EQ(window->preset_list_hidden, 1);
  EXPECT_EQ(window->port_handles, (std::array<endpoint_handle, 4>{0, 0, 0, 0}));
  for (check_box* box : {&window->选择框3000, &window->选择框3001, &window->选择框3002,
                         &window->选择框3003, &window->选择框_发送进制})
    EXPECT_FALSE(box->ticked());
}

TEST_F(window_fixture, port_boxes_are_centred_red_on_white_without_length_limit) {
  for (const char* name : {"编辑框_端口1", "编辑框_端口2", "编辑框_端口3", "编辑框_端口4"}) {
    SCOPED_TRACE(name);
    auto* box = window->findChild<QLineEdit*>(QString::fromUtf8(name));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(box->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(box->palette().color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_EQ(box->maxLength(), std::numeric_limits<int>::max());
  }
}

// A pasted payload or query is kept whole: nothing is cut at Qt's default
// length of 32,767 characters.
TEST_F(window_fixture, text_boxes_keep_long_texts_whole) {
  const std::string long_text(100'000, 'F');
  for (control* box : {&window->编辑框_发送消息, &window->编辑框_查询条件}) {
    box->set_text(long_text);
    EXPECT_EQ(box->text().size(), long_text.size());
  }
}

TEST_F(window_fixture, application_font_is_the_installed_chinese_face) {
  const QFontInfo used(QApplication::font());
  EXPECT_EQ(used.family().toStdString(), "WenQuanYi Micro Hei");
  EXPECT_EQ(used.pixelSize(), 12);
  EXPECT_EQ(QFontInfo(window->按钮_监听.widget()->font()).family().toStdString(),
            "WenQuanYi Micro Hei");
}

// Every character of every label is in the font the control draws it with,
// so none renders as an empty box.
TEST_F(window_fixture, every_label_character_is_in_its_font) {
  std::vector<std::pair<QWidget*, QString>> labels;
  for (const control_row& row : initial_controls)
    labels.emplace_back(window->findChild<QWidget*>(QString::fromUtf8(row.name)),
                        QString::fromUtf8(row.text));
  for (const char* header : {"设备IP", "端口号", "机号"})
    labels.emplace_back(window->超级列表框1.widget(), QString::fromUtf8(header));
  for (int part : {0, 2, 4})
    labels.emplace_back(window->状态条1.widget(), from_gbk(window->状态条1.status_text(part)));
  labels.emplace_back(window.get(), QStringLiteral("信息：收到发送的机号已变更查询到条记录"));
  for (const auto& [widget, text] : labels) {
    ASSERT_NE(widget, nullptr);
    const QFontMetrics metrics(widget->font());
    for (const char32_t c : text.toUcs4())
      EXPECT_TRUE(metrics.inFontUcs4(c)) << text.toStdString() << " U+" << std::hex << +c;
  }
}

TEST_F(window_fixture, window_is_fixed_size_without_maximize_and_centred) {
  EXPECT_EQ(window->windowTitle().toStdString(), "Kestrova");
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  // The outer frame of 774 x 487 is centred on the screen.
  const QPoint centre = window->screen()->availableGeometry().center();
  EXPECT_LE(std::abs(window->pos().x() + 774 / 2 - centre.x()), 1);
  EXPECT_LE(std::abs(window->pos().y() + 487 / 2 - centre.y()), 1);
}

TEST_F(window_fixture, status_bar_has_six_parts_and_ignores_other_part_numbers) {
  auto* strip = dynamic_cast<status_strip*>(window->状态条1.widget());
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->geometry().bottom(), window->height() - 1);
  EXPECT_EQ(strip->width(), window->width());
  // Right edges of parts 0 to 4, and part 5 to the end.
  const int right_edges[] = {50, 100, 150, 270, 320};
  for (int part = 0; part < 5; ++part)
    EXPECT_EQ(strip->part(part)->geometry().right() + 1, right_edges[part]) << part;
  EXPECT_EQ(strip->part(5)->geometry().right() + 1, strip->width());

  const char* opening[] = {"总数：", "0", "本机IP：", nullptr, "操作：", ""};
  for (int part = 0; part < 6; ++part)
    if (opening[part]) {
      EXPECT_EQ(utf8(window->状态条1.status_text(part)), opening[part]) << part;
    }

  std::vector<std::string> before;
  for (int part = 0; part < 6; ++part) before.push_back(window->状态条1.status_text(part));
  for (int part : {-1, 6, 100, -100}) window->状态条1.set_status_text(part, "x");
  for (int part = 0; part < 6; ++part) EXPECT_EQ(window->状态条1.status_text(part), before[part]);
  EXPECT_EQ(window->状态条1.status_text(6), "");

  window->状态条1.set_status_text(5, gbk("端口1启动"));
  EXPECT_EQ(utf8(window->状态条1.status_text(5)), "端口1启动");
}

TEST_F(window_fixture, status_part_3_shows_the_first_local_address) {
  const std::vector<std::string> addresses = local_ipv4_addresses(10);
  const std::string shown = window->状态条1.status_text(3);
  EXPECT_EQ(shown, addresses.empty() ? std::string() : addresses.front());
  if (!addresses.empty()) {
    EXPECT_TRUE(std::regex_match(shown, std::regex(R"(\d{1,3}(\.\d{1,3}){3})"))) << shown;
  }
  EXPECT_LE(local_ipv4_addresses(1).size(), 1u);
}

TEST(local_addresses, ipv4_only_at_most_the_limit_and_empty_when_unresolved) {
  const std::vector<std::string> loopback = ipv4_addresses_of("localhost", 10);
  ASSERT_FALSE(loopback.empty());
  EXPECT_EQ(loopback.front(), "127.0.0.1");
  for (const std::string& address : loopback) EXPECT_EQ(address.find(':'), std::string::npos);
  EXPECT_EQ(ipv4_addresses_of("localhost", 0).size(), 0u);
  EXPECT_EQ(ipv4_addresses_of("127.0.0.5", 10), std::vector<std::string>{"127.0.0.5"});
  EXPECT_TRUE(ipv4_addresses_of("", 10).empty());
}

// The real box, without the test hook: caption, one OK button, no icon, no
// owner, modal; show_message returns once OK is pressed.
TEST_F(window_fixture, message_box_has_its_caption_and_one_ok_button) {
  set_message_hook({});
  struct seen_box {
    std::string title, text;
    int buttons;
    QMessageBox::Icon icon;
    bool owned;
    Qt::WindowModality modality;
  } seen{};
  bool found = false;
  QTimer probe;
  probe.setInterval(10);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || found) return;
    found = true;
    seen = {box->windowTitle().toStdString(),        box->text().toStdString(),
            static_cast<int>(box->buttons().size()), box->icon(),
            box->parentWidget() != nullptr,          box->windowModality()};
    box->button(QMessageBox::Ok)->click();
  });
  probe.start();
  show_message(gbk("端口已关闭"));
  probe.stop();
  ASSERT_TRUE(found);
  EXPECT_EQ(seen.title, "信息：");
  EXPECT_EQ(seen.text, "端口已关闭");
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
  EXPECT_FALSE(seen.owned);
  EXPECT_EQ(seen.modality, Qt::ApplicationModal);
}

TEST_F(window_fixture, message_hook_records_the_texts_instead_of_showing_boxes) {
  show_message(gbk("发送出错了"));
  show_message("");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(utf8(messages[0]), "发送出错了");
  EXPECT_EQ(messages[1], "");
}

// The picture shows whether every Chinese label renders (no empty boxes).
TEST_F(window_fixture, screenshot_of_the_window) {
  window->状态条1.set_status_text(5, gbk("端口1启动  |  端口2停止  |  端口3停止  |  端口4停止"));
  window->超级列表框1.append_row();
  window->超级列表框1.set_cell_text(0, 0, "10.1.1.25");
  window->超级列表框1.set_cell_text(0, 1, "3000");
  window->超级列表框1.set_cell_text(0, 2, "72");
  window->编辑框2.append(gbk("收到:10.1.1.25:3000 -> [FE0100482A] -> [{254,1,0,72,42}]\r\n"));
  process_events();
  const QPixmap picture = window->grab();
  EXPECT_EQ(picture.size(), window->size() * picture.devicePixelRatio());
  EXPECT_TRUE(picture.save(QStringLiteral(KESTROVA_SCREENSHOT_DIR "/kestrova-window.png")));
  window->列表框1.set_visible(true);
  EXPECT_TRUE(
      window->grab().save(QStringLiteral(KESTROVA_SCREENSHOT_DIR "/kestrova-window-presets.png")));
}

}  // namespace
}  // namespace kestrova::ui
