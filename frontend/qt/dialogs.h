#pragma once

#include <QFont>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QEvent;
class QLocale;
class QMimeData;
class QObject;
class QWidget;

namespace kestrel {

// The window's beep. A test replaces the sound with a handler that counts.
class Beeper {
 public:
  static void Beep();
  // Replaces the system's beep; an empty handler restores it.
  static void SetHandler(std::function<void()> handler);
};

// Message boxes the window shows. A test answers the next box in advance, so
// that no modal box ever waits for a user.
class MessageBox {
 public:
  static QMessageBox::StandardButton Critical(QWidget* parent, const QString& title, const QString& text);
  static void SetNextAnswer(QMessageBox::StandardButton answer);
};

// The file-open dialog of the Browse button. A test names the file the next
// dialog returns (an empty name is a cancelled dialog).
class FileDialog {
 public:
  // The file chosen, or an empty text when the dialog was cancelled.
  static QString GetOpenFileName(QWidget* parent, const QString& start);
  static void SetNextFileName(const QString& name);
  // The save dialog of a report: files of `type` (a name and its patterns,
  // "*.csv"), then every file; it asks before replacing one.
  static QString GetSaveFileName(QWidget* parent, const QString& suggested, const QString& typeName,
                                 const QString& patterns);
  static void SetNextSaveFileName(const QString& name);
};

// A long text in a dialog of its own, fixed-width, read-only, until the user
// closes it. A test takes the texts with a handler instead.
class TextDialog {
 public:
  static void Show(QWidget* parent, const QString& title, const QString& text);
  // Takes the next dialogs' title and text; an empty handler restores the dialogs.
  static void SetHandler(std::function<void(const QString& title, const QString& text)> handler);
};

// The user's default browser, on a local file named by its bytes (PathBytes).
// A test's handler is called instead, and says whether it "opened" the file.
class Browser {
 public:
  static bool Open(const std::string& path);
  static void SetHandler(std::function<bool(const std::string& path)> handler);
};

// Installs Qt's own translations for the locale (the standard dialogs' and
// buttons' texts); false when none is installed for it.
bool InstallQtTranslations(const QLocale& locale);

// `font` as the windows draw their controls: the Japanese desktop's UI face
// at its size, IPA's Gothic where that face is missing.
QFont UiFont(QFont font);

// The local files a drop carries, as bytes.
std::vector<std::string> DroppedFiles(const QMimeData* data);

// What both windows do before their controls see a key or a drag: Enter
// presses the focused button, as on Windows, once however long it is held
// (a held Enter would otherwise abort the run it started and start another);
// a drag is taken only when it carries local files, which a drop hands to
// `dropped`. False for every other event, which the window passes on.
bool HandleKeyOrDrop(QObject* watched, QEvent* event,
                     const std::function<void(const std::vector<std::string>&)>& dropped);

}  // namespace kestrel
