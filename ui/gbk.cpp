// GBK at the boundary between the system's texts and Qt's UTF-16. The one
// place that knows how: Qt's GBK codec, which Debian's Qt provides through
// ICU. A character GBK cannot hold comes out as "?", the codec's substitute.
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include "ui/controls.h"

namespace kestrova::ui {

std::string to_gbk(const QString& text) {
  // Stateless: every call is a whole text, no shift state to carry over.
  QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
  const QByteArray bytes = encoder.encode(text);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString from_gbk(std::string_view text) {
  QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
  return decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

std::string gbk(std::string_view utf8_text) {
  return to_gbk(QString::fromUtf8(utf8_text.data(), static_cast<qsizetype>(utf8_text.size())));
}

std::string utf8(std::string_view gbk_text) { return from_gbk(gbk_text).toStdString(); }

}  // namespace kestrova::ui
