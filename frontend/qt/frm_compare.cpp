#include "frm_compare.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <climits>
#include <utility>
#include <vector>

#include "dialogs.h"
#include "form_layout.h"
#include "path_bytes.h"
#include "platform.h"

namespace kestrel {

// The list's rows, asked of the presenter only for the rows the list draws;
// the last row asked is kept, as the list asks for it a cell at a time.
class CompareRowsModel : public QAbstractTableModel {
 public:
  CompareRowsModel(const ComparePresenter& presenter, QObject* parent)
      : QAbstractTableModel(parent), presenter_(presenter) {}

  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : kCompareColumns; }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rows_) return {};
    if (role == Qt::TextAlignmentRole && index.column() >= 3)  // the line numbers
      return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole) return {};
    if (cachedAt_ != index.row()) {
      cached_ = presenter_.Row(static_cast<std::size_t>(index.row()));
      cachedAt_ = index.row();
    }
    return QString::fromStdString(cached_.Cell(index.column()));
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString::fromUtf8(ColumnCaption(section));
  }

  void Reset(std::size_t rows) {
    beginResetModel();
    rows_ = static_cast<int>(std::min<std::size_t>(rows, INT_MAX));
    cachedAt_ = -1;
    endResetModel();
  }

 private:
  const ComparePresenter& presenter_;
  int rows_ = 0;
  mutable int cachedAt_ = -1;
  mutable CompareRow cached_;
};

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The controls' object names, as CompareControl names them.
const char* const kNames[] = {"LogA",     "BrowseA",        "LogB",       "BrowseB", "InterfaceMap", "BrowseMap",
                              "Accepted", "BrowseAccepted", "NoLocal",    "Compare", "Close",        "Search",
                              "List",     "OpenReport",     "SaveReport", "SaveCsv"};

constexpr CompareControl kFields[] = {CompareControl::LogA, CompareControl::LogB, CompareControl::InterfaceMap,
                                      CompareControl::Accepted};

}  // namespace

