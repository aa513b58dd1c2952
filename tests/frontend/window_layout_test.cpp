// The window's layout, captions, focus order, drops and Browse, offscreen, on
// a screen that does not start at the origin (see CMakeLists.txt).

#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QUrl>
#include <QtTest>

#include "dialogs.h"
#include "frm_kestrel.h"
#include "test_files.h"

using kestrel::frmKestrel;

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<kestrel::test::ScratchDir> dir_;
  std::unique_ptr<frmKestrel> window_;

  frmKestrel& w() { return *window_; }

  QWidget* Control(const QString& name) {
    for (QWidget* control : std::initializer_list<QWidget*>{w().Label1, w().Label2, w().Label3, w().Label4, w().Text1,
                                                            w().Text2, w().Text3, w().Check1, w().Command1,
                                                            w().Command2, w().Command3})
      if (control->objectName() == name) return control;
    return nullptr;
  }

  // Drags `data` onto `target` and drops it there; true when the drop was taken.
  static bool Drop(QWidget* target, const QMimeData& data) {
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return enter.isAccepted() && drop.isAccepted();
  }

  static QMimeData* Files(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<kestrel::test::ScratchDir>();
    kestrel::test::WriteFile(*dir_ / "Kestrel.ini", "[Kestrel]\nFileExt=.txt\n");
    frmKestrel::Environment environment;
    environment.programDir = QString::fromStdString(dir_->Path());
    window_ = std::make_unique<frmKestrel>(environment);
    w().Form_Load({});
    w().show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() {
    window_.reset();
    dir_.reset();
  }

  void controlsStandWhereTheFormPutsThem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Label1") << "Label1" << "変換元ログ" << QRect(120, 150, 1215, 255);
    QTest::newRow("Text1") << "Text1" << "" << QRect(1440, 120, 2655, 270);
    QTest::newRow("Command3") << "Command3" << "参照" << QRect(4080, 120, 495, 255);
    QTest::newRow("Label2") << "Label2" << "出力ファイル" << QRect(120, 510, 1215, 255);
    QTest::newRow("Text2") << "Text2" << ".txt" << QRect(1440, 480, 3135, 270);
    QTest::newRow("Label3") << "Label3" << "出力拡張子" << QRect(120, 870, 1215, 255);
    QTest::newRow("Text3") << "Text3" << ".txt" << QRect(1440, 840, 975, 270);
    QTest::newRow("Check1") << "Check1" << "ログファイル上書き" << QRect(2520, 840, 2175, 240);
    QTest::newRow("Label4") << "Label4" << "NEC の show ip route を Plover 用に加工します。" << QRect(60, 1260, 1470, 615);
    QTest::newRow("Command1") << "Command1" << "変 換" << QRect(1560, 1440, 1455, 375);
    QTest::newRow("Command2") << "Command2" << "終 了" << QRect(3120, 1440, 1455, 375);
  }

  void controlsStandWhereTheFormPutsThem() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QWidget* control = Control(name);
    QVERIFY(control);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(control->geometry(), pixels);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) text = edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) text = button->text();
    QCOMPARE(text, caption);
  }

  void windowIsFixedInSizeCentredAndHasItsIcon() {
    QCOMPARE(w().size(), QSize(313, 129));
    QCOMPARE(w().minimumSize(), w().maximumSize());
    QCOMPARE(w().windowTitle(), QStringLiteral("Kestrel Ver.0.20"));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(area.topLeft() != QPoint(0, 0), "the test screen should not start at the origin");
    QVERIFY(qAbs(w().frameGeometry().center().x() - area.center().x()) <= 1 &&
            qAbs(w().frameGeometry().center().y() - area.center().y()) <= 1);
    const QList<QSize> sizes = w().windowIcon().availableSizes();
    QVERIFY2(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)), "the window icon lacks 16 or 32 px");
  }

  void captionsUseAJapaneseGothicFace() {
    for (QWidget* control : {static_cast<QWidget*>(w().Label1), static_cast<QWidget*>(w().Label2),
                             static_cast<QWidget*>(w().Label3), static_cast<QWidget*>(w().Check1)}) {
      QCOMPARE(control->font().pointSizeF(), 11.25);
      const QString family = QFontInfo(control->font()).family();
      QVERIFY2(family.contains("Gothic") || family.contains("ゴシック"), qPrintable(family));
      // Every character of the caption has a glyph in the face used.
      const QString caption = control == w().Check1 ? w().Check1->text() : static_cast<QLabel*>(control)->text();
      QFontMetrics metrics(control->font());
      for (const QChar c : caption) QVERIFY2(metrics.inFontUcs4(c.unicode()), qPrintable(caption));
    }
  }

  // Each caption fits its control at the size the form gives it, with the
  // font actually used; the description wraps inside its box.
  void captionsFitTheirControls() {
    for (QLabel* label : {w().Label1, w().Label2, w().Label3}) {
      const int needed = QFontMetrics(label->font()).horizontalAdvance(label->text());
      QVERIFY2(needed <= label->width(), qPrintable(QString("%1 needs %2 px of %3").arg(label->text()).arg(needed).arg(label->width())));
    }
    const int descriptionHeight = w().Label4->heightForWidth(w().Label4->width());
    QVERIFY2(descriptionHeight <= w().Label4->height(),
             qPrintable(QString("the description needs %1 px of %2").arg(descriptionHeight).arg(w().Label4->height())));
    // The check box needs room for its box and its caption.
    QVERIFY2(w().Check1->sizeHint().width() <= w().Check1->width(),
             qPrintable(QString("the check box needs %1 px of %2").arg(w().Check1->sizeHint().width()).arg(w().Check1->width())));
    // The buttons' captions, the longest progress caption included, within
    // the room the style leaves inside the button's frame.
    for (QPushButton* button : {w().Command1, w().Command2, w().Command3, w().Command1}) {
      QStyleOptionButton option;
      option.initFrom(button);
      const int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
      const int needed = QFontMetrics(button->font()).horizontalAdvance(button->text());
      QVERIFY2(needed <= room, qPrintable(QString("%1 needs %2 px of %3").arg(button->text()).arg(needed).arg(room)));
      w().ShowProgressCaption(QStringLiteral("99999999 / 99999999"));  // measured in the last round
    }
  }

  void focusMovesInFormOrder() {
    w().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCOMPARE(QApplication::focusWidget(), w().Text1);
    const QList<QWidget*> expected = {w().Text1, w().Command3, w().Text2, w().Text3, w().Check1, w().Command1, w().Command2};
    QList<QWidget*> order;
    QWidget* at = w().Text1;
    do {
      if (at->focusPolicy() & Qt::TabFocus) order << at;
      at = at->nextInFocusChain();
    } while (at != w().Text1 && order.size() < 20);
    QCOMPARE(order, expected);
  }

  void aDroppedFileBecomesTheInputPath() {
    for (QWidget* target : std::initializer_list<QWidget*>{window_.get(), w().Label1, w().Label4, w().Text2, w().Text3,
                                                           w().Check1, w().Command1, w().Command3}) {
      std::unique_ptr<QMimeData> data(Files({"/logs/" + target->objectName() + ".log"}));
      QVERIFY(Drop(target, *data));
      QCOMPARE(w().Text1->text(), "/logs/" + target->objectName() + ".log");
      QCOMPARE(w().Text2->text(), "/logs/" + target->objectName() + ".txt");
    }
    std::unique_ptr<QMimeData> three(Files({"/logs/first.log", "/logs/second.log", "/logs/third.log"}));
    QVERIFY(Drop(w().Command2, *three));
    QCOMPARE(w().Text1->text(), QStringLiteral("/logs/first.log"));
  }

  void draggedTextChangesNothing() {
    w().Text1->setText("/logs/ix1.log");
    QMimeData text;
    text.setText("dragged words");
    for (QWidget* target : std::initializer_list<QWidget*>{w().Text1, w().Text2, w().Label1, window_.get()}) {
      QVERIFY(!Drop(target, text));
      QCOMPARE(w().Text1->text(), QStringLiteral("/logs/ix1.log"));
      QCOMPARE(w().Text2->text(), QStringLiteral("/logs/ix1.txt"));
    }
  }

  void browseTakesTheChosenFile() {
    w().Text1->setText("/logs/ix1.log");
    kestrel::fileDialog()->setNextFileName("/logs/chosen.log");
    QTest::mouseClick(w().Command3, Qt::LeftButton);
    QCOMPARE(w().Text1->text(), QStringLiteral("/logs/chosen.log"));
    QCOMPARE(w().Text2->text(), QStringLiteral("/logs/chosen.txt"));

    kestrel::fileDialog()->setNextFileName(QString());  // cancelled
    QTest::mouseClick(w().Command3, Qt::LeftButton);
    QCOMPARE(w().Text1->text(), QStringLiteral("/logs/chosen.log"));
    QCOMPARE(w().Text2->text(), QStringLiteral("/logs/chosen.txt"));
  }

  // Last, as it leaves Qt's texts in Japanese for the rest of the program.
  void standardDialogsSpeakJapanese() {
    QVERIFY2(kestrel::InstallQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan)),
             qPrintable(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + " holds no qtbase_ja.qm"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
  }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
