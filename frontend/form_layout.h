#pragma once

#include <functional>
#include <string>

namespace kestrel {

// The window's controls, in tab order.
enum class Control { Label1, Text1, Command3, Label2, Text2, Label3, Text3, Check1, Label4, Command1, Command2 };
enum class ControlKind { Label, Field, Button, CheckBox };

// One control of the form: its name, kind and caption (UTF-8), its place in
// twips (1/1440 inch) relative to the client area, and whether it takes the
// larger Gothic face rather than the window's default one.
struct FormControl {
  Control id;
  const char* name;
  ControlKind kind;
  const char* caption;
  int left, top, width, height;
  bool gothic;
};

// The form's client area in twips, and its controls in tab order.
inline constexpr int kFormWidth = 4695, kFormHeight = 1935;
extern const FormControl kFormControls[11];
const FormControl& FormControlOf(Control id);

// The faces: "ＭＳ Ｐゴシック" at 11.25 points on the field captions and the
// check box, the Japanese default "MS UI Gothic" at 9 points elsewhere.
inline constexpr const char* kGothicFace = "ＭＳ Ｐゴシック";
inline constexpr double kGothicPoints = 11.25;
inline constexpr const char* kDefaultFace = "MS UI Gothic";
inline constexpr double kDefaultPoints = 9;

// The Browse dialog's filters: logs first, then every file.
inline constexpr const char* kLogFilesName = "ログ ファイル";
inline constexpr const char* kLogFilesPatterns = "*.log;*.txt";
inline constexpr const char* kAllFilesName = "すべてのファイル";

// Twips in pixels at `dpi` dots per inch, rounded to the nearest (15 twips
// make a pixel at 96 dpi, 10 at 144).
int TwipsToPixels(int twips, int dpi);

// The largest size, from `points` down in steps of half a point to `least`
// points, at which a caption `width(size)` pixels wide (or high, for the
// wrapped description) fits `room` pixels.
double FittingPoints(double points, int room, const std::function<int(double points)>& width, double least = 4);

// A caption as a control shows it: its text and its face's size.
struct FittedCaption {
  std::string text;
  double points;
};

// A caption in the largest face, down to two points below the control's
// own, in which it is at most `room` pixels wide (`width(text, size)`): a
// long progress count is shown whole and still legible. One too wide even
// then loses its blanks ("99999999/99999999"), in the largest face again.
FittedCaption FitCaption(const std::string& caption, double points, int room,
                         const std::function<int(const std::string& text, double points)>& width);

}  // namespace kestrel
