#include "gui/scan_window.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/clipbrd.h>
#include <wx/combobox.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/memconf.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/spinctrl.h>
#include <wx/stc/stc.h>
#include <wx/splitter.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <filesystem>

#include "config/app_identity.h"
#include "files/paths.h"
#include "gui/about_dialog.h"
#include "gui/cfg_file_chooser.h"
#include "gui/cfg_folder_chooser.h"
#include "gui/code_view.h"
#include "gui/function_panel.h"
#include "gui/graph_panel.h"
#include "gui/gui_test_support.h"
#include "gui/log_view.h"
#include "gui/reach_panel.h"
#include "gui/wx_text.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using namespace quillmap::testing;

const std::string kPlainTitle = std::string("quillmap - ") + kWebAddress;
const std::vector<std::string> kFixtureOutputs = {"out.dot", "out.csv", "modules.dot",
                                                  "modules.log"};

// The fixture's configuration and sources, copied into `dir`; returns the configuration's path.
std::string CopyFixture(const TempDir& dir) {
  std::filesystem::copy(QUILLMAP_GUI_FIXTURE, dir.path(), std::filesystem::copy_options::recursive);
  return dir / "scan.cfg";
}

// The file with the time in its DOT header line blanked, which differs from run to run.
std::string WithoutTimestamp(const std::string& contents) {
  return testing::WithoutDotTimes(contents);
}

// Expects the file error box and keeps its message.
ExpectDialog<wxMessageDialog> FileErrorBox(std::string& message) {
  return ExpectDialog<wxMessageDialog>(
      [&message](wxMessageDialog& box) {
        message = FromWx(box.GetMessage());
        return static_cast<int>(wxID_OK);
      },
      "the file error box");
}

// A dialog started as the program starts it, shown without a modal loop of its own, so that the
// test can drive it; destroyed with the test.
class DialogTest : public ::testing::Test {
 protected:
  void Open(const std::vector<std::string>& args = {}) {
    window_ = new ScanWindow(args, &settings_);
    window_->Show();
    window_->Raise();
    Settle();
  }
  void TearDown() override {
    if (window_ != nullptr) window_->Destroy();
    Settle();
  }

  wxTextCtrl& Edit(int id) { return *dynamic_cast<wxTextCtrl*>(window_->FindWindow(id)); }
  wxWindow& Item(int id) { return *window_->FindWindow(id); }
  std::string Title() { return FromWx(window_->GetTitle()); }
  std::string Log() { return window_->GetItemText(kLogEdit); }
  bool RunFinished() { return Log().find(" fcts") != std::string::npos; }
  std::string Status() { return FromWx(Item(ScanWindow::kStatusText).GetLabel()); }
  // Clicks "SCAN" and lets the toolkit work until the run has ended. A sanitizer build on a
  // loaded machine takes its time over the long projects, which is not what is tested here.
  void ScanToTheEnd() {
    ClickWithoutMouse(kScanButton);
    ASSERT_TRUE(YieldUntil([this] { return !window_->commands().scanRunning(); },
                           std::chrono::seconds(90)))
        << Log();
  }

  // The button's click event, delivered as the toolkit delivers it.
  void ClickWithoutMouse(int id) {
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(&Item(id));
    Item(id).GetEventHandler()->ProcessEvent(click);
  }

  ScanWindow* window_ = nullptr;
  wxMemoryConfig settings_;
};

TEST_F(DialogTest, StartsWithDefaultPathWorkPathEntryAndTitle) {
  Open();
  const std::string proposed = WorkPath() + "test/TestModGraph.cfg";
  if (FileExists(proposed)) {
    EXPECT_EQ(window_->GetItemText(kPathEdit), proposed);
    EXPECT_EQ(Title(), kPlainTitle + " [TestModGraph.cfg ]");
  } else {
    EXPECT_EQ(window_->GetItemText(kPathEdit), "");
    EXPECT_EQ(Title(), kPlainTitle);
  }
  EXPECT_EQ(Log(), "work path: " + WorkPath());
  EXPECT_EQ(Status(), "no scan run yet");
  EXPECT_FALSE(Item(kCancelButton).IsEnabled());
  EXPECT_FALSE(window_->closeRequested());
  EXPECT_EQ(FromWx(Item(kCfgFileButton).GetLabel()), "CFG File");
  EXPECT_EQ(FromWx(Item(kScanButton).GetLabel()), "SCAN");
  EXPECT_EQ(window_->GetDefaultItem(), nullptr);
  EXPECT_EQ(window_->FindWindow(wxID_OK), nullptr);
  EXPECT_EQ(window_->FindWindow(wxID_CANCEL), nullptr);
  EXPECT_TRUE(window_->GetIcon().IsOk());
}

TEST_F(DialogTest, ResizesDownToItsMinimumAndStartsWhereItWasLeft) {
  Open();
  EXPECT_TRUE(window_->HasFlag(wxRESIZE_BORDER));
  EXPECT_TRUE(window_->HasFlag(wxMAXIMIZE_BOX));
  const wxSize minimum = window_->GetMinSize();
  EXPECT_GE(minimum.x, 600);
  EXPECT_LT(minimum.x, window_->GetSize().x);
  EXPECT_TRUE(Item(kNewCfgButton).IsShown());

  const wxSize logBefore = Item(kLogEdit).GetSize();
  window_->SetSize(wxRect(40, 30, 1200, 800));
  ASSERT_TRUE(YieldUntil([&] { return window_->GetSize() == wxSize(1200, 800); }))
      << window_->GetSize().x << "x" << window_->GetSize().y;
  Settle();
  // The log and the Graph view take what the window gained; the path row stays on top.
  EXPECT_GT(Item(kLogEdit).GetSize().y, logBefore.y);
  EXPECT_GT(window_->graphPanel().GetSize().x, 300);
  EXPECT_LT(Item(kPathEdit).GetPosition().y, Item(kLogEdit).GetScreenPosition().y -
                                                 window_->GetClientAreaOrigin().y -
                                                 window_->GetScreenPosition().y + 1);
  EXPECT_GT(Item(kPathEdit).GetSize().x, 500);

  window_->SetSize(wxSize(100, 100));
  Settle();
  EXPECT_GE(window_->GetSize().x, minimum.x);
  EXPECT_GE(window_->GetSize().y, minimum.y);

  window_->SetSize(wxRect(40, 30, 1000, 700));
  ASSERT_TRUE(YieldUntil([&] { return window_->GetSize() == wxSize(1000, 700); }));
  window_->Close();
  window_->Destroy();
  window_ = nullptr;
  Settle();
  Open();
  EXPECT_EQ(window_->GetSize(), wxSize(1000, 700));
}

// At 800x600 every control of the path row and of the Graph view stands whole inside the
// window, none squeezed below its size.
TEST_F(DialogTest, NothingIsCutAt800By600) {
  Open();
  // The same test runs with the desktop's scale at 2 too (see CMakeLists.txt).
  const char* scale = std::getenv("GDK_SCALE");
  if (scale != nullptr && std::string(scale) == "2") {
    EXPECT_EQ(window_->GetContentScaleFactor(), 2.0);
  }
  window_->SetSize(wxSize(800, 600));
  ASSERT_TRUE(YieldUntil([&] { return window_->GetSize() == wxSize(800, 600); }));
  Settle();
  const wxRect inside(window_->GetScreenPosition() + window_->GetClientAreaOrigin(),
                      window_->GetClientSize());
  struct Control {
    int id;
    bool stretches;
  };
  const Control controls[] = {
      {kCfgFileButton, false},          {kNewCfgButton, false},
      {kPathEdit, true},                {wxID_ABOUT, false},
      {kScanButton, false},             {kCancelButton, false},
      {ScanWindow::kActionsButton, false}, {GraphPanel::kKindChoice, false},
      {GraphPanel::kSearchBox, true},   {GraphPanel::kDirectionChoice, false},
      {GraphPanel::kDepthSpin, false},  {GraphPanel::kBackButton, false},
      {GraphPanel::kFitButton, false},  {GraphPanel::kZoomOutButton, false},
      {GraphPanel::kZoomInButton, false}};
  for (const Control& control : controls) {
    wxWindow& item = Item(control.id);
    const wxRect place(item.GetScreenPosition(), item.GetSize());
    EXPECT_TRUE(inside.Contains(place)) << control.id;
    if (control.stretches) {
      EXPECT_GE(place.width, 80) << control.id;
    } else {
      EXPECT_GE(place.width, item.GetBestSize().x) << control.id;
    }
    EXPECT_GE(place.height, item.GetBestSize().y - 2) << control.id;
  }
}

