// Drives the real window, offscreen. Message boxes, the file dialog and the
// beep go through seams the tests answer, so nothing ever waits for a user.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

#include "dialogs.h"
#include "faulty_file_system.h"
#include "frm_kestrel.h"
#include "test_files.h"

using kestrel::frmKestrel;
using kestrel::test::FileExists;
using kestrel::test::ReadFile;
using kestrel::test::WriteFile;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string NumberedLog(int count, const char* end = "\n") {
  std::string log;
  for (int i = 0; i < count; ++i) log += "line " + std::to_string(i) + end;
  return log;
}

}  // namespace

class FrmKestrelTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<kestrel::test::ScratchDir> dir_;
  std::unique_ptr<frmKestrel> window_;
  int beeps_ = 0;

  std::string Path(const std::string& name) const { return *dir_ / name; }
  std::string Ini() const { return Path("Kestrel.ini"); }

  // A window whose program directory is the scratch directory; `beforeLoad`
  // runs between its creation and its start-up.
  frmKestrel& Open(const std::vector<std::string>& logs = {}, const std::function<void()>& beforeLoad = {}) {
    frmKestrel::Environment environment;
    environment.programDir = Q(dir_->Path());
    environment.processId = 0x42;
    window_ = std::make_unique<frmKestrel>(environment);
    if (beforeLoad) beforeLoad();
    window_->Form_Load(logs);
    return *window_;
  }

  // Runs `action` once, from inside the run, when the progress text `when`
  // is first announced: as a user's click handled by the pump at that moment.
  void AtProgress(const QString& when, std::function<void()> action) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(window_.get(), &frmKestrel::progressShown, window_.get(),
                          [when, action, connection](const QString& text) {
                            if (text != when) return;
                            QObject::disconnect(*connection);
                            action();
                          });
  }

  void ExpectIdle() {
    QCOMPARE(window_->Command1->text(), frmKestrel::kConvertCaption);
    QCOMPARE(window_->Command2->text(), frmKestrel::kExitCaption);
    QVERIFY(window_->Command1->isEnabled());
    QVERIFY(window_->Command2->isEnabled());
    QVERIFY(!FileExists(Path("Kestrel-00000042.tmp")));
  }

 private slots:
  void init() {
    dir_ = std::make_unique<kestrel::test::ScratchDir>();
    beeps_ = 0;
    kestrel::Beeper::SetHandler([this] { ++beeps_; });
  }
  void cleanup() {
    window_.reset();
    dir_.reset();
    kestrel::Beeper::SetHandler({});
  }

  void startUpLoadsSettingsAndSavesNothing() {
    const std::string ini = "; written by hand\r\n[kestrel]\r\nfileext=txt\r\nOverWrite=True\r\n";
    WriteFile(Ini(), ini);
    frmKestrel& w = Open();
    QCOMPARE(w.windowTitle(), QStringLiteral("Kestrel Ver.0.20"));
    QCOMPARE(w.IniPath, Q(Path("Kestrel.ini")));
    QCOMPARE(w.TempPath, Q(Path("Kestrel-00000042.tmp")));
    QCOMPARE(w.OutExt, QStringLiteral("txt"));
    QCOMPARE(w.Text3->text(), QStringLiteral("txt"));
    QVERIFY(w.OverWriteOn);
    QVERIFY(w.Check1->isChecked());
    QCOMPARE(ReadFile(Ini()), ini);
    // An extension stored without its dot is used as stored.
    w.Text1->setText("/logs/ix1.log");
    QCOMPARE(w.Text2->text(), QStringLiteral("/logs/ix1txt"));
  }

  void startUpWithoutSettingsFileCreatesNone() {
    frmKestrel& w = Open();
    QCOMPARE(w.OutExt, QString());
    QVERIFY(!w.OverWriteOn);
    QVERIFY(!FileExists(Ini()));
    w.Text1->setText("/logs/ix1.log");
    QCOMPARE(w.Text2->text(), QStringLiteral("/logs/ix1"));
  }

  void typedExtensionIsSavedWithADot() {
    frmKestrel& w = Open();
    w.Text1->setText("/logs/ix1.log");
    QTest::keyClicks(w.Text3, "txt");
    QCOMPARE(w.Text3->text(), QStringLiteral("txt"));
    QCOMPARE(w.OutExt, QStringLiteral(".txt"));
    QCOMPARE(w.Text2->text(), QStringLiteral("/logs/ix1.txt"));
    QVERIFY(ReadFile(Ini()).find("FileExt=.txt") != std::string::npos);

    w.Text2->setText("/elsewhere/by-hand.txt");  // replaced at the next change
    w.Text3->clear();
    QCOMPARE(w.OutExt, QStringLiteral("."));
    QCOMPARE(w.Text2->text(), QStringLiteral("/logs/ix1."));
    QVERIFY(ReadFile(Ini()).find("FileExt=.") != std::string::npos);

    w.Text3->setText("tx.t");
    QCOMPARE(w.OutExt, QStringLiteral("tx.t"));
    QCOMPARE(w.Text2->text(), QStringLiteral("/logs/ix1tx.t"));
  }

  void overwriteOptionSavedOnlyOnChange() {
    WriteFile(Ini(), "[Kestrel]\nOverWrite=FALSE\n");
    frmKestrel& w = Open();
    QSignalSpy toggled(w.Check1, &QCheckBox::toggled);
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    QVERIFY(w.OverWriteOn);
    QVERIFY(ReadFile(Ini()).find("OverWrite=TRUE") != std::string::npos);
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    QVERIFY(!w.OverWriteOn);
    QCOMPARE(ReadFile(Ini()), std::string("[Kestrel]\nOverWrite=FALSE\n"));
    QCOMPARE(toggled.count(), 2);
  }

  void emptyPathsBeepAndFocusTheField() {
    frmKestrel& w = Open();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.Text1, Qt::Key_Return);  // Enter in a field presses nothing
    QTest::keyClick(w.Command1, Qt::Key_Enter);
    QCOMPARE(beeps_, 1);
    QCOMPARE(QApplication::focusWidget(), w.Text1);

    WriteFile(Path("ix1.log"), "a\n");
    w.Text1->setText(Q(Path("ix1.log")));
    w.Text2->clear();
    w.Check1->setChecked(true);  // the output path is still required
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(beeps_, 2);
    QCOMPARE(QApplication::focusWidget(), w.Text2);
    QCOMPARE(ReadFile(Path("ix1.log")), std::string("a\n"));
  }

  void progressCaptionsOfA250LineLog() {
    WriteFile(Path("ix1.log"), NumberedLog(250));
    frmKestrel& w = Open();
    w.Text3->setText(".txt");
    w.Text1->setText(Q(Path("ix1.log")));
    QSignalSpy progress(&w, &frmKestrel::progressShown);
    QStringList duringRun;
    AtProgress("100 / 250", [&] {
      duringRun << w.Command2->text() << (w.Command1->isEnabled() ? "enabled" : "disabled");
    });
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QStringList texts;
    for (const auto& args : progress) texts << args.at(0).toString();
    QCOMPARE(texts, (QStringList{"0 / 0", "0 / 100", "0 / 200", "0 / 250", "0 / 250", "100 / 250", "200 / 250",
                                 "250 / 250"}));
    QCOMPARE(duringRun, (QStringList{frmKestrel::kAbortCaption, "disabled"}));
    QCOMPARE(ReadFile(Path("ix1.txt")), NumberedLog(250, "\r\n"));
    ExpectIdle();
  }

  void abortFromThePump_data() {
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<int>("linesWritten");  // -1: the output is left as it was
    QTest::newRow("first pass") << "0 / 100" << false << -1;
    QTest::newRow("second pass") << "100 / 250" << false << 100;
    QTest::newRow("second pass, in place") << "100 / 250" << true << -1;
  }

  void abortFromThePump() {
    QFETCH(QString, when);
    QFETCH(bool, overwrite);
    QFETCH(int, linesWritten);
    const std::string log = NumberedLog(250);
    WriteFile(Path("ix1.log"), log);
    WriteFile(Path("ix1.txt"), "earlier output\r\n");
    frmKestrel& w = Open();
    w.Text3->setText(".txt");
    w.Text1->setText(Q(Path("ix1.log")));
    w.Check1->setChecked(overwrite);
    AtProgress(when, [&] { QTest::mouseClick(w.Command2, Qt::LeftButton); });
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(ReadFile(Path("ix1.log")), log);
    if (overwrite || linesWritten < 0)
      QCOMPARE(ReadFile(Path("ix1.txt")), std::string("earlier output\r\n"));
    else
      QCOMPARE(Q(ReadFile(Path("ix1.txt"))), Q(NumberedLog(linesWritten, "\r\n")));
    ExpectIdle();
    QCOMPARE(dir_->Entries(), (std::vector<std::string>{"Kestrel.ini", "ix1.log", "ix1.txt"}));
  }

  void failedRunShowsTheFileAndReason() {
    frmKestrel& w = Open();
    w.Text1->setText(Q(Path("missing.log")));
    kestrel::MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QVERIFY2(kestrel::MessageBox::lastText().contains(Q(Path("missing.log") + ": No such file or directory")),
             qPrintable(kestrel::MessageBox::lastText()));
    ExpectIdle();
    QCOMPARE(dir_->Entries(), (std::vector<std::string>{}));
  }

  void faultsEndInAMessageAndAnIdleWindow_data() {
    QTest::addColumn<QString>("failing");  // what the fault hits
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full copying") << "Kestrel-" << "write" << false << "No space left on device";
    QTest::newRow("disk full writing") << "ix1.txt" << "write" << false << "No space left on device";
    QTest::newRow("disk full in place") << ".ix1.log.kestrel-" << "write" << true << "No space left on device";
    QTest::newRow("read error") << "ix1.log" << "read" << true << "Input/output error";
    QTest::newRow("temporary folder not writable") << "Kestrel-" << "open" << false << "Permission denied";
  }

  void faultsEndInAMessageAndAnIdleWindow() {
    QFETCH(QString, failing);
    QFETCH(QString, operation);
    QFETCH(bool, inPlace);
    QFETCH(QString, reason);
    const std::string log = NumberedLog(250);
    WriteFile(Path("ix1.log"), log);
    WriteFile(Ini(), "[Kestrel]\nFileExt=.txt\n");
    frmKestrel& w = Open();
    kestrel::test::FaultyFileSystem fs;
    const int error = reason == "Input/output error" ? EIO : reason == "Permission denied" ? EACCES : ENOSPC;
    using Fs = kestrel::test::FaultyFileSystem;
    fs.Fail(operation == "write" ? Fs::kWrite : operation == "read" ? Fs::kRead : Fs::kOpen, failing.toStdString(),
            error, 100);
    w.SetFileSystem(fs);
    w.Text1->setText(Q(Path("ix1.log")));
    w.Check1->setChecked(inPlace);
    kestrel::MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    const QString message = kestrel::MessageBox::lastText();
    QVERIFY2(message.contains(Q(dir_->Path())) && message.endsWith(": " + reason), qPrintable(message));
    QCOMPARE(ReadFile(Path("ix1.log")), log);
    ExpectIdle();
    std::vector<std::string> entries = dir_->Entries();
    std::erase(entries, "ix1.txt");  // a failed write leaves the output as far as it got
    QCOMPARE(entries, (std::vector<std::string>{"Kestrel.ini", "ix1.log"}));
  }

  // Abort ends the log being converted and the batch goes on; closing the
  // window ends the batch, naming every log left unconverted.
  void abortOrCloseInABatch_data() {
    QTest::addColumn<bool>("close");
    QTest::newRow("abort") << false;
    QTest::newRow("close") << true;
  }

  void abortOrCloseInABatch() {
    QFETCH(bool, close);
    WriteFile(Ini(), "[Kestrel]\nFileExt=.txt\n");
    WriteFile(Path("a.log"), NumberedLog(250));
    WriteFile(Path("b.log"), "a, Giga0, t\n");
    WriteFile(Path("c.log"), "a, Giga0, t\n");
    frmKestrel& w = Open({Path("a.log"), Path("b.log"), Path("c.log")}, [&] {
      AtProgress("100 / 250", [&] { close ? (void)window_->close() : window_->Command2->click(); });
    });
    QCOMPARE(w.BatchExitCode(), 1);
    QCOMPARE(ReadFile(Path("a.txt")), NumberedLog(100, "\r\n"));
    QCOMPARE(FileExists(Path("b.txt")), !close);
    std::string errors = "kestrel: " + Path("a.log") + ": conversion aborted\n";
    for (const char* log : {"b.log", "c.log"})
      if (close) errors += "kestrel: " + Path(log) + ": not converted, the window was closed\n";
    QCOMPARE(kestrel::MessageBox::takeErrorLines(), errors);
    QVERIFY(!w.isVisible());
  }

  void exitClosesTheWindow() {
    frmKestrel& w = Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClick(w.Command2, Qt::Key_Return);  // Enter presses the focused button
    QVERIFY(!w.isVisible());
  }

  // A name in Shift-JIS or with bytes invalid in any encoding is opened with
  // exactly its bytes, whether dropped or chosen with Browse, and shown as
  // best the field can.
  void namesThatAreNotUtf8_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("browse");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<QString>("shown");
    QTest::newRow("dropped, Shift-JIS") << QByteArray("\x83\x8d\x83\x4f.log") << false << false << "ログ.log";
    QTest::newRow("dropped, invalid, in place") << QByteArray("a\xff.log") << false << true << "a\uFFFD.log";
    QTest::newRow("browsed, Shift-JIS, in place") << QByteArray("\x83\x8d\x83\x4f.log") << true << true << "ログ.log";
    QTest::newRow("browsed, invalid") << QByteArray("a\xff.log") << true << false << "a\uFFFD.log";
  }

  void namesThatAreNotUtf8() {
    QFETCH(QByteArray, name);
    QFETCH(bool, browse);
    QFETCH(bool, inPlace);
    QFETCH(QString, shown);
    const std::string log = Path(name.toStdString()), output = log.substr(0, log.size() - 4) + ".txt";
    WriteFile(log, "a, Giga0, t\n");
    WriteFile(Ini(), "[Kestrel]\nFileExt=.txt\n");
    frmKestrel& w = Open();
    w.Check1->setChecked(inPlace);
    kestrel::fileDialog()->setNextFileName(QFile::decodeName(QByteArray::fromStdString(log)));  // as Qt's dialog returns it
    QMimeData drop;
    drop.setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(log).toPercentEncoding("/"))});
    browse ? w.Command3->click() : w.Form_OLEDragDrop(&drop);
    QVERIFY2(w.Text1->text().endsWith(shown), qPrintable(w.Text1->text()));
    w.Command1->click();
    QCOMPARE(ReadFile(inPlace ? log : output), std::string("a, t, Giga0\r\n"));
    QCOMPARE(dir_->Entries().size(), inPlace ? 2u : 3u);
  }

  void closingDuringARunAbortsItThenCloses() {
    const std::string log = NumberedLog(250);
    WriteFile(Path("ix1.log"), log);
    frmKestrel& w = Open();
    w.show();
    w.Text1->setText(Q(Path("ix1.log")));
    w.Check1->setChecked(true);
    AtProgress("100 / 250", [&] { w.close(); });
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QCOMPARE(ReadFile(Path("ix1.log")), log);
    ExpectIdle();
  }
};

QTEST_MAIN(FrmKestrelTest)
#include "frm_kestrel_test.moc"
