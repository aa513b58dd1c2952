#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>

class QLocale;
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
};

// Installs Qt's own translations for the locale (the standard dialogs' and
// buttons' texts); false when none is installed for it.
bool InstallQtTranslations(const QLocale& locale);

}  // namespace kestrel
