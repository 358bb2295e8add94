// dialog_bench: times one scan through the dialog window, as a user's click on SCAN runs it:
// from the click to the status that says the run ended (its log handed over on the way), and to
// the toolkit being idle again (the log laid out):
//   tests/run-with-xvfb.sh build/bench/dialog_bench FILE.cfg [RUNS]
// Prints one line per run: "dialog RUN-SECONDS IDLE-SECONDS CPU-SECONDS STATUS" (the CPU time of
// the whole process, window and run threads, from the click to idle again); then, with the last
// run's log, what paging through it costs: "pages PAGES LINES MILLISECONDS-PER-PAGE" (each page
// drawn; at most the first 2000 pages). Then, on the last run's graph:
//   "filter TEXT ROWS MILLISECONDS"  the function list filtered by TEXT typed a key at a time
//                                     (each key: filtering, the list's rows set and drawn)
//   "focus NAME SECONDS"              a function chosen in the list to its focused picture (the
//                                     first, the second and the first again)
//   "memory RSS-MB PEAK-MB"           the process's resident and peak memory
//   "reach QUERY NAME ROWS SECONDS"   a query of the Reach page asked and its page drawn (the
//                                     first of a run builds the graph the queries walk); then
//                                     "memory" again
//   "cancel AFTER-SECONDS SECONDS STATUS"  Cancel clicked that long into a new run, to its end
//   "close SECONDS"                   the window closed that long into a run, to its end
// With QUILLMAP_SCREENSHOTS=DIR it saves PNG pictures of the window's pages into DIR.
#include <sys/resource.h>
#include <wx/dcmemory.h>
#include <wx/dcclient.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/treectrl.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/memconf.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gui/code_view.h"
#include "gui/function_panel.h"
#include "gui/graph_panel.h"
#include "gui/log_view.h"
#include "gui/reach_panel.h"
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

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Resident and peak resident memory of the process in MB (from /proc/self/status).
std::pair<double, double> MemoryMb() {
  std::ifstream status("/proc/self/status");
  double rss = 0, peak = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) rss = std::atof(line.c_str() + 6) / 1024;
    if (line.starts_with("VmHWM:")) peak = std::atof(line.c_str() + 6) / 1024;
  }
  return {rss, peak};
}

void Settle() {
  for (int i = 0; i < 20; ++i) {
    wxYield();
    wxMilliSleep(10);
  }
}

// The window as it is on the screen, as a PNG in `dir`.
void Shoot(wxWindow& window, const std::string& dir, const std::string& name) {
  window.Raise();
  window.Refresh();
  window.Update();
  Settle();
  const wxSize size = window.GetClientSize();
  wxBitmap shot(size);
  {
    wxClientDC screen(&window);
    wxMemoryDC memory(shot);
    memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
  }
  shot.ConvertToImage().SaveFile(wxString::FromUTF8(dir + "/" + name), wxBITMAP_TYPE_PNG);
}

void StartScan(quillmap::ScanWindow& window) {
  wxCommandEvent click(wxEVT_BUTTON, quillmap::kScanButton);
  window.FindWindow(quillmap::kScanButton)->GetEventHandler()->ProcessEvent(click);
}

