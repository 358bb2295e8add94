#include "gui/scan_window.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <regex>

#include "files/paths.h"
#include "gui/about_dialog.h"
#include "gui/cfg_file_chooser.h"
#include "gui/dialog_units.h"
#include "gui/gui_test_support.h"
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
  static const std::regex header("// crated on: [^\r\n]* with ");
  return std::regex_replace(contents, header, "// crated on: <time> with ");
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
    window_ = new ScanWindow(args);
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

  // The button's click event, delivered as the toolkit delivers it.
  void ClickWithoutMouse(int id) {
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(&Item(id));
    Item(id).GetEventHandler()->ProcessEvent(click);
  }

  ScanWindow* window_ = nullptr;
};

TEST_F(DialogTest, StartsWithDefaultPathWorkPathEntryAndTitle) {
  Open();
  EXPECT_EQ(Title(), kPlainTitle);
  EXPECT_EQ(Edit(kPathEdit).GetValue(), ToWx(WorkPath() + "test/TestModGraph.cfg"));
  EXPECT_EQ(Log(), "work path: " + WorkPath());
  EXPECT_FALSE(window_->closeRequested());
  EXPECT_EQ(FromWx(Item(kCfgFileButton).GetLabel()), "CFG File");
  EXPECT_EQ(FromWx(Item(kScanButton).GetLabel()), "SCAN");
  EXPECT_EQ(window_->GetDefaultItem(), nullptr);
  EXPECT_EQ(window_->FindWindow(wxID_OK), nullptr);
  EXPECT_EQ(window_->FindWindow(wxID_CANCEL), nullptr);
  EXPECT_TRUE(window_->GetIcon().IsOk());
}

TEST_F(DialogTest, ControlsSitAtTheirDialogUnitPlacesInTabOrder) {
  Open();
  EXPECT_EQ(window_->GetClientSize(), window_->ConvertDialogToPixels(wxSize(367, 191)));
  EXPECT_EQ(Item(kCfgFileButton).GetRect(), ToPixels(*window_, {265, 5, 35, 14}));
  EXPECT_EQ(Item(kPathEdit).GetRect(), ToPixels(*window_, {5, 5, 217, 14}));
  EXPECT_EQ(Item(kNewCfgButton).GetRect(), ToPixels(*window_, {224, 5, 39, 14}));
  EXPECT_EQ(Item(kLogEdit).GetRect(), ToPixels(*window_, {0, 25, 365, 165}));
  EXPECT_EQ(Item(kScanButton).GetRect(), ToPixels(*window_, {325, 5, 40, 14}));

  std::vector<int> tabOrder;
  for (const wxWindow* child : window_->GetChildren()) tabOrder.push_back(child->GetId());
  EXPECT_EQ(std::vector<int>(tabOrder.begin(), tabOrder.begin() + 4),
            (std::vector<int>{kCfgFileButton, kPathEdit, kLogEdit, kScanButton}));

  EXPECT_TRUE(Edit(kLogEdit).IsMultiLine());
  EXPECT_TRUE(Edit(kLogEdit).IsEditable());
  EXPECT_TRUE(Edit(kPathEdit).IsSingleLine());
  const wxFont font = Edit(kLogEdit).GetFont();
  EXPECT_TRUE(font.IsFixedWidth()) << FromWx(font.GetNativeFontInfoDesc());
  EXPECT_NEAR(font.GetPixelSize().GetHeight(), 14, 2);
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
  log = std::regex_replace(log, std::regex("\r\n"), "\n") + "\n";
  EXPECT_EQ(log, batch.out.substr(batch.out.find('\n') + 1));
  for (int id : {kPathEdit, kCfgFileButton, kScanButton}) EXPECT_TRUE(Item(id).IsEnabled()) << id;
  EXPECT_EQ(Title(), kPlainTitle);
}

TEST_F(DialogTest, RunLetsTheWindowRepaintWithInputsDisabledAndClosesOnlyAfterIt) {
  TempDir dir;
  const std::string cfg = CopyFixture(dir);
  Open();
  window_->SetItemText(kPathEdit, cfg);

  // Posted before the run, handled only if the run lets events through.
  bool probed = false;
  bool runningWhenProbed = false;
  std::vector<bool> enabledWhenProbed;
  window_->CallAfter([&] {
    probed = true;
    runningWhenProbed = window_->commands().scanRunning();
    for (int id : {kPathEdit, kCfgFileButton, kScanButton}) {
      enabledWhenProbed.push_back(Item(id).IsEnabled());
    }
    window_->Close();
    window_->commands().OnScanClicked();  // a second run must not start inside the first
  });
  ClickWithoutMouse(kScanButton);

  EXPECT_TRUE(probed);
  EXPECT_TRUE(runningWhenProbed);
  EXPECT_EQ(enabledWhenProbed, (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(RunFinished()) << Log();
  // The close asked for during the run took effect once the run was over.
  EXPECT_FALSE(window_->IsShown());
}

TEST_F(DialogTest, LogAppendsInPlaceWithTheLogTextRules) {
  Open();
  ASSERT_TRUE(FocusOn(Item(kLogEdit)));
  Edit(kLogEdit).SetInsertionPointEnd();
  TypeText("typed");
  window_->logic().AppendLog("", false);
  window_->logic().AppendLog("\r\nsummary", false);
  EXPECT_EQ(Log(), "work path: " + WorkPath() + "typed\r\n\r\n\r\nsummary");

  window_->logic().AppendLog("", true);
  window_->logic().AppendLog("", false);
  EXPECT_EQ(Log(), "");

  // A source line quoted in Latin-1 is shown, not lost to a failed conversion.
  window_->logic().AppendLog("caf\xe9", false);
  EXPECT_EQ(Log(), "caf\xc3\xa9");
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
  EXPECT_EQ(Title(), kPlainTitle);

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
  EXPECT_EQ(Title(), kPlainTitle);
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
  EXPECT_EQ(Title(), kPlainTitle + " [scan.cfg ]");
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

TEST_F(DialogTest, StartUpWithUnopenableCfgFileKeepsTheBareCaptionAndStaysOpen) {
  TempDir dir;
  std::string message;
  wxTEST_DIALOG(Open({"-cfg", dir / "missing.cfg"}), FileErrorBox(message));
  EXPECT_EQ(message, dir / "missing.cfg" + " was not found.");
  EXPECT_EQ(Title(), "quillmap");
  EXPECT_EQ(window_->GetItemText(kPathEdit), dir / "missing.cfg");
  EXPECT_EQ(Log(), "");
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