TEST_F(DialogTest, TypedPathAndScanClickWriteWhatTheBatchModeWrites) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  // The batch mode's outputs first, kept aside; then the dialog scans the same files.
  const ProgramResult batch = RunQuillmap({"-cfg", cfg}, dir.path());
  ASSERT_EQ(batch.status, 0) << batch.err;
  std::map<std::string, std::string> batchOutputs;
  for (const std::string& name : kFixtureOutputs) {
    batchOutputs[name] = WithoutTimestamp(ReadFile(dir / name));
    ASSERT_FALSE(batchOutputs[name].empty()) << name;
    std::filesystem::remove(dir / name);
  }

  Open();
  ClickOn(Item(kPathEdit));
  ASSERT_TRUE(FocusOn(Item(kPathEdit)));
  PressKey('A', wxMOD_CONTROL);
  TypeText(cfg);
  ASSERT_TRUE(YieldUntil([&] { return FromWx(Edit(kPathEdit).GetValue()) == cfg; }))
      << FromWx(Edit(kPathEdit).GetValue());
  ClickOn(Item(kScanButton));
  ASSERT_TRUE(YieldUntil([this] { return RunFinished(); })) << Log();

  for (const std::string& name : kFixtureOutputs) {
    EXPECT_EQ(WithoutTimestamp(ReadFile(dir / name)), batchOutputs[name]) << name;
  }
  // The log holds the run's entries, joined by CR LF; the batch mode printed the same entries
  // one per line after its work path line.
  std::string log = Log();
  EXPECT_EQ(log.find("work path: "), std::string::npos);
  log = ReplacedAll(log, "\r\n", "\n") + "\n";
  EXPECT_EQ(log, batch.out.substr(batch.out.find('\n') + 1));
  for (int id : {kPathEdit, kCfgFileButton, kScanButton}) EXPECT_TRUE(Item(id).IsEnabled()) << id;
  EXPECT_EQ(Title(), kPlainTitle + " [scan.cfg ]");
}

// A project of long sources with a short log, so that a run lasts long enough to be stopped.
std::string WriteLongProject(const TempDir& dir, int files) {
  std::string cfg = "[files]\ndot=out.dot\ncsv=out.csv\n";
  std::string filler;
  for (int line = 0; line < 20000; ++line) filler += "  x++;\n";
  for (int i = 0; i < files; ++i) {
    // Appended, not concatenated: GCC 12 warns falsely on 'literal + std::string'.
    const std::string number = std::to_string(i);
    std::string name = "f";
    name.append(number).append(".c");
    std::string source = "void f";
    source.append(number).append("(void)\n{\n").append(filler).append("  helper();\n}\n");
    dir.Write(name, source);
    cfg.append("file").append(number).append("=").append(name).append("\n");
  }
  return dir.Write("scan.cfg", cfg + "[calls]\n0=f\n1=helper\n");
}

// Expects the question whether to cancel the run, and answers it.
ExpectDialog<wxMessageDialog> CancelQuestion(int answer, bool& asked) {
  return ExpectDialog<wxMessageDialog>(
      [answer, &asked](wxMessageDialog& box) {
        asked = FromWx(box.GetMessage()).starts_with("A scan is under way.");
        return answer;
      },
      "the question whether to cancel the run");
}

TEST_F(DialogTest, StatusStatesEveryOutcomeClassAndJumpsToErrors) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  EXPECT_EQ(Status(), "finished without errors (exit status 0)");
  EXPECT_FALSE(Item(ScanWindow::kErrorChoice).IsShown());

  // A source that cannot be opened: one error, listed, and a click on it selects its log line.
  const std::string withGone = ReplacedAll(ReadFile(cfg), "file1=src/motor.c",
                                                  "file1=src/motor.c\nfile2=gone.c");
  testing::WriteFile(cfg, withGone);
  ScanToTheEnd();
  EXPECT_EQ(Status(), "finished with 1 error (exit status 1)");
  auto& errors = *dynamic_cast<wxChoice*>(&Item(ScanWindow::kErrorChoice));
  ASSERT_TRUE(errors.IsShown());
  ASSERT_EQ(errors.GetCount(), 1u);
  EXPECT_EQ(FromWx(errors.GetString(0)), "error opening: " + dir / "gone.c");
  window_->JumpToError(0);
  const LogView& log = window_->logView();
  EXPECT_EQ(log.SelectedText(), "error opening: " + dir / "gone.c");
  EXPECT_GE(log.state().selectionFirst(), log.state().firstRow());
  EXPECT_LT(log.state().selectionFirst(), log.state().firstRow() + log.state().pageRows());

  // The configuration cannot be opened, or no path at all: class 2, said in the log too.
  std::string message;
  window_->SetItemText(kPathEdit, dir / "missing.cfg");
  wxTEST_DIALOG(ScanToTheEnd(), FileErrorBox(message));
  EXPECT_EQ(Status(), "not run: " + dir / "missing.cfg" + " was not found. (exit status 2)");
  EXPECT_EQ(Log(), message);
  window_->SetItemText(kPathEdit, "");
  ScanToTheEnd();
  EXPECT_EQ(Status(), "not run: no configuration file given (exit status 2)");
  window_->SetItemText(kPathEdit, dir.path());
  ScanToTheEnd();
  EXPECT_EQ(Log(), dir.path() + " is a folder, not a scan configuration");
}

// Cancel stops a run in either stage: the module stage (its gauge counting files too) and the
// call graph stage.
TEST_F(DialogTest, CancelStopsTheRunAndKeepsThePreviousOutputs) {
  Open();
  // The straightforward engines take long enough over the many sources to be caught mid-run.
  window_->logic().UseReferenceEngines();
  for (const bool modules : {false, true}) {
    SCOPED_TRACE(modules ? "module stage" : "call graph stage");
    TempDir dir;
    std::string cfg = WriteLongProject(dir, 200);
    if (modules) {
      std::string section = "[modules]\nlog=modules.log\ndot=modules.dot\nmod_0=all\n";
      for (int i = 0; i < 200; ++i) {
        section.append("mod_0_file_").append(std::to_string(i)).append("=f");
        section.append(std::to_string(i)).append(".c\n");
      }
      testing::WriteFile(cfg, ReadFile(cfg) + section);
    }
    window_->SetItemText(kPathEdit, cfg);
    ScanToTheEnd();
    ASSERT_EQ(Status(), "finished without errors (exit status 0)");
    const std::string dotBefore = ReadFile(dir / "out.dot");
    const std::string csvBefore = ReadFile(dir / "out.csv");
    dir.Write("f1.c", "void other(void)\n{\n}\n");  // the next run would differ

    ClickWithoutMouse(kScanButton);
    // On a loaded machine the short module stage may pass between two polls: a cancel in the
    // call graph stage then stands for it.
    const std::string running = "running: ";
    ASSERT_TRUE(YieldUntil([&] { return Status().starts_with(running); }))
        << Status() << " " << Log().substr(0, 300);
    EXPECT_TRUE(Item(kCancelButton).IsEnabled());
    EXPECT_FALSE(Item(kScanButton).IsEnabled());
    EXPECT_TRUE(Item(ScanWindow::kRunGauge).IsShown());
    // Files of both module passes are counted.
    if (modules && Status().starts_with("running: modules")) {
      EXPECT_NE(Status().find(" of 400"), std::string::npos) << Status();
    }
    ClickWithoutMouse(kCancelButton);
    // The status proves the run ended before its outputs; how soon it ends is measured by the
    // dialog benchmark, not here.
    ASSERT_TRUE(YieldUntil([this] { return !window_->commands().scanRunning(); }));
    EXPECT_EQ(Status(), "stopped: no output written, the previous outputs are kept");
    EXPECT_EQ(ReadFile(dir / "out.dot"), dotBefore);
    EXPECT_EQ(ReadFile(dir / "out.csv"), csvBefore);
    EXPECT_TRUE(Item(kScanButton).IsEnabled());
    EXPECT_FALSE(Item(kCancelButton).IsEnabled());
  }
}

