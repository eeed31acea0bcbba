#include "ui/ip_address_box.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStringList>

namespace kestrova::ui {
namespace {

constexpr int field_count = 4;

// The value of one field of a dotted address, -1 unless it is 1 to 3 digits
// of a number from 0 to 255.
int octet_value(const QString& text) {
  if (text.isEmpty() || text.size() > 3) return -1;
  for (QChar c : text)
    if (c < u'0' || c > u'9') return -1;
  const int value = text.toInt();
  return value <= 255 ? value : -1;
}

}  // namespace

ip_address_widget::ip_address_widget(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::NoFocus);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(0);
  // At most three digits; the value range is kept by field_edited, which
  // cuts an entry above 255 to 255 instead of refusing the keystroke.
  auto* digits =
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
  for (int i = 0; i < field_count; ++i) {
    auto* field = new QLineEdit(this);
    field->setFrame(false);
    field->setAlignment(Qt::AlignCenter);
    field->setValidator(digits);
    field->setContextMenuPolicy(Qt::NoContextMenu);
    field->installEventFilter(this);
    field->setObjectName(QStringLiteral("field%1").arg(i + 1));
    connect(field, &QLineEdit::textEdited, this, [this, i] { field_edited(i); });
    fields_[static_cast<std::size_t>(i)] = field;
    layout->addWidget(field, 1);
    if (i < field_count - 1) {
      auto* dot = new QLabel(QStringLiteral("."), this);
      dot->setAlignment(Qt::AlignCenter);
      dot->setFixedWidth(4);
      dots_[static_cast<std::size_t>(i)] = dot;
      layout->addWidget(dot);
    }
  }
  setFocusProxy(fields_[0]);
}

QString ip_address_widget::address() const {
  bool all_blank = true;
  QStringList parts;
  for (const QLineEdit* field : fields_) {
    const QString text = field->text();
    if (!text.isEmpty()) all_blank = false;
    // The field's number, not its digits: "007" reads as 7.
    parts << QString::number(text.isEmpty() ? 0 : std::min(text.toInt(), 255));
  }
  return all_blank ? QString() : parts.join(u'.');
}

void ip_address_widget::set_address(const QString& address) {
  const QStringList parts = address.split(u'.');
  std::array<int, field_count> values{};
  bool valid = parts.size() == field_count;
  for (int i = 0; valid && i < field_count; ++i) {
    values[static_cast<std::size_t>(i)] = octet_value(parts[i]);
    valid = values[static_cast<std::size_t>(i)] >= 0;
  }
  for (int i = 0; i < field_count; ++i)
    fields_[static_cast<std::size_t>(i)]->setText(
        valid ? QString::number(values[static_cast<std::size_t>(i)]) : QString());
}

int ip_address_widget::index_of(QObject* field) const {
  for (int i = 0; i < field_count; ++i)
    if (fields_[static_cast<std::size_t>(i)] == field) return i;
  return -1;
}

void ip_address_widget::focus_field(int index, bool at_end) {
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  field->setFocus(Qt::OtherFocusReason);
  if (at_end) {
    field->deselect();
    field->end(false);
  } else {
    field->selectAll();
  }
}

bool ip_address_widget::paste_into(int index) {
  const QString text = QApplication::clipboard()->text().trimmed();
  if (text.contains(u'.')) {
    // A dotted address goes across the fields; anything else dotted is refused.
    const QStringList parts = text.split(u'.');
    if (parts.size() != field_count) return true;
    for (const QString& part : parts)
      if (octet_value(part) < 0) return true;
    set_address(text);
    focus_field(field_count - 1, true);
    return true;
  }
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  const QString before = field->text();
  field->paste();  // the validator keeps it to digits
  if (field->text() != before) field_edited(index);
  return true;
}

void ip_address_widget::field_edited(int index) {
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  const QString text = field->text();
  if (!text.isEmpty() && text.toInt() > 255) field->setText(QStringLiteral("255"));
  if (text.size() == 3 && field->cursorPosition() == 3 && index < field_count - 1)
    focus_field(index + 1, false);
}

bool ip_address_widget::eventFilter(QObject* watched, QEvent* event) {
  const int index = index_of(watched);
  if (index < 0 || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  const bool at_start = field->cursorPosition() == 0 && !field->hasSelectedText();
  const bool at_end = field->cursorPosition() == field->text().size() && !field->hasSelectedText();

  if (key->matches(QKeySequence::Paste)) return paste_into(index);
  switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
      if (!field->text().isEmpty() && index < field_count - 1) focus_field(index + 1, false);
      return true;
    case Qt::Key_Backspace:
      if (at_start && index > 0) {
        focus_field(index - 1, true);
        fields_[static_cast<std::size_t>(index - 1)]->backspace();
        return true;
      }
      return false;
    case Qt::Key_Left:
      if (at_start && index > 0) {
        focus_field(index - 1, true);
        return true;
      }
      return false;
    case Qt::Key_Right:
      if (at_end && index < field_count - 1) {
        fields_[static_cast<std::size_t>(index + 1)]->setFocus(Qt::OtherFocusReason);
        fields_[static_cast<std::size_t>(index + 1)]->home(false);
        return true;
      }
      return false;
    default:
      break;
  }
  const QString text = key->text();
  if (text.size() == 1 && text[0] >= u'0' && text[0] <= u'9' && at_end &&
      field->text().size() == 3 && index < field_count - 1) {
    // A fourth digit starts the next field.
    focus_field(index + 1, false);
    QLineEdit* next = fields_[static_cast<std::size_t>(index + 1)];
    next->insert(text);
    field_edited(index + 1);
    return true;
  }
  return false;
}

}  // namespace kestrova::ui
