// Drives the real window offscreen, on a screen away from the origin (see
// CMakeLists.txt), finding its controls by their names on the form. Message
// boxes, the file dialog and the beep go through seams the tests answer.

#include <QtTest>
#include <QtWidgets>
#include <csignal>

#include "app_paths.h"
#include "dialogs.h"
#include "fixtures.h"
#include "frm_kestrel.h"
#include "kestrel_version.h"
#include "platform.h"
#include "test_files.h"

using kestrel::frmKestrel;
using namespace kestrel::test;
using Names = std::vector<std::string>;

static QString Q(const std::string& s) { return QString::fromStdString(s); }

class WindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<ScratchDir> dir_;
  std::unique_ptr<frmKestrel> window_;
  int beeps_ = 0;

  std::string Path(const std::string& name) const { return *dir_ / name; }
  QLineEdit* Text(int n) const { return window_->findChild<QLineEdit*>(QString("Text%1").arg(n)); }
  QPushButton* Command(int n) const { return window_->findChild<QPushButton*>(QString("Command%1").arg(n)); }
  QCheckBox* Check1() const { return window_->findChild<QCheckBox*>("Check1"); }

  // A fresh scratch folder holding the settings file `ini` (none when empty),
  // and a window started on the logs named there, whose program folder it is
  // or, installed, one it cannot write; `beforeLoad` runs between the
  // window's creation and its start-up.
  frmKestrel& Open(const std::string& ini, const Names& logs = {}, const std::function<void()>& beforeLoad = {},
                   bool installed = false) {
    window_.reset();
    dir_ = std::make_unique<ScratchDir>();
    if (!ini.empty()) WriteFile(Path(installed ? "config/Kestrel/Kestrel.ini" : "Kestrel.ini"), ini);
    frmKestrel::Environment environment{Q(dir_->Path()), !installed, Q(Path("config/Kestrel")), Q(Path("tmp")), 0x42};
    window_ = std::make_unique<frmKestrel>(environment);
    if (beforeLoad) beforeLoad();
    Names paths;
    for (const std::string& log : logs) paths.push_back(Path(log));
    window_->Form_Load(paths);
    kestrel::MessageBox::SetNextAnswer(QMessageBox::Ok);
    return *window_;
  }
  void Write(const std::string& name, const std::string& bytes) { WriteFile(Path(name), bytes); }

  // Runs `action` from inside the run when the progress text `when` is first
  // announced, as a click the pump would hand over at that moment.
  void AtProgress(const QString& when, std::function<void()> action) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(window_.get(), &frmKestrel::progressShown, [=](const QString& text) {
      if (text == when) QObject::disconnect(*connection), action();
    });
  }

  // Drags `data` onto `target` and drops it there; true when the drop was taken.
  static bool Drop(QWidget* target, const QMimeData& data) {
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    return QApplication::sendEvent(target, &enter) && enter.isAccepted() && QApplication::sendEvent(target, &drop) &&
           drop.isAccepted();
  }

 private slots:
  void init() { kestrel::Beeper::SetHandler([this] { ++beeps_; }); }

  // Start-up shows the settings and saves nothing; the check box saves each
  // change, beside the program or, installed, in the user's own folder.
  void settings() {
    QCOMPARE(kestrel::WindowTitle(1, 5), std::string("Kestrel Ver.1.05"));
    for (const auto& [installed, stored, output, checked] :
         {std::tuple{false, "; by hand\r\n[kestrel]\r\nfileext=txt\r\nOverWrite=True\r\n", "/l/ix1txt", true},
          {false, "", "/l/ix1", false}, {true, "", "/l/ix1", false}}) {
      frmKestrel& w = Open(stored, {}, {}, installed);
      const std::string ini = Path(installed ? "config/Kestrel/Kestrel.ini" : "Kestrel.ini");
      QCOMPARE(w.windowTitle(), QString::asprintf("Kestrel Ver.%d.%02d", KESTREL_VERSION_MAJOR, KESTREL_VERSION_MINOR));
      QCOMPARE(w.property("TempPath").toString(), Q(Path(installed ? "tmp/" : "")) + "Kestrel-00000042.tmp");
      QCOMPARE(Check1()->isChecked(), checked);
      QCOMPARE(FileExists(ini) ? ReadFile(ini) : "", std::string(stored));
      Text(1)->setText("/l/ix1.log");
      QCOMPARE(Text(2)->text(), QString(output));  // an extension is used as stored
      for (const bool on : {!checked, checked}) {
        QTest::mouseClick(Check1(), Qt::LeftButton);
        QVERIFY(ReadFile(ini).find(on ? "OverWrite=TRUE" : "OverWrite=FALSE") != std::string::npos);
      }
    }
    // The output path follows the input path and the extension, which is
    // saved with a dot; a hand-edited output path is replaced.
    Open("");
    for (const auto& [typed, input, output, saved] :
         {std::tuple{"tx.t", "/l/ix1.log", "/l/ix1tx.t", "tx.t"}, {"", "/l/ix1.log", "/l/ix1.", "."},
          {"txt", "/l/ix1.log", "/l/ix1.txt", ".txt"}, {"txt", "/l.d/ix1", "/l.d/ix1.txt", ".txt"},
          {"txt", "/l/ix1.2020.log", "/l/ix1.2020.txt", ".txt"}, {"txt", "/l/ix1.", "/l/ix1.txt", ".txt"},
          {"txt", "", ".txt", ".txt"}, {"txt", "/l/.hidden", "/l/.txt", ".txt"},
          {"txt", ".hidden", ".txt", ".txt"}, {"txt", "a\\b.c\\d", "a\\b.txt", ".txt"}}) {
      Text(2)->setText("/elsewhere/by-hand.txt");
      Text(1)->setText(input);
      Text(3)->setText(typed);
      QCOMPARE(Text(2)->text(), QString(output));
      QVERIFY(ReadFile(Path("Kestrel.ini")).find("FileExt=" + std::string(saved) + "\r\n") != std::string::npos);
    }
  }

  // How a run ends: finished, aborted or the window closed at a progress
  // text, or failed. A name another run left behind is skipped.
  void runsEnd() {
    // The log, in place or not, when what is done (closing the window or
    // pressing Abort), the lines then in the output (-1: as it was), the
    // message shown, and the output typed (none: derived).
    for (const auto& [log, inPlace, when, close, written, message, typed] :
         {std::tuple{"ix1.log", false, "", false, 250, "", ""}, {"ix1.log", false, "0 / 100", false, -1, "", ""},
          {"ix1.log", false, "100 / 250", false, 100, "", ""}, {"ix1.log", true, "100 / 250", false, -1, "", ""},
          {"ix1.log", true, "100 / 250", true, -1, "", ""},
          {"missing.log", false, "", false, -1, "missing.log: No such file or directory", ""},
          {"ix1.log", false, "", false, -1, "itself\nログをその場で変換するには、「ログファイル上書き」にチェックを入れてください。",
           "ix1.log"}}) {
      frmKestrel& w = Open("[Kestrel]\nFileExt=.txt\n");
      Write("ix1.log", NumberedLog(250));
      Write("ix1.txt", "earlier\r\n");
      Write("Kestrel-00000042.tmp", "left behind");
      w.show();
      Text(1)->setText(Q(Path(log)));
      if (*typed) Text(2)->setText(Q(Path(typed)));
      Check1()->setChecked(inPlace);
      QSignalSpy progress(&w, &frmKestrel::progressShown);
      QStringList during;
      AtProgress(*when ? when : "100 / 250", [&, when = when, close = close] {
        during << Command(2)->text() << (Command(1)->isEnabled() ? "enabled" : "disabled");
        if (!*when) return;
        close ? (void)w.close() : Command(2)->click();
        during << (Command(2)->isEnabled() ? "on" : "off");
      });
      QTest::mouseClick(Command(1), Qt::LeftButton);
      QCOMPARE(during, *message ? QStringList() : QStringList({"中 断", "disabled", "off"}).mid(0, *when ? 3 : 2));
      if (written == 250) QCOMPARE(progress.count(), 8);  // every progress text is announced
      QCOMPARE(ReadFile(Path("ix1.log")), NumberedLog(250));
      QCOMPARE(Q(ReadFile(Path("ix1.txt"))), Q(written < 0 ? "earlier\r\n" : NumberedLog(written, "\r\n")));
      const QString shown = kestrel::MessageBox::LastText();
      QVERIFY2(*message ? shown.endsWith(QString::fromUtf8(message)) : shown.isEmpty(), qPrintable(shown));
      QCOMPARE(QStringList({Command(1)->text(), Command(2)->text()}), QStringList({"変 換", "終 了"}));
      QVERIFY(Command(1)->isEnabled() && Command(2)->isEnabled());
      QCOMPARE(w.isVisible(), !close);
      QCOMPARE(dir_->Entries(), (Names{"Kestrel-00000042.tmp", "Kestrel.ini", "ix1.log", "ix1.txt"}));
      if (!*message) QCOMPARE(w.property("TempPath").toString(), Q(Path("Kestrel-00000043.tmp")));
    }
  }

  // Abort ends the log under way and the batch goes on. Closing the window
  // ends the batch, naming every log left (control characters escaped):
  // here while the first log's output is a pipe that nobody reads, which
  // only a window that pumps while it waits can see.
  void abortOrCloseInABatch() {
    for (const bool close : {false, true}) {
      frmKestrel& w = Open("[Kestrel]\nFileExt=.txt\n", {"a.log", "b.log", "c\x1b.log"}, [&] {
        for (const char* log : {"a.log", "b.log", "c\x1b.log"}) Write(log, kRoute + "\n");
        if (!close) return Write("a.log", NumberedLog(250)), AtProgress("100 / 250", [&] { Command(2)->click(); });
        QVERIFY(MakeFifo(Path("a.txt")));
        QTimer::singleShot(200, window_.get(), &QWidget::close);
      });
      QCOMPARE(w.BatchExitCode(), 1);
      QCOMPARE(FileExists(Path("c\x1b.txt")), !close);
      std::string errors = "kestrel: " + Path("a.log") + ": conversion aborted\n";
      for (const char* log : {"b.log", "c\\x1b.log"})
        if (close) errors += "kestrel: " + Path(log) + ": not converted, the window was closed\n";
      QCOMPARE(kestrel::MessageBox::TakeErrorLines(), errors);
      QVERIFY(!w.isVisible());
    }
  }

  // A stop signal ends a batch once the run has cleaned up, or the idle
  // window, with 128 and the signal's number.
  void stopSignals() {
    kestrel::platform::CatchStopSignals();
    frmKestrel& w = Open("[Kestrel]\nOverWrite=TRUE\n", {"a.log", "b.log"}, [&] {
      Write("a.log", NumberedLog(250));
      Write("b.log", "b\n");
      AtProgress("100 / 250", [] { ::raise(SIGTERM); });
    });
    QCOMPARE(w.BatchExitCode(), 128 + SIGTERM);
    QCOMPARE(ReadFile(Path("a.log")) + ReadFile(Path("b.log")), NumberedLog(250) + "b\n");
    QCOMPARE(dir_->Entries(), (Names{"Kestrel.ini", "a.log", "b.log"}));
    // Once the last log is converted, a signal changes nothing: the status
    // says that every log was.
    kestrel::platform::CatchStopSignals();
    QCOMPARE(Open("[Kestrel]\nOverWrite=TRUE\n", {"a.log"}, [&] {
               Write("a.log", NumberedLog(250));
               AtProgress("250 / 250", [] { ::raise(SIGTERM); });
             }).BatchExitCode(), 0);
    QCOMPARE(ReadFile(Path("a.log")), NumberedLog(250, "\r\n"));
    kestrel::platform::CatchStopSignals();
    Open("");
    QTimer::singleShot(300, [] { QCoreApplication::exit(0); });
    QCOMPARE(QCoreApplication::exec(), 0);  // idle and no signal: the window stays
    ::raise(SIGHUP);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(-1); });
    QCOMPARE(QCoreApplication::exec(), 128 + SIGHUP);
    kestrel::platform::CatchStopSignals();
    kestrel::platform::RestoreStopSignals();
  }

  void formAndKeyboard() {
    frmKestrel& w = Open("");
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((w.frameGeometry().center() - area.center()).manhattanLength() <= 2);
    w.move(area.topLeft());  // centred once, the window stays where it is put
    QCOMPARE(w.pos(), area.topLeft());
    const QList<QSize> icons = w.windowIcon().availableSizes();
    QVERIFY(icons.contains(QSize(16, 16)) && icons.contains(QSize(32, 32)));
    // The captions in a Japanese Gothic face with every glyph, and each
    // fitting its control, the longest progress caption included.
    w.ShowProgressCaption("99999999 / 99999999");
    for (QWidget* control : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const QString text = control->property("text").toString(), name = control->objectName();
      const QFontMetrics metrics(control->font());
      if (QStringList{"Label1", "Label2", "Label3", "Check1"}.contains(name)) {
        const QString family = QFontInfo(control->font()).family();
        QVERIFY2(family.contains("Gothic") || family.contains("ゴシック"), qPrintable(family));
        QCOMPARE(control->font().pointSizeF(), 11.25);
        for (const QChar c : text) QVERIFY2(metrics.inFontUcs4(c.unicode()), qPrintable(text));
      }
      int needed = control->minimumSizeHint().width(), room = control->width();
      if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        needed = metrics.horizontalAdvance(text);
        room = w.style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
      }
      if (name == "Label4") QVERIFY(control->heightForWidth(room) <= control->height());  // wrapped
      QVERIFY2(name.startsWith("Text") || needed <= room, qPrintable(name + QString(" %1>%2").arg(needed).arg(room)));
    }
    // The focus starts in the input path and moves in the form's order.
    QStringList order;
    for (QWidget* at = Text(1); order.size() < 7; at = at->nextInFocusChain())
      if (at->focusPolicy() & Qt::TabFocus) order << at->objectName();
    QCOMPARE(QApplication::focusWidget(), Text(1));
    QCOMPARE(order, QStringList({"Text1", "Command3", "Text2", "Text3", "Check1", "Command1", "Command2"}));
    // Enter presses the focused button, and Convert beeps at an empty path.
    QTest::keyClick(Text(1), Qt::Key_Return);
    QTest::keyClick(Command(1), Qt::Key_Enter);
    QVERIFY(beeps_ == 1 && QApplication::focusWidget() == Text(1));
    Write("ix1.log", "a\n");
    Text(1)->setText(Q(Path("ix1.log")));
    Text(2)->clear();
    Check1()->setChecked(true);  // the output path is still required
    QTest::mouseClick(Command(1), Qt::LeftButton);
    QVERIFY(beeps_ == 2 && QApplication::focusWidget() == Text(2));
    QCOMPARE(ReadFile(Path("ix1.log")), std::string("a\n"));
    QTest::keyClick(Command(2), Qt::Key_Return);
    QVERIFY(!w.isVisible());
  }

  // Any control takes a dropped file, the first of several; dragged text
  // and a cancelled Browse change nothing. A name in Shift-JIS or invalid
  // in any encoding, dropped or chosen, is shown as best the field can and
  // opened with exactly its bytes.
  void dropsAndBrowseNameTheInputLog() {
    frmKestrel& w = Open("[Kestrel]\nFileExt=.txt\n");
    const QList<QWidget*> targets = w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly) << &w;
    for (QWidget* target : targets) {
      QMimeData files, text;
      files.setUrls({QUrl::fromLocalFile("/l/" + target->objectName() + ".log"), QUrl::fromLocalFile("/l/2.log")});
      text.setText("dragged words");
      QVERIFY(Drop(target, files) && !Drop(target, text));
      QCOMPARE(Text(2)->text(), "/l/" + target->objectName() + ".txt");
    }
    for (const char* chosen : {"/l/chosen.log", ""}) {
      kestrel::FileDialog::SetNextFileName(chosen);
      QTest::mouseClick(Command(3), Qt::LeftButton);
      QCOMPARE(Text(2)->text(), QStringLiteral("/l/chosen.txt"));
    }
    for (const auto& [name, browse, inPlace, shown] :
         {std::tuple{"\x83\x8d\x83\x4f.log", false, false, "ログ.log"}, {"a\xff.log", true, true, "a\uFFFD.log"},
          {"a\xfe.log", false, false, "a\uFFFD.log"}}) {  // the same text, other bytes
      const std::string log = Path(name);
      Write(name, "a, Giga0, t\n");
      Check1()->setChecked(inPlace);
      kestrel::FileDialog::SetNextFileName(QFile::decodeName(QByteArray::fromStdString(log)));  // as Qt's dialog does
      QMimeData drop;
      drop.setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(log).toPercentEncoding("/"))});
      browse ? Command(3)->click() : (void)Drop(Command(1), drop);
      QVERIFY2(Text(1)->text().endsWith(QString::fromUtf8(shown)), qPrintable(Text(1)->text()));
      Command(1)->click();
      QCOMPARE(ReadFile(inPlace ? log : log.substr(0, log.size() - 4) + ".txt"), std::string("a, t, Giga0\r\n"));
    }
  }

  // Last, as it leaves Qt's texts in Japanese for the rest of the program.
  void standardDialogsSpeakJapanese() {
    QVERIFY(kestrel::InstallQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan)));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
