// Program start and exit around the main window: the application's look, the
// one byte_tools object, the exit routine and the local address list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "codecs/renderings.h"

namespace kestrova::ui {

// The same look on every host: the Fusion style and WenQuanYi Micro Hei at
// 12 px as the default font. Call once the QApplication exists.
void set_application_look();

// Creates the process's one byte_tools object (program start).
void create_byte_tools();
// The object while it exists, null before and after.
const byte_tools* the_byte_tools();

// The exit routine: destroys byte_tools and releases the last-datagram
// record. Safe while engine workers still deliver datagrams.
void exit_routine();

// The host's IPv4 addresses in dotted-decimal form, in the order its name
// resolves to them, at most limit; empty when the name cannot be resolved.
std::vector<std::string> local_ipv4_addresses(std::size_t limit);

}  // namespace kestrova::ui
