#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <optional>
#include <utility>

#include "form_layout.h"
#include "platform.h"

namespace kestrel {
namespace {

std::function<void()> beepHandler;
std::optional<QMessageBox::StandardButton> nextAnswer;
std::optional<QString> nextFileName;

}  // namespace

void Beeper::Beep() {
  if (beepHandler)
    beepHandler();
  else
    QApplication::beep();
}

void Beeper::SetHandler(std::function<void()> handler) { beepHandler = std::move(handler); }

QMessageBox::StandardButton MessageBox::Critical(QWidget* parent, const QString& title, const QString& text) {
  if (nextAnswer) return *std::exchange(nextAnswer, std::nullopt);
  // A stop signal (SIGTERM from a service manager or `timeout`) closes the
  // box, so that a program waiting at it ends as it would anywhere else.
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
  QTimer stopSignalPoll;
  QObject::connect(&stopSignalPoll, &QTimer::timeout, &box, [&box] {
    if (platform::CaughtStopSignal()) box.reject();
  });
  stopSignalPoll.start(100);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MessageBox::SetNextAnswer(QMessageBox::StandardButton answer) { nextAnswer = answer; }

bool InstallQtTranslations(const QLocale& locale) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(translator))
    return true;
  delete translator;
  return false;
}

QString FileDialog::GetOpenFileName(QWidget* parent, const QString& start) {
  if (nextFileName) return *std::exchange(nextFileName, std::nullopt);
  const QString logs = QString::fromUtf8(kLogFilesPatterns).replace(u';', u' ');
  const QString filters = QString::fromUtf8(kLogFilesName) + QStringLiteral(" (") + logs + QStringLiteral(");;") +
                          QString::fromUtf8(kAllFilesName) + QStringLiteral(" (*)");
  return QFileDialog::getOpenFileName(parent, QString(), start, filters);
}

void FileDialog::SetNextFileName(const QString& name) { nextFileName = name; }

}  // namespace kestrel
