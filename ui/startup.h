// Program start and exit around the main window: the application font, the
// one byte_tools object and the exit routine.
#pragma once

#include "codecs/renderings.h"

namespace kestrova::ui {

// The application font: WenQuanYi Micro Hei at the default pixel size, so the
// window looks the same on every host. Call after the QApplication exists.
void set_application_font();

// Creates the process's one byte_tools object.
void create_byte_tools();

// The exit routine: destroys byte_tools and releases the last-datagram
// record. Runs once; safe while engine workers still deliver datagrams.
void exit_routine();

}  // namespace kestrova::ui
