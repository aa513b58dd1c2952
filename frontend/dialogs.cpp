#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <utility>

namespace kestrel {
namespace {

std::function<void()>& BeepHandler() {
  static std::function<void()> handler;
  return handler;
}

std::optional<QMessageBox::StandardButton> nextAnswer;
QString lastMessage;
std::string errorLines;

}  // namespace

void Beeper::Beep() {
  if (BeepHandler())
    BeepHandler()();
  else
    QApplication::beep();
}

void Beeper::SetHandler(std::function<void()> handler) { BeepHandler() = std::move(handler); }

QMessageBox::StandardButton MessageBox::critical(QWidget* parent, const QString& title, const QString& text) {
  lastMessage = text;
  if (nextAnswer) {
    const auto answer = *nextAnswer;
    nextAnswer.reset();
    return answer;
  }
  return QMessageBox::critical(parent, title, text);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) { nextAnswer = answer; }

QString MessageBox::lastText() { return lastMessage; }

void MessageBox::errorLine(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  errorLines += line + "\n";
}

std::string MessageBox::takeErrorLines() { return std::exchange(errorLines, {}); }

bool InstallQtTranslations(const QLocale& locale) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(translator))
    return true;
  delete translator;
  return false;
}

QString FileDialog::getOpenFileName(QWidget* parent, const QString& start) {
  if (next_) {
    const QString name = *next_;
    next_.reset();
    return name;
  }
  return QFileDialog::getOpenFileName(parent, QString(), start);
}

void FileDialog::setNextFileName(const QString& name) { next_ = name; }

FileDialog* fileDialog() {
  static FileDialog dialog;
  return &dialog;
}

}  // namespace kestrel
