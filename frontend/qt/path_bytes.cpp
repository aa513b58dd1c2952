#include "path_bytes.h"

#include <QFile>
#include <QStringDecoder>
#include <QUrl>

#include <filesystem>

namespace kestrel {

#ifdef _WIN32
std::string PathBytes(const QString& path) { return path.toUtf8().toStdString(); }
QString PathText(const std::string& bytes) { return QString::fromStdString(bytes); }
#else
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString PathText(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
#endif

QString DisplayName(const std::string& bytes) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
#ifdef _WIN32
  QStringDecoder local(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);  // as PathBytes gives them
#else
  QStringDecoder local(QStringDecoder::System, QStringDecoder::Flag::Stateless);
#endif
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
  return DisplayName(bytes) == shown ? bytes : PathBytes(shown);
}

std::string ChosenFileBytes(const QString& chosen) {
  if (!chosen.contains(QChar::ReplacementCharacter)) return PathBytes(chosen);
  std::filesystem::path path = chosen.startsWith(u'/') ? "/" : "";
  for (const QString& part : chosen.split(u'/', Qt::SkipEmptyParts)) {
    std::string name = PathBytes(part);
    if (part.contains(QChar::ReplacementCharacter)) {
      int matches = 0;
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator(path.empty() ? "." : path, error)) {
        const std::string candidate = entry.path().filename().string();
        if (PathText(candidate) == part && ++matches == 1) name = candidate;
      }
      if (matches > 1) name = PathBytes(part);  // ambiguous: the name as shown
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
