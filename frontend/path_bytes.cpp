#include "path_bytes.h"

#include <QFile>
#include <QStringDecoder>
#include <QUrl>

#include <filesystem>

namespace kestrel {

QString DisplayName(const std::string& bytes) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder local(QStringDecoder::System, QStringDecoder::Flag::Stateless);
  const QString text = local.decode(view);
  if (!local.hasError()) return text;
  QStringDecoder shiftJis("Shift_JIS", QStringDecoder::Flag::Stateless);
  if (shiftJis.isValid()) {
    const QString japanese = shiftJis.decode(view);
    if (!shiftJis.hasError() && !japanese.contains(QChar::ReplacementCharacter)) return japanese;
  }
  return text;
}

std::string FieldBytes(const QString& shown, const std::string& bytes) {
  return DisplayName(bytes) == shown ? bytes : QFile::encodeName(shown).toStdString();
}

std::string ChosenFileBytes(const QString& chosen) {
  if (!chosen.contains(QChar::ReplacementCharacter)) return QFile::encodeName(chosen).toStdString();
  std::filesystem::path path = chosen.startsWith(u'/') ? "/" : "";
  for (const QString& part : chosen.split(u'/', Qt::SkipEmptyParts)) {
    std::string name = QFile::encodeName(part).toStdString();
    if (part.contains(QChar::ReplacementCharacter)) {
      int matches = 0;
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(path.empty() ? "." : path, error)) {
        const std::string candidate = entry.path().filename().string();
        if (QFile::decodeName(QByteArray::fromStdString(candidate)) == part && ++matches == 1) name = candidate;
      }
      if (matches > 1) name = QFile::encodeName(part).toStdString();  // ambiguous: the name as shown
    }
    path /= name;
  }
  return path.string();
}

std::string LocalFileBytes(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace kestrel
