// GBK at the boundary between the system's texts and Qt's UTF-16. The one
// place that knows how. On Linux, Qt's GBK codec, which Debian's Qt provides
// through ICU; on Windows, whose Qt is often built without ICU, the system's
// code page 936 conversion. Either way a character GBK cannot hold comes out
// as "?", the converter's substitute.
#include <QString>

#if defined(_WIN32)
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

#include "ui/controls.h"

namespace kestrova::ui {

#if defined(_WIN32)

namespace {
constexpr UINT GBK_CODE_PAGE = 936;
}

std::string to_gbk(const QString& text) {
  if (text.isEmpty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
  const int wide_length = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(GBK_CODE_PAGE, 0, wide, wide_length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(GBK_CODE_PAGE, 0, wide, wide_length, bytes.data(), length, nullptr,
                      nullptr);
  return bytes;
}

QString from_gbk(std::string_view text) {
  if (text.empty()) return {};
  const int byte_length = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(GBK_CODE_PAGE, 0, text.data(), byte_length, nullptr, 0);
  QString wide(length, Qt::Uninitialized);
  MultiByteToWideChar(GBK_CODE_PAGE, 0, text.data(), byte_length,
                      reinterpret_cast<wchar_t*>(wide.data()), length);
  return wide;
}

#else

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

#endif

std::string gbk(std::string_view utf8_text) {
  return to_gbk(QString::fromUtf8(utf8_text.data(), static_cast<qsizetype>(utf8_text.size())));
}

std::string utf8(std::string_view gbk_text) { return from_gbk(gbk_text).toStdString(); }

}  // namespace kestrova::ui
