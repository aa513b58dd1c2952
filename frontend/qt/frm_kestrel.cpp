#include "frm_kestrel.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
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

#include "dialogs.h"
#include "path_bytes.h"
#include "platform.h"

namespace kestrel {
namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The room a caption has in its control, in pixels.
int CaptionRoom(QWidget* control) {
  auto* label = qobject_cast<QLabel*>(control);
  if (label) return label->contentsRect().width();
  QStyleOptionButton option;
  option.initFrom(control);
  const bool box = qobject_cast<QCheckBox*>(control);
  return control->style()
      ->subElementRect(box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, control)
      .width();
}

}  // namespace

FormEnvironment frmKestrel::CurrentEnvironment() {
  const QString programDir = QCoreApplication::applicationDirPath();
  const std::string config = platform::UserConfigFolder();
  FormEnvironment environment;
  environment.programDir = PathBytes(programDir);
  // A program installed under /usr (a package's) never writes there, even
  // for root: its settings go to the user's folder.
  environment.programDirWritable = !programDir.startsWith(QLatin1String("/usr/")) && QFileInfo(programDir).isWritable();
  environment.configDir = config.empty() ? "" : config + "/Kestrel";
  environment.tempDir = PathBytes(QDir::tempPath());
  environment.processId = platform::ProcessId();
  // Started from a desktop's launcher, with no terminal at all, nobody reads
  // standard error; offscreen, nobody would see a message box either, and
  // started from no desktop (a scheduled job), nobody may be there to answer it.
  environment.errorsSeen =
      platform::ConnectStandardError() || QGuiApplication::platformName() == QLatin1String("offscreen");
  return environment;
}

