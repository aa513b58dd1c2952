#include "frm_kestrel.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QUrl>

#include <optional>
#include <type_traits>

#include "app_paths.h"
#include "batch_guard.h"
#include "dialogs.h"
#include "kestrel_version.h"
#include "path_bytes.h"
#include "path_fields.h"
#include "platform.h"
#include "win_sys.h"

namespace kestrel {

namespace {

const QString kConvertCaption = QStringLiteral("変 換");
const QString kExitCaption = QStringLiteral("終 了");
const QString kAbortCaption = QStringLiteral("中 断");

// The form is laid out in twips; at 96 dots per inch 15 twips make a pixel,
// and Qt scales the pixels for screens of higher density.
QRect Twips(int left, int top, int width, int height) { return QRect(left / 15, top / 15, width / 15, height / 15); }

void PumpEvents() { QCoreApplication::processEvents(); }

// Repainting the progress caption and pumping events every 100 lines would
// cost more than the conversion. 25 times a second is as smooth as a counter
// needs to be, and Abort, typing and the close button still answer at once.
constexpr qint64 kScreenPaceMs = 40;

// The first local file a drop carries, as bytes, or an empty string.
std::string FirstDroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  const QList<QUrl> urls = data->urls();
  return urls.isEmpty() ? std::string() : LocalFileBytes(urls.first());
}

}  // namespace

frmKestrel::Environment frmKestrel::Environment::Current() {
  Environment environment;
  environment.programDir = QCoreApplication::applicationDirPath();
  environment.programDirWritable = QFileInfo(environment.programDir).isWritable();
  const std::string config = platform::UserConfigFolder();
  environment.configDir = config.empty() ? QString() : PathText(config) + "/Kestrel";
  environment.tempDir = QDir::tempPath();
  environment.processId = platform::ProcessId();
  return environment;
}

template <typename Control>
Control* frmKestrel::Place(const char* name, const QString& caption, int left, int top, int width, int height) {
  auto* control = new Control(this);
  control->setObjectName(QString::fromLatin1(name));
  if constexpr (!std::is_same_v<Control, QLineEdit>) control->setText(caption);
  control->setGeometry(Twips(left, top, width, height));
  return control;
}

frmKestrel::frmKestrel(Environment environment, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)) {
  setObjectName(QStringLiteral("frmKestrel"));
  // The form, in tab order: member, object name, caption, and left, top,
  // width and height in twips.
  Label1 = Place<QLabel>("Label1", QStringLiteral("変換元ログ"), 120, 150, 1215, 255);
  Text1 = Place<QLineEdit>("Text1", {}, 1440, 120, 2655, 270);
  Command3 = Place<QPushButton>("Command3", QStringLiteral("参照"), 4080, 120, 495, 255);
  Label2 = Place<QLabel>("Label2", QStringLiteral("出力ファイル"), 120, 510, 1215, 255);
  Text2 = Place<QLineEdit>("Text2", {}, 1440, 480, 3135, 270);
  Label3 = Place<QLabel>("Label3", QStringLiteral("出力拡張子"), 120, 870, 1215, 255);
  Text3 = Place<QLineEdit>("Text3", {}, 1440, 840, 975, 270);
  Check1 = Place<QCheckBox>("Check1", QStringLiteral("ログファイル上書き"), 2520, 840, 2175, 240);
  Label4 =
      Place<QLabel>("Label4", QStringLiteral("NEC の show ip route を Plover 用に加工します。"), 60, 1260, 1470, 615);
  Command1 = Place<QPushButton>("Command1", kConvertCaption, 1560, 1440, 1455, 375);
  Command2 = Place<QPushButton>("Command2", kExitCaption, 3120, 1440, 1455, 375);
  Label4->setWordWrap(true);
  Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setFixedSize(4695 / 15, 1935 / 15);

  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/kestrel-32.png"));
  icon.addFile(QStringLiteral(":/icons/kestrel-16.png"));
  setWindowIcon(icon);

  // The form is drawn for the 9-point Japanese UI face of a Japanese
  // desktop; the field captions use a larger Gothic face. Where the Windows
  // faces are missing, IPA's take their place, so the captions keep their
  // size and never show as boxes.
  QFont ui = font();
  ui.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
  ui.setPointSizeF(9);
  setFont(ui);
  QFont gothic = ui;
  gothic.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic")});
  gothic.setPointSizeF(11.25);
  gothic.setWeight(QFont::Normal);
  for (QWidget* w : std::initializer_list<QWidget*>{Label1, Label2, Label3, Check1}) w->setFont(gothic);

  // A stop signal (Ctrl-C, SIGTERM, SIGHUP) ends the program; a run notices
  // it by itself, an idle window here.
  auto* stopSignalPoll = new QTimer(this);
  connect(stopSignalPoll, &QTimer::timeout, this, [this] {
    if (platform::CaughtStopSignal() && !run_ && !batch_) EndOnStopSignal();
  });
  stopSignalPoll->start(100);

  // Files dropped on any control, or on the window, name the input log.
  setAcceptDrops(true);
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) {
    child->setAcceptDrops(true);
    child->installEventFilter(this);
  }

  connect(Text1, &QLineEdit::textChanged, this, &frmKestrel::Text1_Change);
  connect(Text3, &QLineEdit::textChanged, this, &frmKestrel::Text3_Change);
  connect(Check1, &QCheckBox::toggled, this, &frmKestrel::Check1_Click);
  connect(Command1, &QPushButton::clicked, this, &frmKestrel::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &frmKestrel::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &frmKestrel::Command3_Click);
  Text1->setFocus();
}

