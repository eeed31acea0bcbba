// The control layer: the port-box filter, the IP address box, the report list
// view, the events as the handlers see them, and GBK at the boundary.
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>

#include "tests/ui/window_fixture.h"
#include "ui/controls.h"
#include "ui/ip_address_box.h"

namespace kestrova::ui {
namespace {

QLineEdit* line_edit(const control& c) { return qobject_cast<QLineEdit*>(c.widget()); }

void type(QWidget* target, const QString& keys) {
  for (QChar c : keys) QTest::keyClick(target, c.toLatin1());
}

TEST_F(window_fixture, port_box_accepts_only_digits_and_minus_from_the_keyboard) {
  QLineEdit* box = line_edit(window->编辑框_端口1);
  ASSERT_NE(box, nullptr);
  box->setFocus();
  const struct {
    const char* keys;
    const char* text;
  } cases[] = {{"30a0", "300"}, {"-3", "-3"}, {"x. +e9", "9"}, {"3000", "3000"}};
  for (const auto& c : cases) {
    box->clear();
    type(box, QString::fromLatin1(c.keys));
    EXPECT_EQ(box->text().toStdString(), c.text) << c.keys;
  }
  // Shifted letters and input-method text are typed characters too.
  box->clear();
  QTest::keyClick(box, Qt::Key_A, Qt::ShiftModifier);
  QKeyEvent full_width_one(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("１"));
  QApplication::sendEvent(box, &full_width_one);
  QTest::keyClick(box, '2');
  EXPECT_EQ(box->text().toStdString(), "2");

  // Control keys pass: backspace edits, and the clipboard is not filtered.
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(box->text().toStdString(), "");
  QApplication::clipboard()->setText(QStringLiteral("abc"));
  QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(box->text().toStdString(), "abc");
  // No length limit and no normalising when the focus leaves.
  box->setText(QString(40'000, u'9'));
  window->编辑框_查询条件.widget()->setFocus();
  EXPECT_EQ(box->text().size(), 40'000);
}

TEST_F(window_fixture, ip_address_box_reads_its_fields_as_numbers) {
  auto* box = dynamic_cast<ip_address_widget*>(window->IP编辑框1.widget());
  ASSERT_NE(box, nullptr);
  const struct {
    const char* fields[4];
    const char* address;
  } cases[] = {
      {{"192", "168", "3", "72"}, "192.168.3.72"}, {{"", "", "", ""}, ""},
      {{"10", "", "", "5"}, "10.0.0.5"},           {{"", "", "", "0"}, "0.0.0.0"},
      {{"007", "010", "0", "099"}, "7.10.0.99"},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) box->field(i)->setText(QString::fromLatin1(c.fields[i]));
    EXPECT_EQ(window->IP编辑框1.address(), c.address);
  }

  const struct {
    const char* written;
    const char* read;
  } writes[] = {{"10.1.1.25", "10.1.1.25"},
                {"", ""},
                {"255.255.255.255", "255.255.255.255"},
                {"1.2.3", ""},
                {"1.2.3.256", ""},
                {"a.b.c.d", ""}};
  for (const auto& w : writes) {
    window->IP编辑框1.set_address("9.9.9.9");
    window->IP编辑框1.set_address(w.written);
    EXPECT_EQ(window->IP编辑框1.address(), w.read) << w.written;
  }
  window->IP编辑框1.set_address("");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(box->field(i)->text().isEmpty());
}

TEST_F(window_fixture, ip_address_box_typing_moves_across_the_fields) {
  auto* box = dynamic_cast<ip_address_widget*>(window->IP编辑框1.widget());
  ASSERT_NE(box, nullptr);
  const struct {
    const char* keys;
    const char* address;
  } cases[] = {
      {"192.168.3.72", "192.168.3.72"},  // "." moves on
      {"19216837", "192.168.37.0"},      // three digits move on
      {"999.1.2.3", "255.1.2.3"},        // above 255 is cut to 255
      {"1..2", "1.2.0.0"},               // "." in an empty field stays
      {"1a2b.3", "12.3.0.0"},            // letters are dropped
      {"1 2 3 4", "1.2.3.4"},            // a blank moves on like "."
  };
  for (const auto& c : cases) {
    window->IP编辑框1.set_address("");
    box->field(0)->setFocus();
    // Each key goes to whichever field has the focus, as the operator types.
    for (const char* k = c.keys; *k; ++k) QTest::keyClick(QApplication::focusWidget(), *k);
    EXPECT_EQ(window->IP编辑框1.address(), c.address) << c.keys;
  }
}

TEST_F(window_fixture, ip_address_box_takes_a_pasted_dotted_address_whole) {
  auto* box = dynamic_cast<ip_address_widget*>(window->IP编辑框1.widget());
  ASSERT_NE(box, nullptr);
  window->IP编辑框1.set_address("");
  box->field(1)->setFocus();
  QApplication::clipboard()->setText(QStringLiteral(" 10.1.1.25 "));
  QTest::keyClick(box->field(1), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window->IP编辑框1.address(), "10.1.1.25");
  // Not an address: nothing changes.
  QApplication::clipboard()->setText(QStringLiteral("10.1.1"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window->IP编辑框1.address(), "10.1.1.25");
  // Digits paste into the one field.
  window->IP编辑框1.set_address("");
  box->field(0)->setFocus();
  QApplication::clipboard()->setText(QStringLiteral("77"));
  QTest::keyClick(box->field(0), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(window->IP编辑框1.address(), "77.0.0.0");
}

class report_view : public window_fixture {
 protected:
  void add(const char* address, const char* port, const char* number) {
    report_list_view& view = window->超级列表框1;
    const int row = view.append_row();
    view.set_cell_text(row, 0, address);
    view.set_cell_text(row, 1, port);
    view.set_cell_text(row, 2, number);
  }
  QTableWidget* table() { return qobject_cast<QTableWidget*>(window->超级列表框1.widget()); }
  void click_at(QPoint where, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(table()->viewport(), button, {}, where);
  }
  QPoint centre_of_row(int row) {
    return table()->visualRect(table()->model()->index(row, 1)).center();
  }
};

TEST_F(report_view, rows_cells_and_search) {
  report_list_view& view = window->超级列表框1;
  add("10.1.1.25", "3000", "72");
  add("10.1.1.2", "50000", "7");
  add("Host-A", "1", "1");
  EXPECT_EQ(view.row_count(), 3);
  EXPECT_EQ(view.cell_text(1, 1), "50000");
  // Cells that do not exist read as "", writes to them change nothing.
  EXPECT_EQ(view.cell_text(3, 0), "");
  EXPECT_EQ(view.cell_text(-1, 0), "");
  EXPECT_EQ(view.cell_text(0, 3), "");
  view.set_cell_text(7, 0, "x");
  EXPECT_EQ(view.row_count(), 3);

  // Whole text of column 0, letters without regard to case.
  EXPECT_EQ(view.find_row("10.1.1.2"), 1);
  EXPECT_EQ(view.find_row("10.1.1"), -1);
  EXPECT_EQ(view.find_row("host-a"), 2);
  EXPECT_EQ(view.find_row("3000"), -1);
  EXPECT_EQ(view.find_row(""), -1);

  EXPECT_EQ(table()->item(0, 0)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
  EXPECT_EQ(table()->item(0, 1)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_FALSE(table()->item(0, 2)->flags() & Qt::ItemIsEditable);

  view.delete_row(0);
  view.delete_row(9);
  EXPECT_EQ(view.row_count(), 2);
  EXPECT_EQ(view.cell_text(0, 0), "10.1.1.2");
  view.delete_all_rows();
  EXPECT_EQ(view.row_count(), 0);
  EXPECT_EQ(view.append_row(), 0);
}

TEST_F(report_view, only_a_left_click_raises_the_event_after_selecting) {
  add("10.1.1.25", "3000", "72");
  add("10.1.1.2", "50000", "7");
  std::vector<int> rows_seen;
  window->超级列表框1.on_left_click(
      [&] { rows_seen.push_back(window->超级列表框1.current_row()); });

  click_at(centre_of_row(1));
  click_at(centre_of_row(0));
  // Below the rows: no row selected, and the event still comes.
  click_at(QPoint(20, table()->viewport()->height() - 5));
  EXPECT_EQ(rows_seen, (std::vector<int>{1, 0, -1}));
  EXPECT_EQ(window->超级列表框1.current_row(), -1);

  // The keyboard and the right button select without the event.
  click_at(centre_of_row(0));
  rows_seen.clear();
  QTest::keyClick(table(), Qt::Key_Down);
  EXPECT_EQ(window->超级列表框1.current_row(), 1);
  click_at(centre_of_row(0), Qt::RightButton);
  EXPECT_TRUE(rows_seen.empty());
}

TEST_F(window_fixture, preset_list_reports_a_click_or_a_keyboard_choice_once) {
  auto* list = qobject_cast<QListWidget*>(window->列表框1.widget());
  ASSERT_NE(list, nullptr);
  std::vector<int> picks;
  window->列表框1.on_item_selected([&] { picks.push_back(window->列表框1.current_selection()); });
  list->show();
  list->setFocus();
  EXPECT_TRUE(picks.empty());  // gaining the focus chooses nothing
  const QPoint third = list->visualItemRect(list->item(2)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third);  // the same item again
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(picks, (std::vector<int>{2, 2, 3}));
  EXPECT_EQ(window->列表框1.item_text(3), "FE01004800023B03");
  EXPECT_EQ(window->列表框1.item_text(5), "");
}

TEST_F(window_fixture, check_box_handler_sees_the_new_tick) {
  std::vector<bool> seen;
  window->选择框_发送进制.on_click([&] { seen.push_back(window->选择框_发送进制.ticked()); });
  QWidget* box = window->选择框_发送进制.widget();
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  // Setting the tick from code is no click.
  window->选择框_发送进制.set_ticked(true);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_TRUE(window->选择框_发送进制.ticked());
}

TEST_F(window_fixture, timer_period_zero_means_stopped) {
  window_timer& timer = window->时钟_端口1;
  int ticks = 0;
  timer.on_tick([&] { ++ticks; });
  timer.set_period(20);
  EXPECT_EQ(timer.period(), 20);
  EXPECT_TRUE(wait_until([&] { return ticks >= 2; }));
  timer.set_period(0);
  EXPECT_EQ(timer.period(), 0);
  const int stopped_at = ticks;
  QTest::qWait(60);
  EXPECT_EQ(ticks, stopped_at);
}

TEST_F(window_fixture, texts_visibility_and_enabled_state_through_the_layer) {
  window->编辑框_发送消息.set_text("{1,2,3}");
  EXPECT_EQ(window->编辑框_发送消息.text(), "{1,2,3}");
  window->编辑框_发送端口.set_text("");
  EXPECT_EQ(window->编辑框_发送端口.text(), "");
  window->按钮_停止.set_enabled(true);
  EXPECT_TRUE(window->按钮_停止.enabled());
  window->列表框1.set_visible(true);
  EXPECT_TRUE(window->列表框1.visible());
  window->列表框1.set_visible(false);
  EXPECT_FALSE(window->列表框1.visible());
  // A control's own state, whatever its group's; visibility follows the group.
  window->分组框2.set_enabled(false);
  EXPECT_FALSE(window->分组框2.enabled());
  EXPECT_TRUE(window->按钮2.enabled());
  EXPECT_FALSE(window->按钮2.widget()->isEnabled());
  window->分组框2.set_visible(false);
  EXPECT_FALSE(window->按钮2.visible());
}

// Every fixed text of the window survives the trip to GBK and back, as do
// full-width digits; a character GBK cannot hold becomes "?".
TEST(gbk_boundary, window_texts_round_trip) {
  const char* texts[] = {"信息：",
                         "总数：",
                         "本机IP：",
                         "操作：",
                         "是否监听",
                         "开始监听",
                         "停止",
                         "筛选",
                         "设备IP",
                         "设备端口",
                         "设备机号",
                         "查询",
                         "清空列表",
                         "发送进制或字节集",
                         "↓",
                         "16进制",
                         "发送",
                         "输出日志：",
                         "端口号",
                         "机号",
                         "端口1启动  |  端口2被占用",
                         "的机号已变更",
                         "查询到：",
                         "条记录",
                         "未选中需要监视的端口",
                         "端口号设置不正确",
                         "端口已关闭",
                         "发送出错了",
                         "３０００",
                         "１２３４５６７８９０",
                         ""};
  for (const char* text : texts) {
    const std::string bytes = gbk(text);
    EXPECT_EQ(utf8(bytes), text);
    EXPECT_EQ(to_gbk(from_gbk(bytes)), bytes);
  }
  EXPECT_EQ(gbk("收到:"), "\xCA\xD5\xB5\xBD:");
  EXPECT_EQ(gbk("３"), "\xA3\xB3");
  EXPECT_EQ(gbk("ok"), "ok");
  // Outside GBK: emoji and Thai.
  EXPECT_EQ(gbk("a😀b"), "a?b");
  EXPECT_EQ(gbk("กx"), "?x");
}

}  // namespace
}  // namespace kestrova::ui