FrmCompare::FrmCompare(FormEnvironment environment, QWidget* parent)
    : QWidget(parent), presenter_(*this, std::move(environment)) {
  setObjectName(QStringLiteral("FrmCompare"));
  // The converter's faces: the Japanese desktop's UI face, IPA's in its
  // place; the layout makes room for whichever face draws the captions.
  const QFont ui = UiFont(font());
  setFont(ui);

  // Made in tab order: the fields, each with its label and Browse button.
  auto make = [this](CompareControl control, QWidget* widget) {
    widget->setObjectName(QString::fromLatin1(kNames[static_cast<int>(control)]));
    if (!qobject_cast<QLineEdit*>(widget) && !qobject_cast<QTableView*>(widget))
      widget->setProperty("text", QString::fromUtf8(CompareCaption(control)));
    controls_[control] = widget;
    return widget;
  };
  auto* fields = new QGridLayout;
  for (int f = 0; f < 4; ++f) {
    const CompareControl field = kFields[f];
    auto* label = new QLabel(QString::fromUtf8(CompareCaption(field)), this);
    label->setObjectName(QStringLiteral("Label") + QString::fromLatin1(kNames[static_cast<int>(field)]));
    auto* edit = static_cast<QLineEdit*>(make(field, new QLineEdit(this)));
    label->setBuddy(edit);
    fields->addWidget(label, f, 0);
    fields->addWidget(edit, f, 1);
    fields->addWidget(make(static_cast<CompareControl>(static_cast<int>(field) + 1), new QPushButton(this)), f, 2);
    connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& text) {
      presenter_.Edited(field, FieldBytes(text, presenter_.Value(field)));
    });
  }
  fields->setColumnStretch(1, 1);

  auto* commands = new QHBoxLayout;
  commands->addWidget(make(CompareControl::NoLocal, new QCheckBox(this)));
  commands->addStretch(1);
  commands->addWidget(make(CompareControl::Compare, new QPushButton(this)));
  commands->addWidget(make(CompareControl::Close, new QPushButton(this)));

  // The progress while comparing, then the result, in bold, and its
  // warnings; the search at the line's end.
  auto* result = new QHBoxLayout;
  progress_ = new QLabel(this);
  summary_ = new QLabel(this);
  warnings_ = new QLabel(this);
  progress_->setObjectName(QStringLiteral("Progress"));
  summary_->setObjectName(QStringLiteral("Summary"));
  warnings_->setObjectName(QStringLiteral("Warnings"));
  QFont bold = ui;
  bold.setBold(true);
  summary_->setFont(bold);
  for (QWidget* line : {progress_, summary_, warnings_}) {
    result->addWidget(line);
    line->hide();  // shown with a text, so that no empty one takes room
  }
  result->addStretch(1);
  auto* searchLabel = new QLabel(QString::fromUtf8(CompareCaption(CompareControl::Search)), this);
  searchLabel->setObjectName(QStringLiteral("LabelSearch"));
  auto* search = static_cast<QLineEdit*>(make(CompareControl::Search, new QLineEdit(this)));
  searchLabel->setBuddy(search);
  search->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 24);
  search->setClearButtonEnabled(true);
  result->addWidget(searchLabel);
  result->addWidget(search);
  connect(search, &QLineEdit::textChanged, this,
          [this](const QString& text) { presenter_.Edited(CompareControl::Search, text.toStdString()); });

  // The filters, all shown at first.
  auto* filters = new QHBoxLayout;
  for (int k = 0; k <= kKindFilters; ++k) {
    auto* box = new QCheckBox(QString::fromUtf8(FilterCaption(k)), this);
    box->setObjectName(QStringLiteral("Filter%1").arg(k));
    box->setChecked(true);
    filters->addWidget(box);
    connect(box, &QCheckBox::toggled, this, [this, k](bool shown) {
      k < kKindFilters ? presenter_.ShowKind(1 << k, shown) : presenter_.ShowAccepted(shown);
    });
  }
  filters->addStretch(1);

  // The list: a fixed height for every row, so that it never measures rows
  // it does not draw, however many there are.
  auto* list = static_cast<QTableView*>(make(CompareControl::List, new QTableView(this)));
  rows_ = new CompareRowsModel(presenter_, this);
  list->setModel(rows_);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setTabKeyNavigation(false);
  list->setWordWrap(false);
  list->setShowGrid(false);
  list->setAlternatingRowColors(true);
  list->verticalHeader()->hide();
  list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
  QHeaderView* header = list->horizontalHeader();
  header->setHighlightSections(false);
  const int digit = list->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  const int em = list->fontMetrics().horizontalAdvance(QChar(0x3042));  // あ
  const int widths[kCompareColumns] = {digit * 24, em * 7, 0, digit * 5 + em * 3, digit * 5 + em * 3};
  for (int c = 0; c < kCompareColumns; ++c)
    if (widths[c])  // at least the caption's width, with room for the margins
      header->resizeSection(
          c,
          std::max(widths[c], header->fontMetrics().horizontalAdvance(QString::fromUtf8(ColumnCaption(c))) + em * 2));
  header->setSectionResizeMode(2, QHeaderView::Stretch);  // what differs takes the room left
  connect(list, &QTableView::activated, this,
          [this](const QModelIndex& row) { presenter_.Activated(static_cast<std::size_t>(row.row())); });

  auto* reports = new QHBoxLayout;
  reports->addStretch(1);
  for (const CompareControl button : {CompareControl::OpenReport, CompareControl::SaveReport, CompareControl::SaveCsv})
    reports->addWidget(make(button, new QPushButton(this)));

  auto* window = new QVBoxLayout(this);
  window->addLayout(fields);
  window->addLayout(commands);
  window->addLayout(result);
  window->addLayout(filters);
  window->addWidget(list, 1);  // the list takes the room the window gains
  window->addLayout(reports);

  for (const auto& [control, widget] : controls_)
    if (auto* button = qobject_cast<QPushButton*>(widget))
      connect(button, &QPushButton::clicked, this, [this, control = control] { presenter_.Clicked(control); });
  connect(static_cast<QCheckBox*>(Widget(CompareControl::NoLocal)), &QCheckBox::toggled, this,
          [this](bool checked) { presenter_.Toggled(checked); });

  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/kestrel-32.png"));
  icon.addFile(QStringLiteral(":/icons/kestrel-16.png"));
  setWindowIcon(icon);

  // While the presenter's threads work, it is asked every 40 ms how far.
  ticks_ = new QTimer(this);
  ticks_->setInterval(40);
  connect(ticks_, &QTimer::timeout, this, [this] { presenter_.Tick(); });

  // A stop signal (Ctrl-C, SIGTERM, SIGHUP) closes the window as its close
  // button does, a dialog open then first: the work under way is stopped
  // and the reports made for the browser are deleted.
  auto* stopSignalPoll = new QTimer(this);
  connect(stopSignalPoll, &QTimer::timeout, this, [this, stopSignalPoll] {
    if (!platform::CaughtStopSignal()) return;
    if (QWidget* dialog = QApplication::activeModalWidget()) return (void)dialog->close();
    stopSignalPoll->stop();
    close();
  });
  stopSignalPoll->start(100);

  // Files dropped on any control, or on the window, name the logs.
  setAcceptDrops(true);
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) {
    child->setAcceptDrops(true);
    child->installEventFilter(this);
  }
  // Somewhat wider than it must be, as high again as the list's header and
  // a dozen rows need, within the screen.
  QSize size = minimumSizeHint() + QSize(80, list->verticalHeader()->defaultSectionSize() * 12);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10).expandedTo(minimumSizeHint());
  resize(size);
  Widget(CompareControl::LogA)->setFocus();
}