void frmKestrel::Form_Load(const std::vector<std::string>& logs) {
  Centre();
  setWindowTitle(QString::fromStdString(WindowTitle(KESTREL_VERSION_MAJOR, KESTREL_VERSION_MINOR)));

  const AppPaths paths =
      ComputeAppPaths(PathBytes(environment_.programDir), environment_.programDirWritable,
                      PathBytes(environment_.configDir), PathBytes(environment_.tempDir), environment_.processId);
  IniPath = PathText(paths.iniPath);
  TempPath = PathText(paths.tempPath);
  tempDir_ = paths.tempDir;
  tempNumber_ = paths.tempNumber;
  if (!environment_.programDirWritable) QDir().mkpath(environment_.configDir);

  // The settings are stored before the fields show them, so the handlers the
  // fields raise find nothing changed and save nothing back.
  OutExt = PathText(WinSys::GetIniString(paths.iniPath, WinSys::kSection, WinSys::kFileExtKey));
  Text3->setText(OutExt);
  OverWriteOn = WinSys::ReadsAsTrue(WinSys::GetIniString(paths.iniPath, WinSys::kSection, WinSys::kOverWriteKey));
  Check1->setChecked(OverWriteOn);

  if (logs.empty()) return;

  // Batch mode: every log in turn with the settings just loaded, then Exit.
  batch_ = batchRan_ = true;
  show();
  PumpEvents();
  // No log of the batch is written over, and none is converted twice.
  BatchGuard guard(FileSystem::System(), logs);
  std::size_t converted = 0;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    const std::string& log = logs[i];
    if (platform::CaughtStopSignal()) {  // the logs left are not converted
      stopStatus_ = platform::StopSignalExitStatus();
      break;
    }
    if (!isVisible()) {  // closed by the user during the batch
      ReportFailure(PrintableName(log) + ": not converted, the window was closed");
      continue;
    }
    SetPath(Text1, log);
    PumpEvents();
    const std::string output = OverWriteOn ? text1Bytes_ : text2Bytes_;
    if (const std::string refusal = guard.Refusal(i, output); !refusal.empty()) {
      ReportFailure(refusal);
      continue;
    }
    const std::optional<RunStatus> status = Convert();
    if (status == RunStatus::Finished) ++converted, guard.Written(i, output);
    if (!status)
      ReportFailure("empty file name: nothing converted");
    else if (*status == RunStatus::Aborted)
      ReportFailure(PrintableName(log) + ": conversion aborted");
    else if (*status == RunStatus::Interrupted)
      stopStatus_ = platform::StopSignalExitStatus();
    if (stopStatus_) break;
    PumpEvents();
  }
  batchFailed_ = converted < logs.size();  // a failure, an abort, or the window closed early
  Command2_Click();
  batch_ = false;
}

