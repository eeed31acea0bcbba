// The traffic log box and the sink that carries log lines from the engine's
// worker threads to it.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "ui/traffic_log.h"

class QPlainTextEdit;
class QString;

namespace kestrova::ui {

// The log keeps its most recent lines up to this many and drops the oldest
// beyond, so a flood of datagrams cannot grow it until memory runs out.
inline constexpr int log_line_limit = 100'000;

// Sets up a plain-text box as the traffic log: wrapping, vertical scroll bar,
// editable by the operator, no undo history, capped at log_line_limit lines.
void configure_log_box(QPlainTextEdit* box);

// Puts text at the end of the box whatever the operator's caret, as one
// insertion, and scrolls it into view. "\r\n" ends a line.
void append_to_log(QPlainTextEdit* box, const QString& text);

// Log sink of the window: append_line queues the line under a lock from any
// thread; the window thread drains the waiting lines into the box in
// batches, one insertion per turn of its event loop. Lines arrive whole and
// in the order they were queued.
// How much may wait for the window. Beyond either limit the oldest waiting
// lines are dropped: lines the box would drop on insertion anyway, and a
// backlog (a flood of large datagrams) the window cannot catch up with.
struct log_waiting_limits {
  std::size_t lines = log_line_limit;
  std::size_t bytes = 64 * 1024 * 1024;
};

class queued_log_sink : public log_sink, public std::enable_shared_from_this<queued_log_sink> {
 public:
  // Made on the window thread, which owns box.
  static std::shared_ptr<queued_log_sink> create(QPlainTextEdit* box,
                                                 log_waiting_limits limits = {});

  void append_line(std::string line) override;

  // Stops delivery before the box goes away; lines queued later are dropped.
  void detach();

  // Inserts the next batch of waiting lines (window thread); the rest follow
  // on later turns of the event loop.
  void drain();

  // A batch: whole lines within these limits (at least one line), so one
  // insertion keeps the window responsive even for 8 KiB datagrams.
  static constexpr std::size_t drain_batch_lines = 1'500;
  static constexpr std::size_t drain_batch_bytes = 64 * 1024;

 private:
  queued_log_sink(QPlainTextEdit* box, log_waiting_limits limits);
  void post_drain();

  const log_waiting_limits limits_;
  std::mutex mutex_;
  std::deque<std::string> waiting_;
  std::size_t waiting_bytes_ = 0;
  bool drain_posted_ = false;
  QPlainTextEdit* box_;  // null once detached; guarded by mutex_
};

}  // namespace kestrova::ui
