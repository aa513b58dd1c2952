// Times the comparison window's work without drawing it: the presenter,
// driven as a window drives it (its timer ticking every 40 ms), compares two
// logs. For each round it prints the milliseconds from the click on 比 較 to
// the result shown, and from a click on 中 断 (300 ms into writing the HTML
// report, and each ABORT-AFTER-MS into comparing) to the window answering
// again.
//
//   kestrel-compare-window-timing A B ROUNDS ABORT-AFTER-MS...

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "compare_presenter.h"

namespace {

using Clock = std::chrono::steady_clock;

// A window that draws nothing: it notes when the result is shown.
class TimingView : public kestrel::CompareView {
 public:
  void ShowText(kestrel::CompareControl, const std::string&) override {}
  void SetChecked(bool) override {}
  void SetCaption(kestrel::CompareControl, const std::string&) override {}
  void SetEnabled(kestrel::CompareControl, bool) override {}
  void SetFocus(kestrel::CompareControl) override {}
  void SetTitle(const std::string&) override {}
  void Beep() override {}
  void ShowMessage(const std::string& text) override { message = text; }
  void ShowProgress(const std::string&) override {}
  void ShowSummary(const std::string& text, const std::string&) override {
    if (!text.empty()) summary = text, shown = Clock::now();
  }
  void SetRowCount(std::size_t) override {}
  std::optional<std::string> ChooseFile(const std::string&) override { return {}; }
  std::optional<std::string> ChooseSaveFile(const std::string&, kestrel::SavedReport) override { return {}; }
  void SetTicking(bool on) override { ticking = on; }
  void ShowDetail(const std::string&, const std::string&) override {}
  bool OpenInBrowser(const std::string&) override { return false; }
  void Close() override {}

  bool ticking = false;
  std::string summary, message;
  Clock::time_point shown;
};

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Ticks every 40 ms, as the window's timer, until the work is done.
void Settle(kestrel::ComparePresenter& presenter, TimingView& view) {
  while (view.ticking) {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    presenter.Tick();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s A B ROUNDS [ABORT-AFTER-MS...]\n", argv[0]);
    return 2;
  }
  const std::string folder = std::filesystem::temp_directory_path() / "kestrel-compare-window-timing";
  std::filesystem::create_directories(folder);
  const int rounds = std::atoi(argv[3]);
  for (int round = 0; round < rounds; ++round) {
    TimingView view;
    kestrel::FormEnvironment environment{folder, true, "", folder, 1, true, {}};
    kestrel::ComparePresenter presenter(view, environment);
    presenter.Load();
    presenter.Toggled(true);  // the Cisco side's local routes, which the IX does not print, left out
    presenter.Edited(kestrel::CompareControl::LogA, argv[1]);
    presenter.Edited(kestrel::CompareControl::LogB, argv[2]);
    const Clock::time_point start = Clock::now();
    presenter.Clicked(kestrel::CompareControl::Compare);
    Settle(presenter, view);
    std::printf("result %.0f ms: %s%s\n", Milliseconds(view.shown - start), view.summary.c_str(), view.message.c_str());
    // Typing in 検索: the first key describes every difference once, the
    // others only look.
    for (const char* typed : {"1", "19", "192", "192."}) {
      const Clock::time_point key = Clock::now();
      presenter.Search(typed);
      std::printf("search %s: %.0f ms, %zu rows\n", typed, Milliseconds(Clock::now() - key), presenter.RowCount());
    }
    presenter.Search("");
    // 中 断 while the HTML report is being written, reading the logs again.
    presenter.Clicked(kestrel::CompareControl::OpenReport);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point reportClick = Clock::now();
    presenter.Clicked(kestrel::CompareControl::Close);
    Settle(presenter, view);
    std::printf("abort report after 300 ms: %.0f ms\n", Milliseconds(Clock::now() - reportClick));
    for (int a = 4; a < argc; ++a) {
      presenter.Clicked(kestrel::CompareControl::Compare);
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[a])));
      const Clock::time_point click = Clock::now();
      presenter.Clicked(kestrel::CompareControl::Close);
      // The window answers again once the work has stopped and a tick of
      // its timer saw it.
      Settle(presenter, view);
      std::printf("abort after %s ms: %.0f ms\n", argv[a], Milliseconds(Clock::now() - click));
    }
  }
  std::filesystem::remove_all(folder);
}