TEST_F(DialogTest, ClosingDuringARunAsksWhetherToCancelIt) {
  TempDir dir;
  const std::string cfg = WriteLongProject(dir, 200);
  Open();
  window_->SetItemText(kPathEdit, cfg);
  bool asked = false;
  ClickWithoutMouse(kScanButton);
  wxTEST_DIALOG(window_->Close(), CancelQuestion(wxID_NO, asked));
  EXPECT_TRUE(asked);
  EXPECT_TRUE(window_->IsShown());
  EXPECT_TRUE(window_->commands().scanRunning());

  asked = false;
  wxTEST_DIALOG(window_->Close(), CancelQuestion(wxID_YES, asked));
  EXPECT_TRUE(asked);
  EXPECT_FALSE(window_->IsShown());
  EXPECT_FALSE(window_->commands().scanRunning());
  EXPECT_TRUE(window_->logic().lastRun().stopped);
}

// The share of the canvas's pixels that are not its white background.
double DrawnShare(wxWindow& canvas) {
  const wxSize size = canvas.GetClientSize();
  wxBitmap shot(size);
  {
    wxClientDC screen(&canvas);
    wxMemoryDC memory(shot);
    memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
  }
  const wxImage image = shot.ConvertToImage();
  long drawn = 0;
  for (int y = 0; y < size.y; ++y) {
    for (int x = 0; x < size.x; ++x) {
      if (image.GetRed(x, y) < 200 || image.GetGreen(x, y) < 200 || image.GetBlue(x, y) < 200) {
        ++drawn;
      }
    }
  }
  return static_cast<double>(drawn) / (static_cast<double>(size.x) * size.y);
}

TEST_F(DialogTest, GraphViewDrawsTheRunsGraphAndAClickFocusesOnAFunction) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  GraphPanel& panel = window_->graphPanel();
  GraphCanvas& canvas = panel.canvas();
  EXPECT_EQ(panel.message(), "no graph: run a scan first");
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  ASSERT_EQ(panel.message(), "");
  ASSERT_TRUE(canvas.bitmap().IsOk());
  canvas.Refresh();
  canvas.Update();
  Settle();
  EXPECT_GT(DrawnShare(canvas), 0.01);

  // A click on the middle of a function's box focuses the graph on it.
  const GraphView& view = window_->logic().graphView();
  const auto motor = std::find_if(view.drawing().nodes.begin(), view.drawing().nodes.end(),
                                  [](const DrawnNode& node) { return node.name == "MotorStart"; });
  ASSERT_NE(motor, view.drawing().nodes.end());
  const wxPoint at =
      canvas.ToWindow(wxRealPoint(motor->left + motor->width / 2, motor->top + motor->height / 2));
  wxUIActionSimulator simulator;
  simulator.MouseMove(canvas.ClientToScreen(at));
  Settle();
  simulator.MouseClick();
  ASSERT_TRUE(YieldUntil([&] { return view.focus().name == "MotorStart"; }));
  EXPECT_TRUE(panel.FindWindow(GraphPanel::kBackButton)->IsEnabled());
  EXPECT_LT(view.drawing().nodes.size(), 5u);
  EXPECT_GT(DrawnShare(canvas), 0.005);

  panel.Back();
  EXPECT_EQ(view.focus().name, "");
  EXPECT_FALSE(panel.FindWindow(GraphPanel::kBackButton)->IsEnabled());
  panel.Zoom(2);
  EXPECT_GT(canvas.GetVirtualSize().x, canvas.GetClientSize().x);
  panel.Fit();
  EXPECT_LE(canvas.GetVirtualSize().x, canvas.GetClientSize().x);
}

std::string ClipboardText();

// Whether some pixel of the canvas inside `area` has about the colour `wanted`.
bool ShowsColour(wxWindow& canvas, const wxRect& area, const wxColour& wanted) {
  const wxSize size = canvas.GetClientSize();
  wxBitmap shot(size);
  {
    wxClientDC screen(&canvas);
    wxMemoryDC memory(shot);
    memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
  }
  const wxImage image = shot.ConvertToImage();
  const wxRect inside = area.Intersect(wxRect(size));
  for (int y = inside.GetTop(); y <= inside.GetBottom(); ++y) {
    for (int x = inside.GetLeft(); x <= inside.GetRight(); ++x) {
      if (std::abs(image.GetRed(x, y) - wanted.Red()) < 30 &&
          std::abs(image.GetGreen(x, y) - wanted.Green()) < 30 &&
          std::abs(image.GetBlue(x, y) - wanted.Blue()) < 30) {
        return true;
      }
    }
  }
  return false;
}

// Keys and Ctrl+wheel zoom, the wheel around the pointer; what is in sight is drawn anew at its
// scale; the focused function is marked.
TEST_F(DialogTest, GraphViewZoomsAroundThePointerAndWithKeysAndDrawsSharply) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  GraphPanel& panel = window_->graphPanel();
  GraphCanvas& canvas = panel.canvas();
  ASSERT_TRUE(YieldUntil([&] { return canvas.sharp(); }));
  ASSERT_TRUE(FocusOn(canvas));
  const double fit = canvas.FitZoom();
  struct Step {
    int key;
    double zoom;
  };
  const Step steps[] = {{'+', fit * 1.25}, {'+', fit * 1.25 * 1.25}, {'-', fit * 1.25}, {'0', fit}};
  canvas.SetZoom(fit);
  for (const Step& step : steps) {
    PressKey(step.key);
    EXPECT_TRUE(YieldUntil([&] { return std::abs(canvas.zoom() - step.zoom) < 1e-6; }))
        << static_cast<char>(step.key) << " " << canvas.zoom() << " " << step.zoom;
    EXPECT_TRUE(YieldUntil([&] { return canvas.sharp(); })) << static_cast<char>(step.key);
  }
  // Ctrl+wheel over a point: the point of the drawing under the pointer stays under it (zoomed
  // in first, so that the drawing can scroll both ways).
  const wxSize client = canvas.GetClientSize();
  canvas.SetZoom(2 * std::max(client.x / canvas.pictureSize().x, client.y / canvas.pictureSize().y));
  const wxPoint pointer(client.x / 3, client.y / 3);
  // (Zooming out near an edge of the drawing scrolls no further than the edge.)
  for (int notch : {120, 120}) {
    const wxRealPoint before = canvas.ToDrawing(pointer);
    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.m_wheelRotation = notch;
    wheel.m_wheelDelta = 120;
    wheel.SetControlDown(true);
    wheel.SetPosition(pointer);
    canvas.GetEventHandler()->ProcessEvent(wheel);
    const wxRealPoint after = canvas.ToDrawing(pointer);
    EXPECT_NEAR(after.x, before.x, 1.5 / canvas.zoom()) << notch;
    EXPECT_NEAR(after.y, before.y, 1.5 / canvas.zoom()) << notch;
  }
  EXPECT_TRUE(YieldUntil([&] { return canvas.sharp(); }));

  // The focused function's box is marked in red.
  ASSERT_TRUE(panel.FocusOn("MotorStart"));
  canvas.DrawSharpNow();
  canvas.Update();
  Settle();
  const std::vector<DrawnNode>& nodes = window_->logic().graphView().drawing().nodes;
  const auto motor = std::find_if(nodes.begin(), nodes.end(),
                                  [](const DrawnNode& node) { return node.name == "MotorStart"; });
  ASSERT_NE(motor, nodes.end());
  const wxRect box(canvas.ToWindow(wxRealPoint(motor->left, motor->top)),
                   canvas.ToWindow(wxRealPoint(motor->left + motor->width,
                                               motor->top + motor->height)));
  EXPECT_TRUE(ShowsColour(canvas, wxRect(box).Inflate(8), wxColour(220, 40, 40)));
  EXPECT_FALSE(ShowsColour(canvas, wxRect(box).Deflate(6), wxColour(220, 40, 40)));
}

