// The traffic log box: appends at the end whatever the caret, lines carried
// from many worker threads whole and in order, and the cap on its length.
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <atomic>
#include <thread>

#include "tests/ui/window_fixture.h"
#include "ui/log_box.h"
#include "ui/traffic_log.h"

namespace kestrova::ui {
namespace {

class log_fixture : public window_fixture {
 protected:
  QPlainTextEdit* box() { return qobject_cast<QPlainTextEdit*>(window->编辑框2.widget()); }
  // The box's lines without the empty one the next line goes into.
  QStringList lines() {
    QStringList all = box()->toPlainText().split(u'\n');
    if (!all.isEmpty() && all.back().isEmpty()) all.pop_back();
    return all;
  }
};

TEST_F(log_fixture, append_goes_to_the_end_whatever_the_caret) {
  log_box& log = window->编辑框2;
  log.append("first\r\n");
  // The operator types a line, then puts the caret at the start and selects.
  QTest::keyClicks(box(), QStringLiteral("typed"));
  QTest::keyClick(box(), Qt::Key_Return);
  QTextCursor caret = box()->textCursor();
  caret.setPosition(0);
  caret.setPosition(3, QTextCursor::KeepAnchor);
  box()->setTextCursor(caret);
  log.append(gbk("收到:10.1.1.25:3000 -> [] -> [{}]\r\n"));
  EXPECT_EQ(utf8(log.text()), "first\r\ntyped\r\n收到:10.1.1.25:3000 -> [] -> [{}]\r\n");
  EXPECT_EQ(lines().size(), 3);
  // The caret is at the end, the new line in view, nothing to undo.
  EXPECT_EQ(box()->textCursor().position(), box()->document()->characterCount() - 1);
  EXPECT_FALSE(box()->textCursor().hasSelection());
  EXPECT_FALSE(box()->document()->isUndoAvailable());

  log.set_text("");
  EXPECT_EQ(log.text(), "");
  log.append("after clearing\r\n");
  EXPECT_EQ(lines(), QStringList{QStringLiteral("after clearing")});
}

TEST_F(log_fixture, long_lines_wrap_and_scroll_into_view) {
  EXPECT_EQ(box()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(box()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(box()->isReadOnly());
  for (int i = 0; i < 50; ++i) window->编辑框2.append(std::string(300, 'A') + "\r\n");
  process_events();
  QScrollBar* bar = box()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(log_fixture, datagram_lines_reach_the_box_through_the_window_sink) {
  const std::uint8_t payload[] = {0xFE, 0x01, 0x00, 0x48, 0x2A};
  on_datagram(2, payload, sizeof payload, "192.168.3.72", 3000, 10);
  on_datagram(1, payload, 0, "192.168.3.72", 3001, 10);
  // Worker lines are queued: nothing lands before the window thread's turn.
  EXPECT_TRUE(wait_until([&] { return lines().size() == 2; }));
  EXPECT_EQ(lines()[0].toStdString(),
            "收到:192.168.3.72:3000 -> [FE0100482A] -> [{254,1,0,72,42}]");
  EXPECT_EQ(lines()[1].toStdString(), "发送:192.168.3.72:3001 -> []");
}

// 8 threads x 10,000 lines at once: every line present, whole, and each
// thread's lines in the order it queued them.
TEST_F(log_fixture, lines_from_many_threads_arrive_whole_and_in_order) {
  constexpr int thread_count = 8;
  constexpr int lines_each = 10'000;
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < thread_count; ++t) {
    workers.emplace_back([t, &finished] {
      const std::string padding(40, static_cast<char>('a' + t));
      for (int i = 0; i < lines_each; ++i)
        on_datagram(1, nullptr, 0, (std::to_string(t) + "." + std::to_string(i) + padding).c_str(),
                    t, 10);
      ++finished;
    });
  }
  const bool all_in = wait_until(
      [&] { return finished == thread_count && lines().size() >= thread_count * lines_each; },
      std::chrono::seconds(30));
  for (std::thread& w : workers) w.join();
  process_events();
  ASSERT_TRUE(all_in) << lines().size();

  const QStringList got = lines();
  ASSERT_EQ(got.size(), thread_count * lines_each);
  std::array<int, thread_count> next{};
  for (const QString& line : got) {
    // "发送:<t>.<i><padding>:<t> -> []" and nothing else on the line.
    const std::string text = line.toStdString();
    const auto dot = text.find('.');
    ASSERT_NE(dot, std::string::npos) << text;
    const int t = std::stoi(text.substr(std::string("发送:").size()));
    ASSERT_TRUE(t >= 0 && t < thread_count) << text;
    const std::string expected =
        "发送:" + std::to_string(t) + "." + std::to_string(next[static_cast<std::size_t>(t)]) +
        std::string(40, static_cast<char>('a' + t)) + ":" + std::to_string(t) + " -> []";
    ASSERT_EQ(text, expected);
    ++next[static_cast<std::size_t>(t)];
  }
  for (int count : next) EXPECT_EQ(count, lines_each);
}

// A flood cannot grow the log without bound: the most recent lines stay,
// the oldest go; clearing still empties it.
TEST_F(log_fixture, log_keeps_its_most_recent_lines) {
  log_box& log = window->编辑框2;
  std::string batch;
  constexpr int total = log_line_limit + 2'500;
  for (int i = 0; i < total; ++i) {
    batch += "line " + std::to_string(i) + "\r\n";
    if (batch.size() > 200'000 || i == total - 1) {
      log.append(batch);
      batch.clear();
    }
  }
  QStringList got = lines();
  ASSERT_EQ(got.size(), log_line_limit);
  EXPECT_EQ(got.front().toStdString(), "line 2500");
  EXPECT_EQ(got.back().toStdString(), "line " + std::to_string(total - 1));
  log.set_text("");
  EXPECT_TRUE(lines().isEmpty());
  // Clearing keeps the cap and the empty undo history.
  std::string many;
  for (int i = 0; i < log_line_limit + 10; ++i) many += "x\r\n";
  log.append(many);
  EXPECT_EQ(lines().size(), log_line_limit);
  EXPECT_FALSE(box()->document()->isUndoAvailable());
}

// The queue before the box keeps no more than the box would: a burst larger
// than the cap leaves exactly the newest lines, in order.
TEST_F(log_fixture, queued_burst_beyond_the_cap_keeps_the_newest_lines) {
  auto sink = queued_log_sink::create(box());
  constexpr int total = log_line_limit + 1'000;
  for (int i = 0; i < total; ++i) sink->append_line(std::to_string(i) + "\r\n");
  // Drained in batches over several turns of the event loop.
  EXPECT_TRUE(wait_until([&] { return box()->document()->blockCount() > log_line_limit; }));
  process_events();
  const QStringList got = lines();
  ASSERT_EQ(got.size(), log_line_limit);
  EXPECT_EQ(got.front().toStdString(), "1000");
  EXPECT_EQ(got.back().toStdString(), std::to_string(total - 1));
  // Detached: later lines go nowhere.
  sink->detach();
  sink->append_line("late\r\n");
  sink->drain();
  EXPECT_EQ(lines().size(), log_line_limit);
}

// A backlog larger than the window can take keeps only its newest lines
// within the byte limit; a single line larger than the limit still comes.
TEST_F(log_fixture, waiting_text_is_bounded_in_bytes) {
  auto sink = queued_log_sink::create(box(), {.lines = log_line_limit, .bytes = 1'000});
  for (int i = 0; i < 40; ++i)
    sink->append_line(std::to_string(100 + i) + std::string(95, '.') + "\r\n");
  sink->append_line(std::string(5'000, 'L') + "\r\n");
  ASSERT_TRUE(wait_until([&] { return !lines().isEmpty(); }));
  process_events();
  ASSERT_EQ(lines().size(), 1);
  EXPECT_EQ(lines()[0].size(), 5'000);

  window->编辑框2.set_text("");
  for (int i = 0; i < 40; ++i)
    sink->append_line(std::to_string(100 + i) + std::string(95, '.') + "\r\n");
  ASSERT_TRUE(wait_until([&] { return !lines().isEmpty(); }));
  process_events();
  const QStringList got = lines();
  ASSERT_EQ(got.size(), 10);  // 10 lines of 100 bytes
  EXPECT_TRUE(got.front().startsWith(QStringLiteral("130")));
  EXPECT_TRUE(got.back().startsWith(QStringLiteral("139")));
  sink->detach();
}

}  // namespace
}  // namespace kestrova::ui