// Starts a run and, `after` seconds into it, stops it with `stop`; the seconds to its end.
template <class Stop>
double StopRunAfter(quillmap::ScanWindow& window, double after, Stop stop) {
  StartScan(window);
  const auto start = Clock::now();
  while (window.commands().scanRunning() && Since(start) < after) {
    wxYield();
    wxMilliSleep(5);
  }
  const auto clicked = Clock::now();
  stop();
  while (window.commands().scanRunning()) {
    wxYield();
    wxMilliSleep(1);
  }
  return Since(clicked);
}
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
  // A page costs the same wherever it stands: the first pages of a long log are enough.
  constexpr int kMaxPages = 2000;
  while (!log.following() && pages < kMaxPages) {
    wxKeyEvent pageDown(wxEVT_KEY_DOWN);
    pageDown.m_keyCode = WXK_PAGEDOWN;
    log.GetEventHandler()->ProcessEvent(pageDown);
    log.Update();
    ++pages;
  }
  const double paging = std::chrono::duration<double>(Clock::now() - pagingStart).count();
  std::printf("pages %d %zu %.3f\n", pages, log.state().lineCount(),
              pages > 0 ? 1000 * paging / pages : 0.0);

  // The function list, typed into a key at a time, then a function chosen from it.
  const auto [rss, peak] = MemoryMb();
  std::printf("memory %.0f %.0f\n", rss, peak);
  window->ShowPage(quillmap::ScanWindow::Page::kFunctions);
  quillmap::FunctionPanel& functions = window->functionPanel();
  Settle();
  const char* typing = std::getenv("QUILLMAP_BENCH_FILTER");
  const std::string typed = typing != nullptr ? typing : "schedule";
  for (size_t keys = 1; keys <= typed.size(); ++keys) {
    const auto start = Clock::now();
    functions.filterBox().ChangeValue(wxString::FromUTF8(typed.substr(0, keys)));
    wxCommandEvent edited(wxEVT_TEXT, quillmap::FunctionPanel::kFilterBox);
    functions.filterBox().GetEventHandler()->ProcessEvent(edited);
    functions.listCtrl().Update();
    std::printf("filter %s %d %.1f\n", typed.substr(0, keys).c_str(),
                functions.listCtrl().GetItemCount(), 1000 * Since(start));
  }
  // The first focus of a run builds the graph the queries walk; the next ones reuse it.
  for (long row : {0L, 1L, 0L}) {
    const auto chosen = Clock::now();
    functions.ChooseRow(row);
    window->graphPanel().canvas().Update();
    std::printf("focus %s %.2f %s\n", window->logic().graphView().focus().name.c_str(),
                Since(chosen), window->graphPanel().message().c_str());
    std::fflush(stdout);
  }

  // The Reach page: the first query builds the reachability graph of the run.
  const char* reachName = std::getenv("QUILLMAP_BENCH_REACH");
  const std::string reached = reachName != nullptr ? reachName : "schedule";
  const struct {
    const char* label;
    quillmap::ReachQueryKind kind;
  } queries[] = {{"reaches", quillmap::ReachQueryKind::kReaches},
                 {"reached-by", quillmap::ReachQueryKind::kReachedBy},
                 {"why-from-main", quillmap::ReachQueryKind::kWhy},
                 {"dead", quillmap::ReachQueryKind::kDead},
                 {"reaches", quillmap::ReachQueryKind::kReaches}};
  for (const auto& query : queries) {
    const auto asked = Clock::now();
    window->ShowReach(query.kind, reached);
    window->reachPanel().listCtrl().Update();
    std::printf("reach %s %s %ld %.3f %s\n", query.label, reached.c_str(),
                static_cast<long>(window->reachPanel().listCtrl().GetItemCount()), Since(asked),
                window->reachPanel().heading().c_str());
    std::fflush(stdout);
  }
  const auto [reachRss, reachPeak] = MemoryMb();
  std::printf("memory %.0f %.0f\n", reachRss, reachPeak);

  if (const char* dir = std::getenv("QUILLMAP_SCREENSHOTS")) {
    Shoot(*window, dir, "dialog-functions.png");
    wxTreeCtrl& tree = functions.tree();
    wxTreeItemIdValue cookie;
    for (wxTreeItemId item = tree.GetFirstChild(tree.GetRootItem(), cookie); item.IsOk();
         item = tree.GetNextChild(tree.GetRootItem(), cookie)) {
      tree.Expand(item);
    }
    Shoot(*window, dir, "dialog-calls.png");
    const quillmap::SourceSite site = window->codeView().site();
    window->ShowCode(site);
    Shoot(*window, dir, "dialog-code.png");
    quillmap::GraphCanvas& canvas = window->graphPanel().canvas();
    canvas.SetZoom(canvas.zoom() * 2.5);
    canvas.DrawSharpNow();
    Shoot(*window, dir, "dialog-graph-zoomed.png");
  } else {
    // Cancel and close, a while into a run.
    for (double after : {0.5, 2.0, 5.0}) {
      const double seconds = StopRunAfter(*window, after, [&] {
        wxCommandEvent cancel(wxEVT_BUTTON, quillmap::kCancelButton);
        window->FindWindow(quillmap::kCancelButton)->GetEventHandler()->ProcessEvent(cancel);
      });
      std::printf("cancel %.1f %.3f %s\n", after, seconds, window->logic().status().text.c_str());
      std::fflush(stdout);
    }
    StartScan(*window);
    const auto start = Clock::now();
    while (Since(start) < 2) {
      wxYield();
      wxMilliSleep(5);
    }
    // What closing does once the user confirmed: cancel, wait for the run, and go.
    const auto closing = Clock::now();
    window->commands().OnCancelClicked();
    while (window->commands().PollRun()) wxMilliSleep(5);
    delete window;
    std::printf("close %.3f\n", Since(closing));
    window = nullptr;
  }
  if (window != nullptr) window->Destroy();
  wxYield();
  wxEntryCleanup();
  return 0;
}
