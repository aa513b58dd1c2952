#pragma once

#include <QWidget>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "form_presenter.h"

namespace kestrel {

// Kestrel's only window on Linux, drawn with Qt: the controls built from the
// form's table, and what only Qt knows (faces, the icon, Enter on a button,
// drops, the bytes behind a file name). What the window does is the
// presenter's.
class frmKestrel : public QWidget, public FormView {
  Q_OBJECT

 public:
  // Where the program runs, as Qt and the system tell.
  static FormEnvironment CurrentEnvironment();

  explicit frmKestrel(FormEnvironment environment, QWidget* parent = nullptr);
  FormPresenter& Presenter() { return presenter_; }

  // FormView.
  void ShowText(Control field, const std::string& value) override;
  void SetCaption(Control control, const std::string& caption) override;
  void SetEnabled(Control control, bool enabled) override;
  void SetChecked(bool checked) override;
  void SetFocus(Control control) override;
  void SetTitle(const std::string& title) override;
  void Centre() override;
  void Show() override { show(); }
  void Close() override { close(); }
  void Beep() override;
  void ShowMessage(const std::string& text) override;
  std::optional<std::string> ChooseFile(const std::string& start) override;
  void PumpEvents() override;
  void ErrorLine(const std::string& line) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* Widget(Control control) const { return controls_.at(control); }
  void CentreInFrame();  // again, once the frame is known

  std::map<Control, QWidget*> controls_;
  FormPresenter presenter_;
  bool framePlaced_ = false;  // centred with the window manager's frame
};

}  // namespace kestrel
