#include "path_bytes.h"

#include <QFile>
#include <QStringDecoder>
#include <QUrl>

#include <filesystem>
#include <vector>

namespace kestrel {

#ifdef _WIN32
std::string PathBytes(const QString& path) { return path.toUtf8().toStdString(); }
QString PathText(const std::string& bytes) { return QString::fromStdString(bytes); }
#else
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString PathText(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
#endif

namespace {

// Whether a name shows decoded as Shift-JIS: its bytes are not valid in the
// locale's encoding, and are in Shift-JIS.
bool ShownAsShiftJis(const std::string& bytes) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
#ifdef _WIN32
  QStringDecoder local(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);  // as PathBytes gives them
#else
  QStringDecoder local(QStringDecoder::System, QStringDecoder::Flag::Stateless);
#endif
  const QString text = local.decode(view);
  if (!local.hasError()) return false;
  QStringDecoder shiftJis("Shift_JIS", QStringDecoder::Flag::Stateless);
  if (!shiftJis.isValid()) return false;
  const QString japanese = shiftJis.decode(view);
  return !shiftJis.hasError() && !japanese.contains(QChar::ReplacementCharacter);
}

QStringDecoder DecoderFor(bool shiftJis, QStringDecoder::Flags flags) {
  if (shiftJis) return QStringDecoder("Shift_JIS", flags);
#ifdef _WIN32
  return QStringDecoder(QStringDecoder::Utf8, flags);
#else
  return QStringDecoder(QStringDecoder::System, flags);
#endif
}

}  // namespace

QString DisplayName(const std::string& bytes) {
  QStringDecoder decoder = DecoderFor(ShownAsShiftJis(bytes), QStringDecoder::Flag::Stateless);
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string FieldBytes(const QString& shown, const std::string& bytes) {
  const QString old = DisplayName(bytes);
  if (old == shown) return bytes;
  const bool shiftJis = ShownAsShiftJis(bytes);
  QStringDecoder decoder = DecoderFor(shiftJis, QStringDecoder::Flag::Default);
  // Where the bytes of each character shown begin, decoding a byte at a time.
  QString before;
  std::vector<std::size_t> starts;
  std::size_t pending = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const QString chars = decoder.decode(QByteArrayView(bytes.data() + i, 1));
    for (qsizetype k = 0; k < chars.size(); ++k) starts.push_back(k == 0 ? pending : i);
    if (!chars.isEmpty()) pending = i + 1;
    before += chars;
  }
  if (before != old) return PathBytes(shown);  // bytes not told apart: the text as typed
  starts.push_back(bytes.size());
  // The characters kept at either end keep their bytes; those typed between
  // them take the encoding the name shows in, so that a Shift-JIS name edited
  // and typed back is the same name again.
  qsizetype head = 0, tail = 0;
  while (head < before.size() && head < shown.size() && before[head] == shown[head]) ++head;
  while (tail < before.size() - head && tail < shown.size() - head &&
         before[before.size() - 1 - tail] == shown[shown.size() - 1 - tail])
    ++tail;
  const QString typed = shown.mid(head, shown.size() - head - tail);
  std::string middle = PathBytes(typed);
  if (shiftJis) {
    QStringEncoder encoder("Shift_JIS");
    const QByteArray japanese = encoder.encode(typed);
    if (!encoder.hasError()) middle = japanese.toStdString();
  }
  return bytes.substr(0, starts[head]) + middle + bytes.substr(starts[before.size() - tail]);
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
