// Program start: the toolkit, the one byte_tools object, the exit routine,
// then the main window and its event loop until the window is closed.
#include <QApplication>
#include <cstdlib>

#include "ui/main_window.h"
#include "ui/startup.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  kestrova::ui::set_application_look();
  kestrova::ui::create_byte_tools();
  std::atexit(kestrova::ui::exit_routine);

  kestrova::ui::main_window window;
  window.show();
  return app.exec();
}
