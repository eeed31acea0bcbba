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

// The IPv4 addresses of a host name in dotted-decimal form, in the order the
// resolver returns them, at most limit; empty when the name cannot be read or
// resolved.
std::vector<std::string> ipv4_addresses_of(const std::string& host_name, std::size_t limit);

// The same for this host's own name.
std::vector<std::string> local_ipv4_addresses(std::size_t limit);

}  // namespace kestrova::ui