void frmKestrel::SetPath(QLineEdit* field, const std::string& bytes) {
  std::string& held = field == Text1 ? text1Bytes_ : text2Bytes_;
  const bool changed = held != bytes;
  held = bytes;
  const QString shown = DisplayName(bytes);
  if (field->text() != shown)
    field->setText(shown);
  else if (changed && field == Text1)
    Text1_Change();  // other bytes behind the same text
}

void frmKestrel::Text1_Change() {
  // The output path is the input path with its extension replaced.
  text1Bytes_ = FieldBytes(Text1->text(), text1Bytes_);
  Text1Tag = PathWithoutExtension(text1Bytes_);
  SetPath(Text2, Text1Tag + PathBytes(OutExt));
}

void frmKestrel::Text3_Change() {
  if (Text3->text() != OutExt) {
    OutExt = QString::fromStdString(NormaliseExtension(Text3->text().toStdString()));
    WinSys::PutIniString(PathBytes(IniPath), WinSys::kSection, WinSys::kFileExtKey, OutExt.toLocal8Bit().toStdString());
  }
  Text1_Change();
}

void frmKestrel::Check1_Click() {
  const bool checked = Check1->isChecked();
  if (checked == OverWriteOn) return;  // start-up showing the stored option
  OverWriteOn = checked;
  WinSys::PutIniString(PathBytes(IniPath), WinSys::kSection, WinSys::kOverWriteKey, checked ? "TRUE" : "FALSE");
}

void frmKestrel::Command1_Click() { Convert(); }

std::optional<RunStatus> frmKestrel::Convert() {
  if (Text1->text().isEmpty()) {
    Beeper::Beep();
    Text1->setFocus();
    return std::nullopt;
  }
  if (Text2->text().isEmpty()) {
    Beeper::Beep();
    Text2->setFocus();
    return std::nullopt;
  }
  Command1->setEnabled(false);
  Command2->setText(kAbortCaption);
  // The run opens the paths captured here; later edits of the fields or of
  // the overwrite option apply to the next run.
  text1Bytes_ = FieldBytes(Text1->text(), text1Bytes_);
  text2Bytes_ = FieldBytes(Text2->text(), text2Bytes_);
  Text1Tag = text1Bytes_;
  Text2Tag = OverWriteOn ? text1Bytes_ : text2Bytes_;

  RunRequest request;
  request.inputPath = Text1Tag;
  request.outputPath = Text2Tag;
  request.tempDir = tempDir_;
  request.tempNumber = tempNumber_;
  request.inPlace = OverWriteOn;  // the log as its own output only with the overwrite option
  ConversionRun run(Engine);
  run.SetInterruptFlag(platform::StopSignalFlag());
  run_ = &run;
  // Every progress text is announced; the caption is repainted and events
  // are pumped at the screen's pace, and at each pass's start and end.
  QString latest = QString::fromStdString(Progress{}.Text());
  QElapsedTimer sincePump;
  sincePump.start();
  const RunResult result = run.Execute(request, [&](const Progress& progress) {
    if (!progress.heartbeat) {
      latest = QString::fromStdString(progress.Text());
      emit progressShown(latest);
    }
    const bool passEdge = !progress.blockEnd && !progress.heartbeat;
    if (!passEdge && sincePump.elapsed() < kScreenPaceMs) return;
    sincePump.restart();
    if (Command1->text() != latest) ShowProgressCaption(latest);
    PumpEvents();  // the window answers, Abort included
  });
  run_ = nullptr;
  if (!result.tempPath.empty()) TempPath = PathText(result.tempPath);  // a taken name is skipped

  Command1->setFont(QFont());
  Command1->setText(kConvertCaption);
  Command2->setText(kExitCaption);
  Command1->setEnabled(true);
  Command2->setEnabled(true);
  if (result.status == RunStatus::Failed) ReportFailure(result.error, result.errorNumber == kErrorOutputIsLog);
  if (result.status == RunStatus::Interrupted && !batch_) EndOnStopSignal();
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    close();
  }
  return result.status;
}

