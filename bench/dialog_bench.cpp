// dialog_bench: times one scan through the dialog window, as a user's click on SCAN runs it:
// from the click to the status that says the run ended (its log handed over on the way), and to
// the toolkit being idle again (the log laid out):
//   tests/run-with-xvfb.sh build/bench/dialog_bench FILE.cfg [RUNS]
// Prints one line per run: "dialog RUN-SECONDS IDLE-SECONDS CPU-SECONDS STATUS" (the CPU time of
// the whole process, window and run threads, from the click to idle again); then, with the last
// run's log, what paging through it costs: "pages PAGES LINES MILLISECONDS-PER-PAGE" (each page
// drawn).
#include <sys/resource.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/memconf.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/log_view.h"
#include "gui/scan_window.h"
#include "gui/wx_text.h"

namespace {
using Clock = std::chrono::steady_clock;

// User and system time of the process so far, its threads included.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The window, noting when a run has ended.
class BenchWindow : public quillmap::ScanWindow {
 public:
  explicit BenchWindow(wxConfigBase* settings) : ScanWindow({}, settings) {}
  void OnRunEnded() override {
    ScanWindow::OnRunEnded();
    ended = Clock::now();
  }
  Clock::time_point ended;
};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.cfg [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string cfg = argv[1];
  const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
  int wxArgc = 1;
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(wxArgc, argv)) return 1;
  delete wxLog::SetActiveTarget(new wxLogStderr);
  wxMemoryConfig settings;
  auto* window = new BenchWindow(&settings);
  window->Show();
  for (int run = 0; run < runs; ++run) {
    window->SetItemText(quillmap::kPathEdit, cfg);
    wxYield();
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    wxCommandEvent click(wxEVT_BUTTON, quillmap::kScanButton);
    window->FindWindow(quillmap::kScanButton)->GetEventHandler()->ProcessEvent(click);
    while (window->commands().scanRunning()) {
      wxYield();
      wxMilliSleep(1);
    }
    const auto seconds = [start](Clock::time_point end) {
      return std::chrono::duration<double>(end - start).count();
    };
    std::printf("dialog %.2f %.2f %.2f %s\n", seconds(window->ended), seconds(Clock::now()),
                CpuSeconds() - cpuStart, window->logic().status().text.c_str());
    std::fflush(stdout);
  }
  // From the top to the end a page at a time, each page drawn before the next key.
  quillmap::LogView& log = window->logView();
  log.SetFocus();
  wxKeyEvent home(wxEVT_KEY_DOWN);
  home.m_keyCode = WXK_HOME;
  log.GetEventHandler()->ProcessEvent(home);
  log.Update();
  int pages = 0;
  const auto pagingStart = Clock::now();
  while (!log.following()) {
    wxKeyEvent pageDown(wxEVT_KEY_DOWN);
    pageDown.m_keyCode = WXK_PAGEDOWN;
    log.GetEventHandler()->ProcessEvent(pageDown);
    log.Update();
    ++pages;
  }
  const double paging = std::chrono::duration<double>(Clock::now() - pagingStart).count();
  std::printf("pages %d %zu %.3f\n", pages, log.state().lineCount(),
              pages > 0 ? 1000 * paging / pages : 0.0);
  window->Destroy();
  wxYield();
  wxEntryCleanup();
  return 0;
}