frmKestrel::frmKestrel(FormEnvironment environment, QWidget* parent)
    : QWidget(parent), presenter_(*this, std::move(environment)) {
  setObjectName(QStringLiteral("frmKestrel"));
  // The form is drawn for the 9-point Japanese UI face of a Japanese desktop;
  // the field captions use a larger Gothic face. Where the Windows faces are
  // missing, IPA's take their place, so the captions keep their size and
  // never show as boxes; captions that another face makes wider are fitted.
  const QFont ui = UiFont(font());
  setFont(ui);
  QFont gothic = ui;
  gothic.setFamilies({QString::fromUtf8(kGothicFace), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic")});
  gothic.setPointSizeF(kGothicPoints);
  gothic.setWeight(QFont::Normal);

  // The controls in tab order, placed in twips: at 96 dots per inch 15 twips
  // make a pixel, and Qt scales the pixels for screens of higher density.
  for (const FormControl& c : kFormControls) {
    QWidget* control = nullptr;
    switch (c.kind) {
      case ControlKind::Label: control = new QLabel(this); break;
      case ControlKind::Field: control = new QLineEdit(this); break;
      case ControlKind::Button: control = new QPushButton(this); break;
      case ControlKind::CheckBox: control = new QCheckBox(this); break;
    }
    control->setObjectName(QString::fromLatin1(c.name));
    control->setGeometry(TwipsToPixels(c.left, 96), TwipsToPixels(c.top, 96), TwipsToPixels(c.width, 96),
                         TwipsToPixels(c.height, 96));
    if (c.gothic) control->setFont(gothic);
    controls_[c.id] = control;
    if (c.id == Control::Command1) {
      // Disabled during a run, it shows the progress: in the normal text
      // colour, not the faint one of a disabled button.
      QPalette palette = control->palette();
      palette.setColor(QPalette::Disabled, QPalette::ButtonText, palette.color(QPalette::Active, QPalette::ButtonText));
      control->setPalette(palette);
    }
    if (c.id == Control::Label4) {  // the description, wrapped
      static_cast<QLabel*>(control)->setWordWrap(true);
      static_cast<QLabel*>(control)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    if (c.kind != ControlKind::Field) SetCaption(c.id, c.caption);
  }
  setFixedSize(TwipsToPixels(kFormWidth, 96), TwipsToPixels(kFormHeight, 96));

  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/kestrel-32.png"));
  icon.addFile(QStringLiteral(":/icons/kestrel-16.png"));
  setWindowIcon(icon);

  // A stop signal (Ctrl-C, SIGTERM, SIGHUP) ends the program; a run notices
  // it by itself, an idle window here.
  auto* stopSignalPoll = new QTimer(this);
  connect(stopSignalPoll, &QTimer::timeout, this, [this] {
    if (const std::optional<int> status = presenter_.StopWhileIdle()) QCoreApplication::exit(*status);
  });
  stopSignalPoll->start(100);

  // Files dropped on any control, or on the window, name the input log.
  setAcceptDrops(true);
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) {
    child->setAcceptDrops(true);
    child->installEventFilter(this);
  }

  for (const Control field : {Control::Text1, Control::Text2, Control::Text3}) {
    connect(static_cast<QLineEdit*>(Widget(field)), &QLineEdit::textChanged, this, [this, field](const QString& text) {
      presenter_.Edited(field, FieldBytes(text, presenter_.Value(field)));
    });
  }
  connect(static_cast<QCheckBox*>(Widget(Control::Check1)), &QCheckBox::toggled, this,
          [this](bool checked) { presenter_.Toggled(checked); });
  const std::pair<Control, void (FormPresenter::*)()> buttons[] = {{Control::Command1, &FormPresenter::Command1_Click},
                                                                   {Control::Command2, &FormPresenter::Command2_Click},
                                                                   {Control::Command3, &FormPresenter::Command3_Click}};
  for (const auto& [button, handler] : buttons)
    connect(static_cast<QPushButton*>(Widget(button)), &QPushButton::clicked, this,
            [this, handler = handler] { (presenter_.*handler)(); });
  Widget(Control::Text1)->setFocus();
}

void frmKestrel::ShowText(Control field, const std::string& value) {
  static_cast<QLineEdit*>(Widget(field))->setText(DisplayName(value));
}

// A caption in the largest face, up to the control's own, that shows it
// whole; the wrapped description in the largest whose lines fit its height.
void frmKestrel::SetCaption(Control control, const std::string& caption) {
  QWidget* widget = Widget(control);
  QFont face = FormControlOf(control).gothic ? widget->font() : font();
  face.setPointSizeF(FormControlOf(control).gothic ? kGothicPoints : kDefaultPoints);
  auto* label = qobject_cast<QLabel*>(widget);
  const bool wrapped = label && label->wordWrap();
  const auto measure = [&](const std::string& text, double points) {
    QFont sized = face;
    sized.setPointSizeF(points);
    const QFontMetrics metrics(sized);
    return wrapped ? metrics.boundingRect(widget->contentsRect(), Qt::TextWordWrap, Text(text)).height()
                   : metrics.horizontalAdvance(Text(text));
  };
  const FittedCaption fitted =
      wrapped ? FittedCaption{caption, FittingPoints(face.pointSizeF(), widget->contentsRect().height(),
                                                     [&](double points) { return measure(caption, points); })}
              : FitCaption(caption, face.pointSizeF(), CaptionRoom(widget), measure);
  face.setPointSizeF(fitted.points);
  if (widget->font() != face) widget->setFont(face);
  widget->setProperty("text", Text(fitted.text));
}

void frmKestrel::SetEnabled(Control control, bool enabled) { Widget(control)->setEnabled(enabled); }
void frmKestrel::SetChecked(bool checked) { static_cast<QCheckBox*>(Widget(Control::Check1))->setChecked(checked); }
void frmKestrel::SetFocus(Control control) { Widget(control)->setFocus(); }
void frmKestrel::SetTitle(const std::string& title) { setWindowTitle(Text(title)); }
void frmKestrel::Beep() { Beeper::Beep(); }
void frmKestrel::PumpEvents() { QCoreApplication::processEvents(); }
void frmKestrel::ErrorLine(const std::string& line) { platform::WriteError(line + "\n"); }

void frmKestrel::ShowMessage(const std::string& text) { MessageBox::Critical(this, windowTitle(), DisplayName(text)); }

std::optional<std::string> frmKestrel::ChooseFile(const std::string& start) {
  const QString chosen = FileDialog::GetOpenFileName(this, DisplayName(start));
  if (chosen.isEmpty()) return std::nullopt;
  return ChosenFileBytes(QDir::toNativeSeparators(chosen));
}

void frmKestrel::closeEvent(QCloseEvent* event) {
  if (presenter_.CloseRequested())
    event->accept();
  else
    event->ignore();
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
  return HandleKeyOrDrop(watched, event,
                         [this](const std::vector<std::string>& files) { presenter_.Form_OLEDragDrop({files[0]}); }) ||
         QWidget::eventFilter(watched, event);
}

}  // namespace kestrel