void frmKestrel::ShowProgressCaption(const QString& text) {
  QStyleOptionButton option;
  option.initFrom(Command1);
  const int room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, Command1).width();
  QFont face = font();
  for (qreal size = face.pointSizeF(); size > 4 && QFontMetrics(face).horizontalAdvance(text) > room; size -= 0.5)
    face.setPointSizeF(size - 0.5);
  if (Command1->font() != face) Command1->setFont(face);
  Command1->setText(text);
}

void frmKestrel::EndOnStopSignal() {
  stopStatus_ = platform::StopSignalExitStatus();
  QCoreApplication::exit(stopStatus_);
}

void frmKestrel::Command2_Click() {
  if (Command2->text() == kAbortCaption) {
    // Abort: the run finds the rest of its input skipped when it resumes.
    Command2->setEnabled(false);
    if (run_) run_->Abort();
    return;
  }
  close();
}

void frmKestrel::Command3_Click() {
  Text1->setFocus();
  const QString chosen = FileDialog::GetOpenFileName(this, Text1->text());
  if (!chosen.isEmpty()) SetPath(Text1, ChosenFileBytes(QDir::toNativeSeparators(chosen)));
}

void frmKestrel::Form_OLEDragDrop(const QMimeData* data) {
  const std::string file = FirstDroppedFile(data);
  if (!file.empty()) SetPath(Text1, file);
}

void frmKestrel::closeEvent(QCloseEvent* event) {
  if (run_) {
    // Closed during a run: abort it as the Abort button does, and close once
    // the run has cleaned up after itself.
    if (Command2->isEnabled()) Command2_Click();
    closeAfterRun_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

// Centres the window, frame included, on the primary screen's available
// area. The frame is known only once the window manager has put it around
// the shown window, so the window is centred again then.
void frmKestrel::Centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize framed = frameGeometry().size();
  move(area.x() + (area.width() - framed.width()) / 2, area.y() + (area.height() - framed.height()) / 2);
}

void frmKestrel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  CentreInFrame();
}

void frmKestrel::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  CentreInFrame();
}

void frmKestrel::CentreInFrame() {
  if (framePlaced_ || !isVisible() || frameGeometry().size() == size()) return;
  framePlaced_ = true;
  Centre();
}

bool frmKestrel::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      // Enter presses the focused button, as on Windows.
      const int key = static_cast<QKeyEvent*>(event)->key();
      auto* button = qobject_cast<QPushButton*>(watched);
      if (!button || (key != Qt::Key_Return && key != Qt::Key_Enter)) return QWidget::eventFilter(watched, event);
      button->click();
      return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (FirstDroppedFile(drag->mimeData()).empty())
        drag->ignore();  // dragged text: no control takes it
      else
        drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (FirstDroppedFile(drop->mimeData()).empty()) {
        drop->ignore();
      } else {
        drop->acceptProposedAction();
        Form_OLEDragDrop(drop->mimeData());
      }
      return true;
    }
    default: return QWidget::eventFilter(watched, event);
  }
}

void frmKestrel::ReportFailure(const std::string& message, bool outputIsLog) {
  if (batch_) {
    // The file name's bytes as they are, control characters escaped.
    MessageBox::ErrorLine("kestrel: " + message + (outputIsLog ? " (ログファイル上書き converts it in place)" : ""));
    return;
  }
  MessageBox::Critical(this, windowTitle(),
                       QStringLiteral("変換できませんでした。\n") + DisplayName(message) +
                           (outputIsLog ? QStringLiteral("\nログをその場で変換するには、「ログファイル上書き」に"
                                                         "チェックを入れてください。")
                                        : QString()));
}

}  // namespace kestrel