// The names of the nodes drawn now.
std::vector<std::string> DrawnNames(ScanWindow& window) {
  std::vector<std::string> names;
  for (const DrawnNode& node : window.logic().graphView().drawing().nodes) names.push_back(node.name);
  std::sort(names.begin(), names.end());
  return names;
}

// The configuration's focus, omit and leaf shape the view; a node's context menu focuses,
// hides, stops expanding, copies and opens the code; the module overview opens a module on a
// click.
TEST_F(DialogTest, TheViewTakesTheConfigurationsQueryTheNodeMenuAndTheModuleOverview) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  testing::WriteFile(cfg, ReplacedAll(ReadFile(cfg), "[dot]\r\n", "[dot]\r\nfocus=main\r\nomit=Send*\r\n"));
  Open();
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  GraphPanel& panel = window_->graphPanel();
  const GraphView& view = window_->logic().graphView();
  EXPECT_EQ(view.focus().name, "main");
  EXPECT_EQ(DrawnNames(*window_), (std::vector<std::string>{"MotorStart", "MotorStop", "main"}));

  std::unique_ptr<wxMenu> menu(panel.NewNodeMenu("MotorStop"));
  EXPECT_EQ(menu->GetMenuItemCount(), 10u);
  ASSERT_TRUE(panel.NodeAction(GraphPanel::kDoNotExpandItem, "MotorStop"));
  EXPECT_EQ(view.unexpanded(), (std::vector<std::string>{"MotorStop"}));
  ASSERT_TRUE(panel.NodeAction(GraphPanel::kHideItem, "MotorStart"));
  EXPECT_EQ(DrawnNames(*window_), (std::vector<std::string>{"MotorStop", "main"}));
  ASSERT_TRUE(panel.NodeAction(GraphPanel::kCopyNameItem, "MotorStop"));
  EXPECT_EQ(ClipboardText(), "MotorStop");
  ASSERT_TRUE(panel.NodeAction(GraphPanel::kOpenCodeItem, "MotorStop"));
  EXPECT_EQ(window_->codeView().site(), (SourceSite{dir / "src/motor.c", 7}));
  EXPECT_EQ(window_->pages().GetSelection(), static_cast<int>(ScanWindow::Page::kCode));
  ASSERT_TRUE(panel.NodeAction(GraphPanel::kFocusItem, "MotorStop"));
  EXPECT_EQ(view.focus().name, "MotorStop");
  // The next run keeps the focus.
  ScanToTheEnd();
  EXPECT_EQ(view.focus().name, "MotorStop");

  // The module overview: a box a module; a click on one opens it.
  auto& kind = dynamic_cast<wxChoice&>(*panel.FindWindow(GraphPanel::kKindChoice));
  kind.SetSelection(1);
  wxCommandEvent chosen(wxEVT_CHOICE, GraphPanel::kKindChoice);
  chosen.SetInt(1);
  kind.GetEventHandler()->ProcessEvent(chosen);
  EXPECT_EQ(DrawnNames(*window_), (std::vector<std::string>{"[app]", "[motor]"}));
  const std::vector<DrawnNode>& nodes = view.drawing().nodes;
  const auto motor = std::find_if(nodes.begin(), nodes.end(),
                                  [](const DrawnNode& node) { return node.name == "[motor]"; });
  ASSERT_NE(motor, nodes.end());
  GraphCanvas& canvas = panel.canvas();
  const wxPoint at =
      canvas.ToWindow(wxRealPoint(motor->left + motor->width / 2, motor->top + motor->height / 2));
  wxUIActionSimulator simulator;
  simulator.MouseMove(canvas.ClientToScreen(at));
  Settle();
  simulator.MouseClick();
  ASSERT_TRUE(YieldUntil([&] { return !view.expandedModules().empty(); }));
  EXPECT_EQ(DrawnNames(*window_), (std::vector<std::string>{"MotorStart", "MotorStop", "[app]"}));
}

// Typing into the search box offers the matching names and Enter focuses on the first; it
// must work with no graph yet too (replacing the offered names once recursed without end).
TEST_F(DialogTest, TypingIntoTheSearchBoxOffersNamesAndEnterFocuses) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  GraphPanel& panel = window_->graphPanel();
  auto& search = dynamic_cast<wxComboBox&>(*panel.FindWindow(GraphPanel::kSearchBox));
  ASSERT_TRUE(FocusOn(search));
  TypeText("m");
  Settle();
  EXPECT_EQ(FromWx(search.GetValue()), "m");
  search.ChangeValue("");

  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  ASSERT_TRUE(FocusOn(search));
  TypeText("MotorSt");
  ASSERT_TRUE(YieldUntil([&] { return search.GetCount() > 0; }));
  EXPECT_EQ(FromWx(search.GetValue()), "MotorSt");
  EXPECT_EQ(FromWx(search.GetString(0)), "MotorStart");
  PressKey(WXK_RETURN);
  const GraphView& view = window_->logic().graphView();
  EXPECT_TRUE(YieldUntil([&] { return view.focus().name == "MotorStart"; }));
}

// Every text control takes what is typed on the keyboard, on whichever page it stands.
TEST_F(DialogTest, TypedKeysReachEveryTextControl) {
  Open();
  struct Control {
    ScanWindow::Page page;
    int id;
    std::string typed;
  };
  const Control controls[] = {{ScanWindow::Page::kLog, kPathEdit, "/tmp/typed.cfg"},
                              {ScanWindow::Page::kLog, GraphPanel::kSearchBox, "Motor"},
                              {ScanWindow::Page::kLog, GraphPanel::kDepthSpin, "5"},
                              {ScanWindow::Page::kLog, ScanWindow::kLogFindBox, "error"},
                              {ScanWindow::Page::kFunctions, FunctionPanel::kFilterBox, "mst"},
                              {ScanWindow::Page::kCode, CodeView::kEditorCommandBox, "vi +%l %f"}};
  for (const Control& control : controls) {
    window_->ShowPage(control.page);
    wxWindow& item = Item(control.id);
    auto* entry = dynamic_cast<wxTextEntry*>(&item);
    auto* spin = dynamic_cast<wxSpinCtrl*>(&item);
    ASSERT_TRUE(entry != nullptr || spin != nullptr) << control.id;
    const auto value = [&] {
      return entry != nullptr ? FromWx(entry->GetValue()) : std::to_string(spin->GetValue());
    };
    ASSERT_TRUE(FocusOn(item)) << control.id;
    PressKey('A', wxMOD_CONTROL);
    TypeText(control.typed);
    // A spin button takes its typed number on Enter.
    if (spin != nullptr) PressKey(WXK_RETURN);
    EXPECT_TRUE(YieldUntil([&] { return value() == control.typed; }))
        << control.id << ": " << value();
  }
  EXPECT_EQ(Title(), kPlainTitle + " [typed.cfg ]");
  EXPECT_EQ(window_->codeView().editorCommand(), "vi +%l %f");
  EXPECT_EQ(FromWx(settings_.Read("/editor/command", wxString())), "vi +%l %f");
  // The log is read, not edited.
  const std::string log = Log();
  ASSERT_TRUE(FocusOn(Item(kLogEdit)));
  TypeText("typed");
  Settle();
  EXPECT_EQ(Log(), log);
}

