#pragma once

#include <QWidget>

#include <map>
#include <optional>
#include <string>

#include "compare_presenter.h"

class QLabel;
class QTimer;

namespace kestrel {

class CompareRowsModel;

// The comparison window on Linux, drawn with Qt: the fields, the filters and
// the list of differences laid out for the faces at hand, and what only Qt
// knows (drops, the ticking timer, the dialogs, the browser). What the
// window does is the presenter's. Controls are named as CompareControl's
// values ("LogA", "Compare"…), the filters "Filter0" to "Filter8".
class FrmCompare : public QWidget, public CompareView {
  Q_OBJECT

 public:
  explicit FrmCompare(FormEnvironment environment, QWidget* parent = nullptr);
  ~FrmCompare() override;
  ComparePresenter& Presenter() { return presenter_; }

  // CompareView.
  void ShowText(CompareControl field, const std::string& value) override;
  void SetChecked(bool checked) override;
  void SetCaption(CompareControl control, const std::string& caption) override;
  void SetEnabled(CompareControl control, bool enabled) override;
  void SetFocus(CompareControl control) override;
  void SetTitle(const std::string& title) override;
  void Beep() override;
  void ShowMessage(const std::string& text) override;
  void ShowProgress(const std::string& text) override;
  void ShowSummary(const std::string& summary, const std::string& warnings) override;
  void SetRowCount(std::size_t rows) override;
  std::optional<std::string> ChooseFile(const std::string& start) override;
  std::optional<std::string> ChooseSaveFile(const std::string& suggested, SavedReport kind) override;
  void SetTicking(bool on) override;
  void ShowDetail(const std::string& title, const std::string& text) override;
  bool OpenInBrowser(const std::string& path) override;
  void Close() override { close(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* Widget(CompareControl control) const { return controls_.at(control); }

  std::map<CompareControl, QWidget*> controls_;
  QLabel *progress_ = nullptr, *summary_ = nullptr, *warnings_ = nullptr;
  CompareRowsModel* rows_ = nullptr;
  QTimer* ticks_ = nullptr;
  ComparePresenter presenter_;  // draws nothing before Load, when the controls are there
};

}  // namespace kestrel
