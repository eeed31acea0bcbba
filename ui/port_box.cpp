#include "ui/port_box.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace kestrova::ui {
namespace {

bool accepted_character(QChar c) { return (c >= u'0' && c <= u'9') || c == u'-'; }

// Control characters (below 0x20, and DEL) are keys, not typed characters.
bool printable(QChar c) { return c.unicode() >= 0x20 && c.unicode() != 0x7f; }

class port_filter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
      const QString text = key->text();
      return !text.isEmpty() && printable(text[0]) && !accepted_character(text[0]);
    }
    if (event->type() == QEvent::InputMethod) {
      // Characters composed by an input method are typed characters too.
      auto* input = static_cast<QInputMethodEvent*>(event);
      QString kept;
      for (QChar c : input->commitString())
        if (accepted_character(c)) kept += c;
      if (kept != input->commitString()) input->setCommitString(kept);
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void install_port_filter(QLineEdit* box) { box->installEventFilter(new port_filter(box)); }

}  // namespace kestrova::ui