// The function list filters as the user types, Enter chooses the best match (the Graph view
// focuses on it, the calls tree and the code view show it), keys open the tree, and Enter on a
// call site, or a double click on a definition's log line, shows the code there.
TEST_F(DialogTest, FunctionListCallsTreeAndCodeViewFollowTheKeys) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  window_->ShowPage(ScanWindow::Page::kFunctions);
  FunctionPanel& panel = window_->functionPanel();
  wxListCtrl& list = panel.listCtrl();
  EXPECT_EQ(list.GetItemCount(), 3);
  ASSERT_TRUE(FocusOn(panel.filterBox()));
  TypeText("mst");
  ASSERT_TRUE(YieldUntil([&] { return list.GetItemCount() == 2; })) << list.GetItemCount();
  const std::vector<std::string> firstRow = {"MotorStop", dir / "src/motor.c", "7", "motor", "1",
                                             "2"};
  for (int column = 0; column < static_cast<int>(firstRow.size()); ++column) {
    EXPECT_EQ(FromWx(list.GetItemText(0, column)), firstRow[column]) << column;
  }
  EXPECT_EQ(FromWx(list.GetItemText(1, 0)), "MotorStart");

  PressKey(WXK_RETURN);
  const GraphView& view = window_->logic().graphView();
  ASSERT_TRUE(YieldUntil([&] { return view.focus().name == "MotorStop"; }));
  CodeView& code = window_->codeView();
  EXPECT_EQ(code.site(), (SourceSite{dir / "src/motor.c", 7}));
  EXPECT_EQ(code.markedLine(), 7);
  EXPECT_TRUE(code.text().GetLine(6).StartsWith("void MotorStop(void)"));
  EXPECT_TRUE(code.text().GetReadOnly());

  // Down to "callees of MotorStop", Right opens it, Down to its second call, Enter.
  wxTreeCtrl& tree = panel.tree();
  const auto label = [&tree] { return FromWx(tree.GetItemText(tree.GetFocusedItem())); };
  ASSERT_TRUE(FocusOn(tree));
  wxTreeItemIdValue cookie;
  tree.SetFocusedItem(tree.GetFirstChild(tree.GetRootItem(), cookie));
  EXPECT_EQ(label(), "callers of MotorStop (1)");
  for (int key : {WXK_DOWN, WXK_RIGHT, WXK_DOWN, WXK_DOWN}) PressKey(key);
  ASSERT_TRUE(YieldUntil([&] { return label() == "MotorStart  " + dir / "src/motor.c:10"; }))
      << label();
  PressKey(WXK_RETURN);
  ASSERT_TRUE(YieldUntil([&] { return code.markedLine() == 10; })) << code.markedLine();
  EXPECT_EQ(window_->pages().GetSelection(), static_cast<int>(ScanWindow::Page::kCode));

  // The log line of MotorStart's definition, double-clicked.
  window_->ShowPage(ScanWindow::Page::kLog);
  LogView& log = window_->logView();
  const LogLines& lines = log.lines();
  size_t row = 0;
  while (row < lines.lineCount() && !lines.Line(row).starts_with(">> Z:2, void MotorStart")) ++row;
  ASSERT_LT(row, lines.lineCount()) << Log();
  log.SelectAndShowLine(row);
  Settle();
  wxUIActionSimulator simulator;
  const int y = static_cast<int>(row - log.state().firstRow()) * log.lineHeight() + 4;
  simulator.MouseMove(log.ClientToScreen(wxPoint(40, y)));
  Settle();
  simulator.MouseDblClick();
  ASSERT_TRUE(YieldUntil([&] { return code.site() == SourceSite{dir / "src/motor.c", 2}; }))
      << code.site().file << ":" << code.site().line;
  EXPECT_EQ(window_->pages().GetSelection(), static_cast<int>(ScanWindow::Page::kCode));

  // No editor to start: said, not silently ignored.
  code.SetEditorCommand("no-such-editor-here +%l %f");
  std::string message;
  wxTEST_DIALOG(ClickOn(*code.FindWindow(CodeView::kOpenInEditorButton));
                YieldUntil([&] { return !message.empty(); }), FileErrorBox(message));
  EXPECT_TRUE(message.starts_with("No editor could be started for " + dir / "src/motor.c"))
      << message;
}

// The Reach page answers what a function reaches, what reaches it, why and which functions are
// dead, asked from a node's menu, the function list's menu, its buttons and typed keys; a row
// opens the code at its call.
TEST_F(DialogTest, ReachPageAnswersTheQueriesAndLeadsToTheCode) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  ReachPanel& reach = window_->reachPanel();
  wxListCtrl& list = reach.listCtrl();
  const auto cell = [&list](long row, ReachColumn column) {
    return FromWx(list.GetItemText(row, static_cast<int>(column)));
  };
  const auto onReachPage = [this] {
    return window_->pages().GetSelection() == static_cast<int>(ScanWindow::Page::kReach);
  };

  ASSERT_TRUE(window_->graphPanel().NodeAction(
      kReachItems + static_cast<int>(ReachQueryKind::kReaches), "main"));
  EXPECT_TRUE(onReachPage());
  EXPECT_EQ(reach.heading(), "what main reaches: 3 functions");
  ASSERT_EQ(list.GetItemCount(), 4);
  EXPECT_EQ(cell(0, ReachColumn::kFunction), "main");
  EXPECT_EQ(cell(0, ReachColumn::kDefinedAt), dir / "main.c:7");
  EXPECT_EQ(cell(1, ReachColumn::kDepth), "1");

  // Typed into the name box, asked with the button.
  ASSERT_TRUE(FocusOn(reach.nameBox()));
  PressKey('A', wxMOD_CONTROL);
  TypeText("MotorStart");
  ASSERT_TRUE(YieldUntil([&] { return FromWx(reach.nameBox().GetValue()) == "MotorStart"; }));
  ClickOn(*reach.FindWindow(ReachPanel::kReachedByButton));
  ASSERT_TRUE(YieldUntil([&] { return reach.heading() == "what reaches MotorStart: 2 functions"; }))
      << reach.heading();
  EXPECT_EQ(cell(1, ReachColumn::kStep), "calls MotorStart at " + dir / "main.c:10");
  EXPECT_EQ(cell(1, ReachColumn::kKind), "direct");

  // Why, from the function list's function; the start of the chain is typed, Enter asks.
  window_->ShowReach(ReachQueryKind::kWhy, "MotorStart");
  EXPECT_EQ(reach.heading(), "why MotorStart is reachable from main: 1 calls");
  TypeText("MotorStop");
  PressKey(WXK_RETURN);
  ASSERT_TRUE(
      YieldUntil([&] { return reach.heading() == "why MotorStart is reachable from MotorStop: 1 calls"; }))
      << reach.heading();
  ASSERT_EQ(list.GetItemCount(), 2);
  reach.ChooseRow(1);
  EXPECT_EQ(window_->codeView().site(), (SourceSite{dir / "src/motor.c", 10}));
  EXPECT_EQ(window_->pages().GetSelection(), static_cast<int>(ScanWindow::Page::kCode));

  window_->ShowPage(ScanWindow::Page::kReach);
  ClickOn(*reach.FindWindow(ReachPanel::kDeadButton));
  ASSERT_TRUE(YieldUntil([&] { return reach.heading().starts_with("dead functions: 0 "); }))
      << reach.heading();
  window_->ShowReach(ReachQueryKind::kReaches, "no_such_function");
  EXPECT_EQ(reach.heading(), "unknown name: no_such_function");
  EXPECT_EQ(list.GetItemCount(), 0);
  EXPECT_EQ(window_->functionPanel().ReachNameOfRow(0), "MotorStart");

  // A new run lets go of the answer, whose graph goes with the run.
  window_->ShowReach(ReachQueryKind::kReaches, "main");
  ClickWithoutMouse(kScanButton);
  EXPECT_EQ(list.GetItemCount(), 0);
  ASSERT_TRUE(YieldUntil([this] { return !window_->commands().scanRunning(); },
                         std::chrono::seconds(90)));
}

