#include "form_layout.h"

namespace kestrel {

const FormControl kFormControls[11] = {
    {Control::Label1, "Label1", ControlKind::Label, "変換元ログ", 120, 150, 1215, 255, true},
    {Control::Text1, "Text1", ControlKind::Field, "", 1440, 120, 2655, 270, false},
    {Control::Command3, "Command3", ControlKind::Button, "参照", 4080, 120, 495, 255, false},
    {Control::Label2, "Label2", ControlKind::Label, "出力ファイル", 120, 510, 1215, 255, true},
    {Control::Text2, "Text2", ControlKind::Field, "", 1440, 480, 3135, 270, false},
    {Control::Label3, "Label3", ControlKind::Label, "出力拡張子", 120, 870, 1215, 255, true},
    {Control::Text3, "Text3", ControlKind::Field, "", 1440, 840, 975, 270, false},
    {Control::Check1, "Check1", ControlKind::CheckBox, "ログファイル上書き", 2520, 840, 2175, 240, true},
    {Control::Label4, "Label4", ControlKind::Label, "NEC の show ip route を Plover 用に加工します。", 60, 1260, 1470,
     615, false},
    {Control::Command1, "Command1", ControlKind::Button, "変 換", 1560, 1440, 1455, 375, false},
    {Control::Command2, "Command2", ControlKind::Button, "終 了", 3120, 1440, 1455, 375, false},
};

const FormControl& FormControlOf(Control id) { return kFormControls[static_cast<int>(id)]; }

int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

double FittingPoints(double points, int room, const std::function<int(double points)>& width, double least) {
  while (points > least && width(points) > room) points -= 0.5;
  return points;
}

FittedCaption FitCaption(const std::string& caption, double points, int room,
                         const std::function<int(const std::string& text, double points)>& width) {
  const double least = points - 2;
  FittedCaption fitted{caption, points};
  const auto fit = [&] {
    fitted.points = FittingPoints(
        points, room, [&](double size) { return width(fitted.text, size); }, least);
    return width(fitted.text, fitted.points) <= room;
  };
  if (fit() || caption.find(' ') == std::string::npos) return fitted;
  std::erase(fitted.text, ' ');
  fit();
  return fitted;
}

}  // namespace kestrel
