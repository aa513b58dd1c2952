#include "dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <QVBoxLayout>

#include <optional>
#include <utility>

#include "form_layout.h"
#include "path_bytes.h"
#include "platform.h"

namespace kestrel {
namespace {

std::function<void()> beepHandler;
std::optional<QMessageBox::StandardButton> nextAnswer;
std::optional<QString> nextFileName, nextSaveFileName;
std::function<void(const QString&, const QString&)> textHandler;
std::function<bool(const std::string&)> browserHandler;

QString AllFilesFilter() { return QString::fromUtf8(kAllFilesName) + QStringLiteral(" (*)"); }

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
  const QString filters =
      QString::fromUtf8(kLogFilesName) + QStringLiteral(" (") + logs + QStringLiteral(");;") + AllFilesFilter();
  return QFileDialog::getOpenFileName(parent, QString(), start, filters);
}

void FileDialog::SetNextFileName(const QString& name) { nextFileName = name; }

QString FileDialog::GetSaveFileName(QWidget* parent, const QString& suggested, const QString& typeName,
                                    const QString& patterns) {
  if (nextSaveFileName) return *std::exchange(nextSaveFileName, std::nullopt);
  const QString filters = typeName + QStringLiteral(" (") + patterns + QStringLiteral(");;") + AllFilesFilter();
  return QFileDialog::getSaveFileName(parent, QString(), suggested, filters);
}

void FileDialog::SetNextSaveFileName(const QString& name) { nextSaveFileName = name; }

void TextDialog::Show(QWidget* parent, const QString& title, const QString& text) {
  if (textHandler) return textHandler(title, text);
  QDialog dialog(parent);
  dialog.setWindowTitle(title);
  dialog.resize(760, 480);
  auto* view = new QPlainTextEdit(text, &dialog);
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Routes line up in columns: a fixed-width face that has the Japanese
  // glyphs (IPAGothic's, Noto's monospaced one), else the system's.
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("MS Gothic"),
                     fixed.family()});
  fixed.setPointSizeF(kDefaultPoints + 1);
  view->setFont(fixed);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(view);
  layout->addWidget(buttons);
  buttons->button(QDialogButtonBox::Close)->setFocus();
  dialog.exec();  // Esc closes it too
}

void TextDialog::SetHandler(std::function<void(const QString&, const QString&)> handler) {
  textHandler = std::move(handler);
}

bool Browser::Open(const std::string& path) {
  if (browserHandler) return browserHandler(path);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(PathText(path)));
}

void Browser::SetHandler(std::function<bool(const std::string&)> handler) { browserHandler = std::move(handler); }

QFont UiFont(QFont font) {
  font.setFamilies({kDefaultFace, QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
  font.setPointSizeF(kDefaultPoints);
  return font;
}

std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (std::string file = LocalFileBytes(url); !file.empty()) files.push_back(std::move(file));
  return files;
}

bool HandleKeyOrDrop(QObject* watched, QEvent* event,
                     const std::function<void(const std::vector<std::string>&)>& dropped) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      auto* button = qobject_cast<QPushButton*>(watched);
      if (!button || (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)) return false;
      if (!key->isAutoRepeat()) button->click();
      return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (DroppedFiles(drag->mimeData()).empty())
        drag->ignore();  // dragged text: no control takes it
      else
        drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const std::vector<std::string> files = DroppedFiles(drop->mimeData());
      if (files.empty()) return drop->ignore(), true;
      drop->acceptProposedAction();
      dropped(files);
      return true;
    }
    default: return false;
  }
}

}  // namespace kestrel