// In the resolved mode the calls tree says how each call goes.
TEST_F(DialogTest, TheCallsTreeOfAResolvedScanShowsEachCallsKind) {
  TempDir dir;
  testing::WriteFile(dir / "drv.c",
                     "struct ops { void (*write)(int c); };\n"
                     "static void uart_write(int c) { printf(\"%d\", c); }\n"
                     "static const struct ops uart_ops = { .write = uart_write };\n"
                     "void isr_tx(const struct ops *o) { o->write(1); }\n");
  testing::WriteFile(dir / "scan.cfg",
                     "[files]\nfile0=drv.c\n[scan]\nsyntax=c\nresolve=yes\n[calls]\n0=*\n");
  Open();
  window_->SetItemText(kPathEdit, dir / "scan.cfg");
  ScanToTheEnd();
  window_->ShowPage(ScanWindow::Page::kFunctions);
  FunctionPanel& panel = window_->functionPanel();
  ASSERT_TRUE(FocusOn(panel.filterBox()));
  TypeText("isr_tx");
  ASSERT_TRUE(YieldUntil([&] { return panel.listCtrl().GetItemCount() == 1; }));
  PressKey(WXK_RETURN);
  wxTreeCtrl& tree = panel.tree();
  ASSERT_TRUE(YieldUntil([&] { return tree.GetCount() > 0; }));
  wxTreeItemIdValue cookie;
  const wxTreeItemId callers = tree.GetFirstChild(tree.GetRootItem(), cookie);
  const wxTreeItemId callees = tree.GetNextSibling(callers);
  tree.Expand(callees);
  ASSERT_TRUE(YieldUntil([&] { return tree.GetChildrenCount(callees, false) == 1; }));
  EXPECT_EQ(FromWx(tree.GetItemText(tree.GetFirstChild(callees, cookie))),
            "uart_write  " + dir / "drv.c:4  pointer via o->write");
}

// On a generated tree of over 100,000 functions the function list holds them all, filters as
// the keys come and a chosen function is drawn focused. Generating and scanning the tree may
// take its time on a loaded sanitizer build; what is under test is bounded only by finishing.
TEST_F(DialogTest, AHundredThousandFunctionTreeIsListedFilteredAndFocused) {
  TempDir dir;
  const std::string command = std::string(QUILLMAP_GEN_TREE) +
                              " --lines 4300000 --modules 8 --seed 1 " + dir.path() +
                              "tree >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  Open();
  window_->SetItemText(kPathEdit, dir / "tree/scan.cfg");
  ClickWithoutMouse(kScanButton);
  ASSERT_TRUE(YieldUntil([this] { return !window_->commands().scanRunning(); },
                         std::chrono::minutes(8)));
  ASSERT_TRUE(window_->logic().lastRun().finished);
  window_->ShowPage(ScanWindow::Page::kFunctions);
  FunctionPanel& panel = window_->functionPanel();
  wxListCtrl& list = panel.listCtrl();
  const FunctionList& functions = window_->logic().functionList();
  ASSERT_GE(list.GetItemCount(), 100000);
  EXPECT_EQ(static_cast<size_t>(list.GetItemCount()), functions.index()->size());

  // A name that one function alone has, typed key by key.
  std::string name;
  for (size_t f = functions.index()->size() / 2; name.empty(); ++f) {
    const std::string candidate(functions.index()->NameOf(static_cast<uint32_t>(f)));
    if (functions.index()->DefinitionsOf(functions.index()->model().functions[f].name).size() == 1)
      name = candidate;
  }
  ASSERT_TRUE(FocusOn(panel.filterBox()));
  TypeText(name);
  ASSERT_TRUE(YieldUntil([&] { return FromWx(panel.filterBox().GetValue()) == name; },
                         std::chrono::minutes(2)));
  ASSERT_TRUE(YieldUntil([&] { return FromWx(list.GetItemText(0, 0)) == name; },
                         std::chrono::minutes(2)))
      << FromWx(list.GetItemText(0, 0));
  EXPECT_LT(list.GetItemCount(), 100);
  PressKey(WXK_RETURN);
  const GraphView& view = window_->logic().graphView();
  ASSERT_TRUE(YieldUntil(
      [&] {
        const std::vector<std::string> drawn = DrawnNames(*window_);
        return view.focus().name == name &&
               std::find(drawn.begin(), drawn.end(), name) != drawn.end();
      },
      std::chrono::minutes(2)))
      << view.focus().name;
  EXPECT_TRUE(window_->graphPanel().message().empty()) << window_->graphPanel().message();
}

// Ctrl+F finds in the log; a scan that did not finish says so in the Graph view; the choosers
// open on the configuration's folder.
TEST_F(DialogTest, FindInTheLogAndWhatAFailedScanLeavesInTheGraphView) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  EXPECT_EQ(StartFolderFor(window_), dir.path());
  window_->ShowPage(ScanWindow::Page::kFunctions);
  ASSERT_TRUE(FocusOn(Item(kPathEdit)));
  PressKey('F', wxMOD_CONTROL);
  ASSERT_TRUE(YieldUntil([&] { return wxWindow::FindFocus() == &Item(ScanWindow::kLogFindBox); }));
  EXPECT_EQ(window_->pages().GetSelection(), static_cast<int>(ScanWindow::Page::kLog));
  TypeText("motorst");
  const LogView& log = window_->logView();
  std::vector<std::string> found;
  for (int i = 0; i < 3; ++i) {
    const std::string before = log.SelectedText();
    PressKey(WXK_RETURN);
    ASSERT_TRUE(YieldUntil([&] { return log.SelectedText() != before; })) << i;
    found.push_back(log.SelectedText());
  }
  for (std::string line : found) {
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(line.find("motorst"), std::string::npos) << line;
  }
  EXPECT_NE(found[0], found[1]);

  std::string message;
  window_->SetItemText(kPathEdit, dir / "missing.cfg");
  wxTEST_DIALOG(ScanToTheEnd(), FileErrorBox(message));
  EXPECT_EQ(window_->graphPanel().message(),
            "no graph: the last scan did not finish: not run: " + dir / "missing.cfg" +
                " was not found. (exit status 2)");
}

TEST_F(DialogTest, ActionsOpenOutputsRememberConfigurationsAndSaveTheLog) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  std::vector<std::string> opened;
  window_->SetOpener([&opened](const std::string& path) { opened.push_back(path); });
  window_->SetItemText(kPathEdit, cfg);
  ScanToTheEnd();
  window_->OpenOutputFolder();
  window_->OpenOutputFile(dir / "out.dot");
  EXPECT_EQ(opened, (std::vector<std::string>{dir.path(), dir / "out.dot"}));
  EXPECT_EQ(window_->logic().OutputFiles(),
            (std::vector<std::string>{dir / "out.dot", dir / "out.csv", dir / "modules.dot",
                                      dir / "modules.log"}));

  ASSERT_TRUE(window_->SaveLog(dir / "saved.log"));
  EXPECT_EQ(ReadFile(dir / "saved.log"), Log());

  // The configuration is remembered for the next start.
  window_->SetItemText(kPathEdit, "");
  window_->OpenRecent(0);
  EXPECT_EQ(window_->GetItemText(kPathEdit), cfg);
  EXPECT_EQ(FromWx(settings_.Read("/recent/0", wxString())), cfg);
}

