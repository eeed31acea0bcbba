// The IP address box: four numeric fields of 0 to 255 in one frame. Typing
// moves to the next field after three digits or on "." (or a blank), a value
// above 255 is cut to 255, backspace and the arrow keys cross the fields, and
// pasting a dotted address fills all four.
#pragma once

#include <QFrame>
#include <array>

class QLabel;
class QLineEdit;

namespace kestrova::ui {

class ip_address_widget : public QFrame {
 public:
  explicit ip_address_widget(QWidget* parent);

  // The four fields in decimal joined by "." (a blank field reads as 0), ""
  // when all four are blank.
  QString address() const;
  // Shows a dotted address of four fields 0 to 255; any other text, the empty
  // one included, clears every field.
  void set_address(const QString& address);

  QLineEdit* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int index_of(QObject* field) const;
  void focus_field(int index, bool at_end);
  bool paste_into(int index);
  void field_edited(int index);

  std::array<QLineEdit*, 4> fields_{};
  std::array<QLabel*, 3> dots_{};
};

}  // namespace kestrova::ui
