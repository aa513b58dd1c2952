// What only the Qt window does, driven offscreen on a screen away from the
// origin (see CMakeLists.txt), its controls found by their names on the
// form: what the window decides is the presenter's, tested on its own.
// Message boxes, the file dialog and the beep go through seams.

#include <QtTest>
#include <QtWidgets>
#include <csignal>

#include "dialogs.h"
#include "fixtures.h"
#include "frm_compare.h"
#include "frm_kestrel.h"
#include "platform.h"
#include "test_files.h"

using kestrel::FrmCompare;
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

  // A fresh scratch folder holding the settings file `ini` (none when
  // empty), and a window started there, in its program folder.
  frmKestrel& Open(const std::string& ini) {
    window_.reset();
    dir_ = std::make_unique<ScratchDir>();
    if (!ini.empty()) WriteFile(Path("Kestrel.ini"), ini);
    window_ = std::make_unique<frmKestrel>(Environment());
    window_->Presenter().Form_Load({});
    kestrel::MessageBox::SetNextAnswer(QMessageBox::Ok);
    return *window_;
  }
  void Write(const std::string& name, const std::string& bytes) { WriteFile(Path(name), bytes); }
  // A window's environment: the scratch folder as its program folder.
  kestrel::FormEnvironment Environment() const {
    kestrel::FormEnvironment environment;
    environment.programDir = environment.tempDir = dir_->Path();
    return environment;
  }

  // Drags `data` onto `target` and drops it there; true when the drop was taken.
  static bool Drop(QWidget* target, const QMimeData& data) {
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    return QApplication::sendEvent(target, &enter) && enter.isAccepted() && QApplication::sendEvent(target, &drop) &&
           drop.isAccepted();
  }

 private slots:
  void init() {
    kestrel::Beeper::SetHandler([this] { ++beeps_; });
  }

  // The form as its table gives it, centred on the primary screen, with its
  // icon; the captions in a Japanese Gothic face with every glyph, each
  // fitting its control in the largest face that fits, the longest
  // progress caption included.
  void formFromItsTable() {
    frmKestrel& w = Open("");
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(w.size(), QSize(313, 129));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((w.frameGeometry().center() - area.center()).manhattanLength() <= 2);
    w.move(area.topLeft());  // centred once, the window stays where it is put
    QCOMPARE(w.pos(), area.topLeft());
    const QList<QSize> icons = w.windowIcon().availableSizes();
    QVERIFY(icons.contains(QSize(16, 16)) && icons.contains(QSize(32, 32)));
    for (const char* progress : {"0 / 250", "99999999 / 99999999"}) {
      w.SetCaption(kestrel::Control::Command1, progress);
      QCOMPARE(Command(1)->font().pointSizeF() == kestrel::kDefaultPoints, *progress == '0');
      // Shown on the disabled button, the count keeps the text's contrast
      // with the button's face (4.5:1 at least).
      w.SetEnabled(kestrel::Control::Command1, false);
      const QImage shot = Command(1)->grab().toImage();
      w.SetEnabled(kestrel::Control::Command1, true);
      double face = 0, ink = 1;
      for (int y = 6; y < shot.height() - 6; ++y)
        for (int x = 6; x < shot.width() - 6; ++x) {
          const QColor pixel = shot.pixelColor(x, y);
          auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
          const double l =
              0.2126 * linear(pixel.redF()) + 0.7152 * linear(pixel.greenF()) + 0.0722 * linear(pixel.blueF());
          face = std::max(face, l), ink = std::min(ink, l);
        }
      QVERIFY2((face + 0.05) / (ink + 0.05) >= 4.5, qPrintable(QString::number((face + 0.05) / (ink + 0.05))));
      for (const kestrel::FormControl& c : kestrel::kFormControls) {
        auto* control = w.findChild<QWidget*>(c.name);
        QCOMPARE(control->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
        const QString text = control->property("text").toString();
        const QFontMetrics metrics(control->font());
        if (c.gothic) {
          const QString family = QFontInfo(control->font()).family();
          QVERIFY2(family.contains("Gothic") || family.contains("ゴシック") || family.contains("CJK JP"),
                   qPrintable(family));
          for (const QChar ch : text) QVERIFY2(metrics.inFontUcs4(ch.unicode()), qPrintable(text));
        }
        // Never smaller than two points below the control's own face.
        if (c.id != kestrel::Control::Label4 && c.kind != kestrel::ControlKind::Field)
          QVERIFY(control->font().pointSizeF() >= (c.gothic ? kestrel::kGothicPoints : kestrel::kDefaultPoints) - 2);
        int needed = control->minimumSizeHint().width(), room = control->width();
        if (auto* button = qobject_cast<QPushButton*>(control)) {
          QStyleOptionButton option;
          option.initFrom(button);
          needed = metrics.horizontalAdvance(text);
          room = w.style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        }
        if (c.id == kestrel::Control::Label4) QVERIFY(control->heightForWidth(room) <= control->height());  // wrapped
        QVERIFY2(c.kind == kestrel::ControlKind::Field || needed <= room,
                 qPrintable(text + QString(" %1>%2").arg(needed).arg(room)));
      }
    }
  }

  // The focus starts in the input path and moves in the form's order; Enter
  // presses the focused button, once however long it is held. Closing the window during a run aborts it,
  // and the window closes once the run has cleaned up.
  void keyboardAndClose() {
    frmKestrel& w = Open("[Kestrel]\nFileExt=.txt\n");
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QStringList order;
    for (QWidget* at = Text(1); order.size() < 7; at = at->nextInFocusChain())
      if (at->focusPolicy() & Qt::TabFocus) order << at->objectName();
    QCOMPARE(QApplication::focusWidget(), Text(1));
    QCOMPARE(order, QStringList({"Text1", "Command3", "Text2", "Text3", "Check1", "Command1", "Command2"}));
    QTest::keyClick(Text(1), Qt::Key_Return);
    QTest::keyClick(Command(1), Qt::Key_Enter);
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);  // its repeats press nothing
    QApplication::sendEvent(Command(1), &held);
    QCOMPARE(beeps_, 1);
    Write("ix1.log", NumberedLog(250));
    QTest::keyClicks(Text(1), Q(Path("ix1.log")));
    QCOMPARE(Text(2)->text(), Q(Path("ix1.txt")));
    w.Presenter().OnProgress([&](const std::string& text) {
      if (text == "100 / 250") QVERIFY(!w.close() && w.isVisible());
    });
    QTest::keyClick(Command(1), Qt::Key_Return);
    QVERIFY(!w.isVisible());
    QCOMPARE(ReadFile(Path("ix1.txt")), NumberedLog(100, "\r\n"));
  }

  // Idle, the window stays open until a stop signal ends it with 128 and the
  // signal's number.
  void stopSignals() {
    kestrel::platform::CatchStopSignals();
    Open("");
    QTimer::singleShot(300, [] { QCoreApplication::exit(0); });
    QCOMPARE(QCoreApplication::exec(), 0);
    ::raise(SIGHUP);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(-1); });
    QCOMPARE(QCoreApplication::exec(), 128 + SIGHUP);
    kestrel::platform::CatchStopSignals();
    kestrel::platform::RestoreStopSignals();
  }

  // Any control takes a dropped file; dragged text changes nothing. A name
  // in Shift-JIS or invalid in any encoding, dropped or chosen, is shown as
  // best the field can and opened with exactly its bytes.
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
    // A long path shows its end, the file's name; Browse offers logs first.
    QMimeData deep;
    deep.setUrls({QUrl::fromLocalFile("/" + QString(80, 'd') + "/ix1.log")});
    QVERIFY(Drop(Text(1), deep));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (QLineEdit* field : {Text(1), Text(2)})
      QVERIFY(field->cursorPosition() == field->text().size() &&
              field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x() < field->width());
    QStringList filters;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog) filters = dialog->nameFilters(), dialog->reject();
    });
    Command(3)->click();
    QCOMPARE(filters, QStringList({"ログ ファイル (*.log *.txt)", "すべてのファイル (*)"}));
    for (const auto& [name, browse, inPlace, shown, retyped] :
         {std::tuple{"\x83\x8d\x83\x4f.log", false, false, "ログ.log", true},
          {"a\xff.log", true, true, "a\uFFFD.log", false},
          {"a\xfe.log", false, false, "a\uFFFD.log", false}}) {  // the same text, other bytes
      const std::string log = Path(name);
      Write(name, "a, Giga0, t\n");
      Check1()->setChecked(inPlace);
      kestrel::FileDialog::SetNextFileName(QFile::decodeName(QByteArray::fromStdString(log)));  // as Qt's dialog does
      QMimeData drop;
      drop.setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(log).toPercentEncoding("/"))});
      browse ? Command(3)->click() : (void)Drop(Command(1), drop);
      QVERIFY2(Text(1)->text().endsWith(QString::fromUtf8(shown)), qPrintable(Text(1)->text()));
      if (retyped) {  // the character before ".log" deleted and typed again: the same name
        for (const Qt::Key key :
             {Qt::Key_End, Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Left, Qt::Key_Backspace})
          QTest::keyClick(Text(1), key);
        Text(1)->insert(QString::fromUtf8(shown).chopped(4).right(1));
      }
      Command(1)->click();
      QCOMPARE(ReadFile(inPlace ? log : log.substr(0, log.size() - 4) + ".txt"), std::string("a, t, Giga0\r\n"));
    }
  }

  // The comparison window: its captions whole in a Japanese face with every
  // glyph at its smallest, the room it gains given to the list.
  void compareWindowFits() {
    dir_ = std::make_unique<ScratchDir>();
    FrmCompare w(Environment());
    w.Presenter().Load({});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(1, 1);
    QTRY_COMPARE(w.size(), w.minimumSizeHint());
    QVERIFY(w.width() < 1000 && w.height() < 400);
    for (QWidget* control : w.findChildren<QWidget*>()) {
      const QString text = control->property("text").toString();
      if (!control->isVisible() || qobject_cast<QLineEdit*>(control) || text.isEmpty()) continue;
      const QFontMetrics metrics(control->font());
      const QString family = QFontInfo(control->font()).family();
      QVERIFY2(family.contains("Gothic") || family.contains("CJK JP"), qPrintable(family + " " + text));
      for (const QChar ch : text) QVERIFY2(metrics.inFontUcs4(ch.unicode()), qPrintable(text));
      QVERIFY2(control->width() >= control->minimumSizeHint().width(), qPrintable(text));
    }
    auto* list = w.findChild<QTableView*>("List");
    const QSize listSize = list->size(), fieldSize = w.findChild<QLineEdit*>("LogA")->size();
    w.resize(w.size() + QSize(300, 200));
    QTRY_COMPARE(list->size(), listSize + QSize(300, 200));
    QCOMPARE(w.findChild<QLineEdit*>("LogA")->size(), fieldSize + QSize(300, 0));
  }

  // The two example logs dropped together and compared without the local
  // routes; the list filtered by kind and by search, a row's detail, the
  // HTML report in the browser and the CSV where the save dialog says.
  void compareWindowCompares() {
    dir_ = std::make_unique<ScratchDir>();
    FrmCompare w(Environment());
    w.Presenter().Load({});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QMimeData logs;
    logs.setUrls({QUrl::fromLocalFile(KESTREL_EXAMPLES "/ix-show-ip-route.log"),
                  QUrl::fromLocalFile(KESTREL_EXAMPLES "/cisco-show-ip-route.log")});
    QVERIFY(Drop(w.findChild<QTableView*>("List")->viewport(), logs));
    QCOMPARE(w.findChild<QLineEdit*>("LogB")->text(), KESTREL_EXAMPLES "/cisco-show-ip-route.log");
    w.findChild<QCheckBox*>("NoLocal")->click();
    w.findChild<QPushButton*>("Compare")->click();
    auto* summary = w.findChild<QLabel*>("Summary");
    QTRY_VERIFY2_WITH_TIMEOUT(summary->text().startsWith("差分 4 件"), qPrintable(summary->text()), 20000);
    QVERIFY(summary->font().bold());
    auto* list = w.findChild<QTableView*>("List");
    QCOMPARE(list->model()->rowCount(), 4);
    QCOMPARE(list->model()->index(2, 0).data().toString(), "10.30.0.0/24");
    w.findChild<QCheckBox*>("Filter1")->click();  // B のみ hidden
    QCOMPARE(list->model()->rowCount(), 3);
    w.findChild<QCheckBox*>("Filter1")->click();
    QTest::keyClicks(w.findChild<QLineEdit*>("Search"), "198.51");
    QCOMPARE(list->model()->rowCount(), 1);
    w.findChild<QLineEdit*>("Search")->clear();
    QCOMPARE(list->model()->rowCount(), 4);

    QString detail;
    kestrel::TextDialog::SetHandler([&](const QString& title, const QString& text) { detail = title + "\n" + text; });
    const QRect row = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTRY_VERIFY2(detail.contains("10.3.0.0/16"), qPrintable(detail));
    list->setCurrentIndex(list->model()->index(3, 0));  // and Enter on a row
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_VERIFY2(detail.contains("198.51.100.0/24"), qPrintable(detail));
    kestrel::TextDialog::SetHandler({});
    // The detail's own dialog: large, its text read-only in a face whose
    // letters are all as wide, closed by Esc.
    QString shown;
    QTimer poll;  // until the dialog is open: the row's lines are read first
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      auto* text = dialog ? dialog->findChild<QPlainTextEdit*>() : nullptr;
      if (!text) return;
      poll.stop();
      const QFontMetrics metrics(text->font());
      if (text->isReadOnly() && dialog->width() >= 760 && dialog->height() >= 480 &&
          metrics.horizontalAdvance('i') == metrics.horizontalAdvance('M'))
        shown = dialog->windowTitle();
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    poll.start(10);
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_COMPARE(shown, "198.51.100.0/24");

    std::string opened;
    kestrel::Browser::SetHandler([&](const std::string& path) { return opened = path, true; });
    w.findChild<QPushButton*>("OpenReport")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!opened.empty(), 20000);
    kestrel::Browser::SetHandler({});
    QVERIFY2(QFileInfo(Q(opened)).isFile() && Q(opened).endsWith(".html"), opened.c_str());
    kestrel::FileDialog::SetNextSaveFileName(Q(Path("diff.csv")));
    w.findChild<QPushButton*>("SaveCsv")->click();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Q(Path("diff.csv"))), 20000);  // written beside, then renamed
    QVERIFY(ReadFile(Path("diff.csv")).find("10.30.0.0/24") != std::string::npos);
    // The save dialog offers the report's kind first and asks before replacing a file.
    QTRY_VERIFY(w.findChild<QPushButton*>("SaveReport")->isEnabled());  // once the CSV is saved
    QStringList filters;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog && dialog->acceptMode() == QFileDialog::AcceptSave &&
          !dialog->testOption(QFileDialog::DontConfirmOverwrite))
        filters = dialog->nameFilters();
      if (dialog) dialog->reject();
    });
    w.findChild<QPushButton*>("SaveReport")->click();
    QCOMPARE(filters, QStringList({"HTML ファイル (*.html *.htm)", "すべてのファイル (*)"}));
    w.findChild<QPushButton*>("Close")->click();
    QVERIFY(!w.isVisible());
  }

  // A stop signal closes the comparison window as its close button does:
  // the report made for the browser is deleted.
  void compareWindowStopSignal() {
    dir_ = std::make_unique<ScratchDir>();
    std::string opened;
    kestrel::Browser::SetHandler([&](const std::string& path) { return opened = path, true; });
    {
      Write("ix.log", ReadFile(KESTREL_EXAMPLES "/ix-show-ip-route.log"));
      FrmCompare w(Environment());
      w.Presenter().Load({Path("ix.log"), Path("ix.log")});  // compared at once
      w.show();
      QTRY_VERIFY(w.findChild<QPushButton*>("OpenReport")->isEnabled());
      w.findChild<QPushButton*>("OpenReport")->click();
      QTRY_VERIFY(!opened.empty());
      kestrel::platform::CatchStopSignals();
      ::raise(SIGTERM);
      QTRY_VERIFY(!w.isVisible());
      kestrel::platform::CatchStopSignals();
      kestrel::platform::RestoreStopSignals();
    }
    kestrel::Browser::SetHandler({});
    QVERIFY(!QFileInfo::exists(Q(opened)));
  }

  // Last, as it leaves Qt's texts in Japanese for the rest of the program.
  void standardDialogsSpeakJapanese() {
    QVERIFY(kestrel::InstallQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan)));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