TEST_F(DialogTest, TheLogFollowsItsEndOnlyWhileTheUserHasNotScrolledAway) {
  Open();
  window_->SetSize(wxSize(900, 500));
  Settle();
  LogView& log = window_->logView();
  std::string batch;
  for (int i = 0; i < 400; ++i) batch += "\r\nline " + std::to_string(i);
  window_->AppendItemText(kLogEdit, batch);
  ASSERT_TRUE(window_->LogAtEnd());
  // The scroll bar stands where the view does.
  const auto scrollBarAtView = [&log] {
    return log.GetScrollPos(wxVERTICAL) == static_cast<int>(log.state().firstRow()) &&
           log.GetScrollRange(wxVERTICAL) == static_cast<int>(log.state().lineCount());
  };
  EXPECT_GT(log.state().firstRow(), 0u);
  EXPECT_TRUE(YieldUntil(scrollBarAtView));

  // Keys scroll the focused log as a user presses them; scrolled up, the log stays put.
  ASSERT_TRUE(FocusOn(log));
  struct Step {
    int key;
    bool following;
  };
  const Step steps[] = {
      {WXK_PAGEUP, false}, {WXK_UP, false}, {WXK_HOME, false}, {WXK_DOWN, false}, {WXK_END, true}};
  for (const Step& step : steps) {
    PressKey(step.key);
    ASSERT_TRUE(YieldUntil([&] { return window_->LogAtEnd() == step.following; })) << step.key;
    const size_t readingAt = log.state().firstRow();
    window_->AppendItemText(kLogEdit, batch);
    Settle();
    const size_t end = log.state().lineCount() - log.state().pageRows();
    EXPECT_EQ(log.state().firstRow(), step.following ? end : readingAt) << step.key;
    EXPECT_EQ(window_->LogAtEnd(), step.following) << step.key;
    EXPECT_TRUE(YieldUntil(scrollBarAtView)) << step.key;
  }
  // A notch of the wheel up scrolls by the lines it stands for; with Shift, sideways.
  wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
  wheel.m_wheelRotation = wheel.m_wheelDelta = 120;
  wheel.m_linesPerAction = 3;
  const size_t atEnd = log.state().firstRow();
  log.GetEventHandler()->ProcessEvent(wheel);
  EXPECT_EQ(log.state().firstRow(), atEnd - 3);
  EXPECT_FALSE(window_->LogAtEnd());
  window_->AppendItemText(kLogEdit, "\r\n" + std::string(500, 'x'));
  wheel.m_wheelRotation = -120;
  wheel.SetShiftDown(true);
  log.GetEventHandler()->ProcessEvent(wheel);
  EXPECT_EQ(log.state().firstColumn(), 3u);
  EXPECT_EQ(log.GetScrollPos(wxHORIZONTAL), 3);
  // The scroll bar dragged by the user, as the toolkit reports it.
  wxScrollWinEvent drag(wxEVT_SCROLLWIN_THUMBTRACK, 10, wxVERTICAL);
  log.GetEventHandler()->ProcessEvent(drag);
  EXPECT_EQ(log.state().firstRow(), 10u);
  EXPECT_FALSE(window_->LogAtEnd());
}

// The text on the clipboard; "" when it holds none.
std::string ClipboardText() {
  wxClipboardLocker clipboard;
  wxTextDataObject data;
  if (!clipboard || !wxTheClipboard->GetData(data)) return {};
  return FromWx(data.GetText());
}

TEST_F(DialogTest, LinesSelectedWithTheMouseOrAllAreCopied) {
  Open();
  for (int i = 1; i <= 4; ++i) window_->logic().AppendLog("line " + std::to_string(i), false);
  LogView& log = window_->logView();
  ASSERT_EQ(log.state().firstRow(), 0u);
  wxUIActionSimulator simulator;
  // Clicks on rows: the first selects, with Shift held the next extends the selection.
  const auto click = [&](int row, bool shift) {
    simulator.MouseMove(log.ClientToScreen(wxPoint(40, row * log.lineHeight() + 4)));
    Settle();
    if (shift) simulator.KeyDown(WXK_SHIFT);
    simulator.MouseClick();
    if (shift) simulator.KeyUp(WXK_SHIFT);
    Settle();
  };
  click(1, false);
  EXPECT_EQ(log.SelectedText(), "line 1");
  EXPECT_EQ(wxWindow::FindFocus(), &log);
  click(3, true);
  EXPECT_EQ(log.SelectedText(), "line 1\nline 2\nline 3");
  PressKey('C', wxMOD_CONTROL);
  EXPECT_EQ(ClipboardText(), "line 1\nline 2\nline 3");
  // A drag from a row to the one below selects both.
  simulator.MouseMove(log.ClientToScreen(wxPoint(40, 3 * log.lineHeight() + 4)));
  Settle();
  simulator.MouseDown();
  simulator.MouseMove(log.ClientToScreen(wxPoint(60, 4 * log.lineHeight() + 4)));
  Settle();
  simulator.MouseUp();
  Settle();
  EXPECT_EQ(log.SelectedText(), "line 3\nline 4");

  // The context menu's items, chosen as the menu sends them.
  std::unique_ptr<wxMenu> menu(log.NewContextMenu());
  ASSERT_EQ(menu->GetMenuItemCount(), 2u);
  EXPECT_EQ(FromWx(menu->FindItem(LogView::kCopyItem)->GetItemLabelText()), "Copy");
  EXPECT_TRUE(menu->IsEnabled(LogView::kCopyItem));
  for (int item : {LogView::kSelectAllItem, LogView::kCopyItem}) {
    wxCommandEvent chosen(wxEVT_MENU, item);
    log.GetEventHandler()->ProcessEvent(chosen);
  }
  EXPECT_EQ(ClipboardText(), "work path: " + WorkPath() + "\nline 1\nline 2\nline 3\nline 4");

  // A new log has nothing selected, and Copy is off.
  window_->SetItemText(kLogEdit, "");
  menu.reset(log.NewContextMenu());
  EXPECT_FALSE(menu->IsEnabled(LogView::kCopyItem));
  EXPECT_FALSE(log.CopySelection());
}

TEST_F(DialogTest, LogAppendsInPlaceWithTheLogTextRules) {
  Open();
  // The log is read, not edited: typing into it changes nothing.
  ASSERT_TRUE(FocusOn(Item(kLogEdit)));
  TypeText("typed");
  window_->logic().AppendLog("", false);
  window_->logic().AppendLog("\r\nsummary", false);
  EXPECT_EQ(Log(), "work path: " + WorkPath() + "\r\n\r\n\r\nsummary");

  window_->logic().AppendLog("", true);
  window_->logic().AppendLog("", false);
  EXPECT_EQ(Log(), "");

  // A source line quoted in Latin-1 is shown, not lost to a failed conversion; the UTF-8 lines
  // beside it stay as they are.
  window_->logic().AppendLog("caf\xe9", false);
  EXPECT_EQ(Log(), "caf\xc3\xa9");
  window_->AppendItemText(kLogEdit, "\r\nna\xc3\xafve\r\nna\xefve");
  EXPECT_EQ(Log(), "caf\xc3\xa9\r\nna\xc3\xafve\r\nna\xc3\xafve");
  window_->logic().AppendLog("", true);

  // Appending in place keeps a long run's log cheap: thousands of entries in well under the
  // seconds that rewriting the whole text would take.
  const auto start = std::chrono::steady_clock::now();
  constexpr int kEntries = 3000;
  for (int i = 0; i < kEntries; ++i)
    window_->logic().AppendLog("entry " + std::to_string(i), false);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2));
  const std::string log = Log();
  EXPECT_EQ(log.substr(0, 17), "entry 0\r\nentry 1\r");
  EXPECT_EQ(log.substr(log.size() - 12), "\r\nentry 2999");
  EXPECT_EQ(window_->logView().state().lineCount(), static_cast<size_t>(kEntries));
}

