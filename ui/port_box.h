// The port boxes' typed-character filter: of the printable characters only
// the digits 0 to 9 and "-" are accepted; control keys and shortcuts (the
// clipboard ones included) pass, so pasted text is not filtered.
#pragma once

class QLineEdit;

namespace kestrova::ui {

void install_port_filter(QLineEdit* box);

}  // namespace kestrova::ui
