#include "ui/log_box.h"

#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <utility>

#include "ui/controls.h"

namespace kestrova::ui {

void configure_log_box(QPlainTextEdit* box) {
  box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Breaking anywhere, not at word boundaries first: a received 8 KiB
  // datagram makes a line of some 47,000 characters, which Qt lays out about
  // seven times faster this way.
  box->setWordWrapMode(QTextOption::WrapAnywhere);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Appended lines are not the operator's edits, and an undo history of a
  // busy log would grow without bound.
  box->setUndoRedoEnabled(false);
  // Every line ends in a line break, so the text always ends in an empty
  // block, the one the next line goes into: the cap counts that one too.
  box->setMaximumBlockCount(log_line_limit + 1);
}

void append_to_log(QPlainTextEdit* box, const QString& text) {
  // A line break is one block boundary; "\r\n" would otherwise make two.
  QString lines = text;
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QTextCursor end(box->document());
  end.movePosition(QTextCursor::End);
  box->setTextCursor(end);
  end.insertText(lines);
  box->setTextCursor(end);
  box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}

std::shared_ptr<queued_log_sink> queued_log_sink::create(QPlainTextEdit* box,
                                                         log_waiting_limits limits) {
  return std::shared_ptr<queued_log_sink>(new queued_log_sink(box, limits));
}

queued_log_sink::queued_log_sink(QPlainTextEdit* box, log_waiting_limits limits)
    : limits_(limits), box_(box) {}

void queued_log_sink::append_line(std::string line) {
  std::lock_guard lock(mutex_);
  if (!box_) return;
  waiting_bytes_ += line.size();
  waiting_.push_back(std::move(line));
  while (waiting_.size() > limits_.lines ||
         (waiting_bytes_ > limits_.bytes && waiting_.size() > 1)) {
    waiting_bytes_ -= waiting_.front().size();
    waiting_.pop_front();
  }
  if (drain_posted_) return;
  drain_posted_ = true;
  post_drain();
}

// Called under the lock: detach() takes it too, so nothing is posted to a box
// that is going away. The queued call is dropped if the box dies first.
void queued_log_sink::post_drain() {
  QMetaObject::invokeMethod(
      box_,
      [weak = weak_from_this()] {
        if (auto sink = weak.lock()) sink->drain();
      },
      Qt::QueuedConnection);
}

void queued_log_sink::detach() {
  std::lock_guard lock(mutex_);
  box_ = nullptr;
  waiting_.clear();
  waiting_bytes_ = 0;
}

void queued_log_sink::drain() {
  std::string joined;
  QPlainTextEdit* box = nullptr;
  {
    std::lock_guard lock(mutex_);
    box = box_;
    // One batch a turn, so timers and input get their turn during a flood;
    // what is left waits for the next turn, posted behind them.
    std::size_t lines = 0;
    while (!waiting_.empty() && lines < drain_batch_lines &&
           (lines == 0 || joined.size() + waiting_.front().size() <= drain_batch_bytes)) {
      joined += waiting_.front();
      waiting_bytes_ -= waiting_.front().size();
      waiting_.pop_front();
      ++lines;
    }
    drain_posted_ = !waiting_.empty() && box;
    if (drain_posted_) post_drain();
  }
  if (box && !joined.empty()) append_to_log(box, from_gbk(joined));
}

}  // namespace kestrova::ui