FrmCompare::~FrmCompare() = default;

void FrmCompare::ShowText(CompareControl field, const std::string& value) {
  static_cast<QLineEdit*>(Widget(field))->setText(field == CompareControl::Search ? Text(value) : DisplayName(value));
}

void FrmCompare::SetChecked(bool checked) {
  static_cast<QCheckBox*>(Widget(CompareControl::NoLocal))->setChecked(checked);
}

void FrmCompare::SetCaption(CompareControl control, const std::string& caption) {
  Widget(control)->setProperty("text", Text(caption));
}

void FrmCompare::SetEnabled(CompareControl control, bool enabled) { Widget(control)->setEnabled(enabled); }
void FrmCompare::SetFocus(CompareControl control) { Widget(control)->setFocus(); }
void FrmCompare::SetTitle(const std::string& title) { setWindowTitle(Text(title)); }
void FrmCompare::Beep() { Beeper::Beep(); }

void FrmCompare::ShowMessage(const std::string& text) { MessageBox::Critical(this, windowTitle(), DisplayName(text)); }

namespace {

void ShowLine(QLabel* label, const std::string& text) {
  label->setText(Text(text));
  label->setVisible(!text.empty());
}

}  // namespace

void FrmCompare::ShowProgress(const std::string& text) { ShowLine(progress_, text); }

void FrmCompare::ShowSummary(const std::string& summary, const std::string& warnings) {
  ShowLine(summary_, summary);
  ShowLine(warnings_, warnings);
}

void FrmCompare::SetRowCount(std::size_t rows) { rows_->Reset(rows); }

std::optional<std::string> FrmCompare::ChooseFile(const std::string& start) {
  const QString chosen = FileDialog::GetOpenFileName(this, DisplayName(start));
  if (chosen.isEmpty()) return std::nullopt;
  return ChosenFileBytes(QDir::toNativeSeparators(chosen));
}

std::optional<std::string> FrmCompare::ChooseSaveFile(const std::string& suggested, SavedReport kind) {
  const bool csv = kind == SavedReport::Csv;
  const QString chosen = FileDialog::GetSaveFileName(
      this, DisplayName(suggested), csv ? QStringLiteral("CSV ファイル") : QStringLiteral("HTML ファイル"),
      csv ? QStringLiteral("*.csv") : QStringLiteral("*.html *.htm"));
  if (chosen.isEmpty()) return std::nullopt;
  return ChosenFileBytes(QDir::toNativeSeparators(chosen));
}

void FrmCompare::SetTicking(bool on) {
  if (on != ticks_->isActive()) on ? ticks_->start() : ticks_->stop();
}

void FrmCompare::ShowDetail(const std::string& title, const std::string& text) {
  TextDialog::Show(this, Text(title), Text(text));
}

bool FrmCompare::OpenInBrowser(const std::string& path) { return Browser::Open(path); }

void FrmCompare::closeEvent(QCloseEvent* event) {
  if (presenter_.CloseRequested())
    event->accept();
  else
    event->ignore();
}

bool FrmCompare::eventFilter(QObject* watched, QEvent* event) {
  return HandleKeyOrDrop(watched, event,
                         [this](const std::vector<std::string>& files) { presenter_.Dropped(files); }) ||
         QWidget::eventFilter(watched, event);
}

}  // namespace kestrel
