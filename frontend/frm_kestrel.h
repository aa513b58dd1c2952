#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "conversion_run.h"
#include "line_rewriter.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPushButton;

namespace kestrel {

// Kestrel's only window: the input log, the output path and extension, the
// overwrite option, and the Convert, Exit/Abort and Browse buttons. One
// handler per control event; setting a field or the check box from code
// raises the same handler as a user's edit, and only when the value changes.
class frmKestrel : public QWidget {
  Q_OBJECT
  // The temporary copy's path: the first one tried until a run has taken
  // one, then the one the last run took.
  Q_PROPERTY(QString TempPath READ tempPath)

 public:
  // Where the program runs: what start-up needs to place its settings file
  // and its temporary copy.
  struct Environment {
    QString programDir;
    bool programDirWritable = true;
    QString configDir;  // used when the program's directory is read-only
    QString tempDir;    // likewise
    std::uint32_t processId = 0;
    static Environment Current();
  };

  explicit frmKestrel(Environment environment, QWidget* parent = nullptr);

  // Start-up: places and titles the window, computes its paths, loads the
  // settings and, given log paths (as the bytes the user gave), converts each
  // in turn and then exits.
  void Form_Load(const std::vector<std::string>& logs);
  bool BatchRan() const { return batchRan_; }
  // 0 when every log of the batch converted, 1 when any did not, and 128 plus
  // the signal's number when a stop signal ended the batch.
  int BatchExitCode() const { return stopStatus_ ? stopStatus_ : batchFailed_ ? 1 : 0; }

  // Puts a progress text on the Convert button, in a face small enough for
  // the whole of it to show.
  void ShowProgressCaption(const QString& text);

 signals:
  // A progress text was put on the Convert button.
  void progressShown(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Text1_Change();
  void Text3_Change();
  void Check1_Click();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Form_OLEDragDrop(const QMimeData* data);

  // Creates one control of the form: its object name, its caption and its
  // place in twips. Controls made in turn take the focus in that order.
  template <typename Control>
  Control* Place(const char* name, const QString& caption, int left, int top, int width, int height);
  // Sets a path field to a path given as bytes; the field shows it as best it
  // can, and a run opens these bytes for as long as the field shows them.
  void SetPath(QLineEdit* field, const std::string& bytes);
  // The Convert command; nothing when a path was missing and it only beeped.
  std::optional<RunStatus> Convert();
  // A failure: a line on standard error in batch mode, else a message box.
  // `outputIsLog` adds how to convert a log in place.
  void ReportFailure(const std::string& message, bool outputIsLog = false);
  void Centre();
  void CentreInFrame();  // again, once the frame is known
  void EndOnStopSignal();
  QString tempPath() const { return TempPath; }

  // The controls, named as on the form.
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLineEdit* Text1;
  QLineEdit* Text2;
  QLineEdit* Text3;
  QCheckBox* Check1;
  QPushButton* Command1;
  QPushButton* Command2;
  QPushButton* Command3;
  // The text fields' second, invisible strings: scratch for the path fields,
  // and the paths a run really opens.
  std::string Text1Tag;
  std::string Text2Tag;

  // Window state.
  QString IniPath;
  QString TempPath;
  QString OutExt;
  bool OverWriteOn = false;
  LineRewriter Engine;  // keeps RouteHead for as long as the window lives

  Environment environment_;
  std::string tempDir_;
  std::uint32_t tempNumber_ = 0;
  ConversionRun* run_ = nullptr;  // the run in progress, if any
  bool batch_ = false;
  bool batchRan_ = false;
  bool batchFailed_ = false;
  bool closeAfterRun_ = false;
  bool framePlaced_ = false;  // centred with the window manager's frame
  int stopStatus_ = 0;
  // The bytes behind the path fields (see SetPath).
  std::string text1Bytes_;
  std::string text2Bytes_;
};

}  // namespace kestrel
