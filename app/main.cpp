// Program start: the toolkit, the one byte_tools object, the exit routine,
// then the main window and its event loop until the window is closed.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "ui/main_window.h"
#include "ui/startup.h"

namespace {

// On X11 and Wayland hosts Qt aborts with a page of advice when there is no
// display; one line that says what to do serves the operator better.
bool display_missing() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
         qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
  return false;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
  if (display_missing()) {
    std::fprintf(stderr, "kestrova: no display; start it under a virtual one: xvfb-run -a %s\n",
                 argv[0]);
    return 1;
  }
  QApplication app(argc, argv);
  kestrova::ui::set_application_look();
  kestrova::ui::create_byte_tools();
  std::atexit(kestrova::ui::exit_routine);

  kestrova::ui::main_window window;
  window.show();
  return app.exec();
}
