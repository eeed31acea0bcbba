#include "tests/ui/window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include "ui/startup.h"

namespace kestrova::ui {

QApplication& test_application() {
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestrova_tests";
    static char* argv[] = {name, nullptr};
    auto* created = new QApplication(argc, argv);
    set_application_look();
    return created;
  }();
  return *app;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout.count()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(1);
  }
  return true;
}

void process_events() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

void window_fixture::SetUp() {
  test_application();
  set_message_hook([this](const std::string& text) { messages.push_back(text); });
  window = std::make_unique<main_window>();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  window->activateWindow();
  // Keyboard tests need the focus in this window.
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
}

void window_fixture::TearDown() {
  window.reset();
  set_message_hook({});
}

}  // namespace kestrova::ui
