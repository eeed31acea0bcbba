// Shared fixture of the window tests: one QApplication for the process
// (offscreen unless a platform is chosen), a fresh main window per test, shown
// and created, and the texts of every message box the test raised instead of
// the boxes themselves.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/main_window.h"

class QApplication;

namespace kestrova::ui {

// Created on first use, lives until the process ends.
QApplication& test_application();

// Runs the window thread's events until done() holds or the timeout passes;
// returns done().
bool wait_until(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Dispatches the events already queued, posted ones included.
void process_events();

class window_fixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<main_window> window;
  // Every text handed to show_message since SetUp, in order.
  std::vector<std::string> messages;
};

}  // namespace kestrova::ui
