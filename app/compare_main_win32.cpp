// kestrel-compare-window on Windows: the comparison window. With two logs
// (as Explorer's Send to menu starts it) it compares them at once; with one
// it fills the first log field; /? shows the help.

#include <string>
#include <vector>

#include "platform.h"
#include "win32_compare.h"
#include "win32_shared.h"

namespace {

// The help of /?, in Japanese as the window is.
constexpr wchar_t kHelp[] =
    L"使い方: kestrel-compare-window.exe [比較元ログ [比較先ログ]]\r\n"
    L"\r\n"
    L"二つのルーティングテーブル (NEC IX、Cisco IOS、IOS XR、NX-OS の\r\n"
    L"show ip route) を経路ごとに比較するウィンドウを開きます。ログを二つ\r\n"
    L"指定すると (エクスプローラーの「送る」→「Kestrel で比較」も同じ)、\r\n"
    L"すぐに比較を始めます。差分は一覧で表示し、行をダブルクリックすると\r\n"
    L"両方のログの行を表示します。レポートは HTML と CSV で保存できます。\r\n"
    L"\r\n"
    L"スクリプトやバッチファイルには kestrel-compare.exe を使ってください\r\n"
    L"(kestrel-compare.exe --help で使い方を表示します)。\r\n";

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  std::vector<std::string> logs = kestrel::platform::Arguments(0, nullptr);
  logs.erase(logs.begin());
  if (logs.size() == 1 && logs[0] == "/?") return kestrel::win32::ShowHelp(kHelp, L"Kestrel");
  kestrel::Win32Compare window(instance, kestrel::win32::ProgramEnvironment());
  window.Show();
  window.Presenter().Load(logs);
  return window.Run();
}
