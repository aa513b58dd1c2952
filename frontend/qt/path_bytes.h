#pragma once

#include <QString>

#include <string>

class QUrl;

namespace kestrel {

// A path as the engine opens it, and back: the locale's encoding on POSIX
// systems, UTF-8 on Windows (where the engine hands UTF-16 to the system),
// so that no name passes through the ANSI code page.
std::string PathBytes(const QString& path);
QString PathText(const std::string& bytes);

// File names are bytes, and a run opens exactly the bytes the user gave. The
// fields show them as text: a name valid in the locale's encoding as it is, a
// Shift-JIS name (common in archives from Windows machines) decoded as such,
// anything else with its invalid bytes replaced.
QString DisplayName(const std::string& bytes);

// The bytes of a path field: `bytes` while the field still shows them. An
// edited field keeps the bytes of the characters left unchanged at either
// end, and the characters typed between them take the encoding the name is
// shown in (Shift-JIS for a Shift-JIS name, else the locale's).
std::string FieldBytes(const QString& shown, const std::string& bytes);

// The bytes of a file chosen in Qt's file dialog. The dialog decodes names
// with replacement characters, so each part of the path that holds one is
// looked up in its folder and taken when exactly one entry shows as it.
std::string ChosenFileBytes(const QString& chosen);

// The bytes of a dropped file's URL, percent-decoded as they are; "" for a
// URL that is not a local file.
std::string LocalFileBytes(const QUrl& url);

}  // namespace kestrel