TEST_F(DialogTest, EscapeLeavesTheDialogOpen) {
  Open();
  int escapesSeen = 0;
  window_->Bind(wxEVT_CHAR_HOOK, [&escapesSeen](wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_ESCAPE) ++escapesSeen;
    event.Skip();
  });
  for (int id : {kPathEdit, kLogEdit, kScanButton}) {
    ASSERT_TRUE(FocusOn(Item(id))) << id;
    const int seenBefore = escapesSeen;
    PressKey(WXK_ESCAPE);
    ASSERT_TRUE(YieldUntil([&] { return escapesSeen > seenBefore; })) << id;
    Settle();
    EXPECT_TRUE(window_->IsShown()) << id;
  }
}

TEST_F(DialogTest, F1AndTheAboutButtonOpenTheAboutBox) {
  Open();
  std::vector<std::string> labels;
  const ExpectDialog<AboutDialog> about(
      [&labels](AboutDialog& box) {
        labels.push_back(FromWx(box.FindWindow(AboutDialog::kVersionLabel)->GetLabel()));
        return static_cast<int>(wxID_OK);
      },
      "the about box");
  ASSERT_TRUE(FocusOn(Item(kPathEdit)));
  wxTEST_DIALOG(PressKey(WXK_F1); YieldUntil([&] { return labels.size() == 1; }), about);
  wxTEST_DIALOG(ClickOn(Item(wxID_ABOUT)); YieldUntil([&] { return labels.size() == 2; }), about);
  EXPECT_EQ(labels, (std::vector<std::string>(2, "quillmap V1.0.0.2 BETA!!!")));
  EXPECT_TRUE(window_->IsShown());
}

TEST_F(DialogTest, DropTakesExactlyOneFileOntoThePathEditOnly) {
  TempDir dir;
  const std::string a = dir.Write("a.cfg", "");
  const std::string b = dir.Write("b.cfg", "");
  Open();
  const std::string pathBefore = window_->GetItemText(kPathEdit);
  const std::string titleBefore = Title();
  auto* target = dynamic_cast<wxFileDropTarget*>(Item(kPathEdit).GetDropTarget());
  ASSERT_NE(target, nullptr);
  for (int id : {kCfgFileButton, kLogEdit, kScanButton}) {
    EXPECT_EQ(Item(id).GetDropTarget(), nullptr) << id;
  }

  wxArrayString two;
  two.Add(ToWx(a));
  two.Add(ToWx(b));
  EXPECT_FALSE(target->OnDropFiles(0, 0, two));
  EXPECT_FALSE(target->OnDropFiles(0, 0, wxArrayString()));
  EXPECT_EQ(window_->GetItemText(kPathEdit), pathBefore);
  EXPECT_EQ(Title(), titleBefore);

  wxArrayString one;
  one.Add(ToWx(b));
  EXPECT_TRUE(target->OnDropFiles(0, 0, one));
  EXPECT_EQ(window_->GetItemText(kPathEdit), b);
  EXPECT_EQ(Title(), kPlainTitle + " [b.cfg ]");
  EXPECT_FALSE(window_->logic().lastRun().started);
}

TEST_F(DialogTest, CfgFileOpensTheChooserWithTheConfigurationFilters) {
  Open();
  const std::string pathBefore = window_->GetItemText(kPathEdit);
  const std::string titleBefore = Title();
  std::string wildcard;
  std::string chooserTitle;
  wxTEST_DIALOG(ClickOn(Item(kCfgFileButton)); YieldUntil([&] { return !wildcard.empty(); }),
                                               ExpectDialog<wxFileDialog>(
                                                   [&](wxFileDialog& chooser) {
                                                     wildcard = FromWx(chooser.GetWildcard());
                                                     chooserTitle = FromWx(chooser.GetMessage());
                                                     return static_cast<int>(wxID_CANCEL);
                                                   },
                                                   "the configuration chooser"));
  EXPECT_EQ(wildcard, "cfg-files |*.cfg|all-files|*");
  EXPECT_EQ(chooserTitle, kCfgChooserTitle);
  // Cancelled: nothing changed.
  EXPECT_EQ(window_->GetItemText(kPathEdit), pathBefore);
  EXPECT_EQ(Title(), titleBefore);
}

// Answers the chooser as a user who picked `path` would.
class PickingChooser : public FileChooser {
 public:
  explicit PickingChooser(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> ChooseFile() override { return path_; }

 private:
  std::string path_;
};

TEST_F(DialogTest, ChosenConfigurationGoesIntoPathEditAndTitle) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  window_->commands().SetFileChooser(std::make_unique<PickingChooser>(cfg));
  ClickOn(Item(kCfgFileButton));
  EXPECT_TRUE(YieldUntil([&] { return window_->GetItemText(kPathEdit) == cfg; }));
  EXPECT_EQ(Title(), kPlainTitle + " [scan.cfg ]");
  EXPECT_FALSE(window_->logic().lastRun().started);

  window_->commands().SetFileChooser(std::make_unique<PickingChooser>(dir / "typed.cfg"));
  std::string message;
  wxTEST_DIALOG(ClickOn(Item(kCfgFileButton));
                YieldUntil([&] { return !message.empty(); }), FileErrorBox(message));
  EXPECT_EQ(message, dir / "typed.cfg" + " was not found.");
  EXPECT_EQ(window_->GetItemText(kPathEdit), dir / "typed.cfg");
  EXPECT_EQ(Title(), kPlainTitle + " [typed.cfg ]");
}

TEST_F(DialogTest, ScanOfAMissingConfigurationShowsTheFileErrorBox) {
  TempDir dir;
  Open();
  window_->SetItemText(kPathEdit, dir / "missing.cfg");
  std::string message;
  wxTEST_DIALOG(ClickOn(Item(kScanButton));
                YieldUntil([&] { return !message.empty(); }), FileErrorBox(message));
  EXPECT_EQ(message, dir / "missing.cfg" + " was not found.");
  EXPECT_TRUE(Item(kScanButton).IsEnabled());
}

TEST_F(DialogTest, StartUpWithUnopenableCfgFileSaysSoAndStaysOpen) {
  TempDir dir;
  std::string message;
  wxTEST_DIALOG(Open({"-cfg", dir / "missing.cfg"}), FileErrorBox(message));
  EXPECT_EQ(message, dir / "missing.cfg" + " was not found.");
  EXPECT_EQ(Title(), kPlainTitle + " [missing.cfg ]");
  EXPECT_EQ(window_->GetItemText(kPathEdit), dir / "missing.cfg");
  EXPECT_EQ(Log(), message);
  EXPECT_FALSE(window_->closeRequested());
}

TEST_F(DialogTest, StartUpWithCfgFileScansAndEndsWithoutWaiting) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  auto* window = new ScanWindow({"-cfg", cfg});
  EXPECT_TRUE(window->closeRequested());
  EXPECT_EQ(window->ShowModal(), wxID_CANCEL);
  window->Destroy();
  for (const std::string& name : kFixtureOutputs) EXPECT_TRUE(FileExists(dir / name)) << name;
}

}  // namespace
}  // namespace quillmap
