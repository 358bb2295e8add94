#include "dialog/scan_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "files/paths.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::MemoryWindow;
using testing::TempDir;

class ScanDialogTest : public ::testing::Test {
 protected:
  std::string Log() const { return window.GetItemText(kLogEdit); }
  void RunOn(const std::string& path) {
    window.SetItemText(kPathEdit, path);
    dialog.OnScanClicked();
  }

  MemoryWindow window;
  ScanDialog dialog{window};
  TempDir dir;
};

TEST_F(ScanDialogTest, AppendLogSeparatesEntriesWithOneCrLf) {
  dialog.AppendLog("", false);
  EXPECT_EQ(Log(), "");
  dialog.AppendLog("first", false);
  dialog.AppendLog("", false);
  EXPECT_EQ(Log(), "first\r\n");
  dialog.AppendLog("\r\nsummary", false);
  EXPECT_EQ(Log(), "first\r\n\r\n\r\nsummary");
}

TEST_F(ScanDialogTest, AppendLogKeepsTypedTextUntilReplaced) {
  window.SetItemText(kLogEdit, "typed by the user");
  dialog.AppendLog("entry", false);
  EXPECT_EQ(Log(), "typed by the user\r\nentry");
  dialog.AppendLog("new", true);
  EXPECT_EQ(Log(), "new");
  window.texts.erase(kLogEdit);
  dialog.AppendLog("lost", false);  // no log control: nothing happens
  EXPECT_FALSE(window.HasItem(kLogEdit));
}

// Runs the start-up in `folder` as the current directory.
void InitIn(ScanDialog& dialog, const std::string& folder, const std::vector<std::string>& args) {
  const std::string before = CurrentDirectoryPath();
  ASSERT_EQ(chdir(folder.c_str()), 0);
  dialog.InitDialog(args);
  ASSERT_EQ(chdir(before.c_str()), 0);
}

TEST_F(ScanDialogTest, InitDialogProposesTheDefaultConfigurationOnlyWhenItExists) {
  InitIn(dialog, dir.path(), {});
  EXPECT_EQ(Log(), "work path: " + dir.path());
  EXPECT_EQ(window.GetItemText(kPathEdit), "");
  EXPECT_EQ(window.title, "quillmap - https://github.com/quillmap/quillmap");
  EXPECT_TRUE(window.enabled[kPathEdit]);
  EXPECT_TRUE(window.enabled[kCfgFileButton]);
  EXPECT_EQ(window.closeRequests, 0);

  // Without the default, the most recent configuration that still exists.
  const std::string recent = dir.Write("recent.cfg", "");
  dialog.recent().Add(recent);
  dialog.recent().Add(dir / "gone.cfg");
  InitIn(dialog, dir.path(), {});
  EXPECT_EQ(window.GetItemText(kPathEdit), recent);
  EXPECT_EQ(window.title, "quillmap - https://github.com/quillmap/quillmap [recent.cfg ]");

  dir.Write("test/TestModGraph.cfg", "");
  InitIn(dialog, dir.path(), {});
  EXPECT_EQ(window.GetItemText(kPathEdit), dir / "test/TestModGraph.cfg");
  EXPECT_EQ(window.title, "quillmap - https://github.com/quillmap/quillmap [TestModGraph.cfg ]");
}

TEST_F(ScanDialogTest, InitDialogRunsTheCommandLineConfigurationAndCloses) {
  const std::string cfg = dir.Write("a.cfg", "[calls]\n0=foo\n");
  dialog.InitDialog({"-cfg", cfg});
  EXPECT_EQ(window.closeRequests, 1);
  EXPECT_TRUE(dialog.lastRun().finished);
  EXPECT_EQ(window.entries.back(), "file list is empty");
}

TEST_F(ScanDialogTest, InitDialogStopsAtAFileErrorAndStaysOpen) {
  dialog.InitDialog({"-cfg", "missing.cfg"});
  EXPECT_EQ(window.fileErrors, (std::vector<std::string>{"missing.cfg was not found."}));
  EXPECT_EQ(window.GetItemText(kPathEdit), "missing.cfg");
  EXPECT_EQ(Log(), "missing.cfg was not found.");
  EXPECT_EQ(window.closeRequests, 0);
  EXPECT_EQ(window.title, "quillmap - https://github.com/quillmap/quillmap [missing.cfg ]");
  EXPECT_TRUE(dialog.lastRun().fileError);
  EXPECT_EQ(dialog.status().text, "not run: missing.cfg was not found. (exit status 2)");
}

TEST_F(ScanDialogTest, UpdateTitleAddsTheFileName) {
  dialog.UpdateTitle("a.cfg");
  EXPECT_EQ(window.title, "quillmap - https://github.com/quillmap/quillmap [a.cfg ]");
}

TEST_F(ScanDialogTest, AnEmptyPathOrAFolderIsSaidInTheLogAndTheStatus) {
  window.SetItemText(kLogEdit, "old");
  RunOn("");
  EXPECT_EQ(Log(), "no configuration file given");
  EXPECT_FALSE(dialog.lastRun().started);
  EXPECT_EQ(dialog.status().text, "not run: no configuration file given (exit status 2)");

  RunOn(dir.path());
  EXPECT_EQ(Log(), dir.path() + " is a folder, not a scan configuration");
  EXPECT_EQ(dialog.status().state, RunStatus::State::kNotRun);
  EXPECT_TRUE(window.fileErrors.empty());
  // A folder with its own configuration offers it for the next click.
  const std::string inside = dir.Write("quillmap.cfg", "");
  RunOn(dir.path());
  EXPECT_EQ(Log(), dir.path() +
                       " is a folder, not a scan configuration: its quillmap.cfg is in the path "
                       "edit now, SCAN scans it");
  EXPECT_EQ(window.GetItemText(kPathEdit), inside);
  EXPECT_FALSE(dialog.lastRun().started);
}

TEST_F(ScanDialogTest, CompletesAPathBeginningWithADotWithTheWorkPath) {
  SetWorkPath(dir.path());
  dir.Write("a.cfg", "[calls]\n0=foo\n");
  RunOn("./a.cfg");
  EXPECT_TRUE(dialog.lastRun().finished);
  EXPECT_EQ(window.entries.front(), "path: " + dir.path());
  RunOn("../a.cfg");  // names <work path>../a.cfg, a file that does not exist
  EXPECT_EQ(window.fileErrors.back(), dir.path() + "../a.cfg was not found.");
}

TEST_F(ScanDialogTest, ReportsAMissingCallsListWithThePath) {
  const std::string cfg = dir.Write("a.cfg", "[files]\nfile0=a.c\n[reject]\n0=x\n");
  RunOn(cfg);
  EXPECT_EQ(Log(), "error reading scan filters from: " + cfg);
  EXPECT_TRUE(dialog.lastRun().errorReported);
  EXPECT_TRUE(dialog.rejectList().empty());
}

TEST_F(ScanDialogTest, EndsWithTheSummaryOrAnEmptyEntry) {
  dir.Write("a.c", "int foo(int a)\n{\n  bar(a);\n}\n");
  const std::string cfg =
      dir.Write("a.cfg", "[files]\ncsv=a.csv\nfile0=a.c\n[calls]\n0=foo\n1=bar\n");
  RunOn(cfg);
  EXPECT_EQ(window.entries.back(), "\r\n4 lines, 29 chars, 1 fcts");
  EXPECT_TRUE(Log().ends_with("<< Z:3, calls: 1\r\n\r\n4 lines, 29 chars, 1 fcts"));
  EXPECT_FALSE(dialog.lastRun().errorReported);

  testing::WriteFile(cfg, "[files]\nfile0=a.c\n[calls]\n0=foo\n");  // no CSV report
  RunOn(cfg);
  EXPECT_TRUE(Log().ends_with("<< Z:3\r\n"));
  EXPECT_FALSE(dialog.lastRun().errorReported);
}

TEST_F(ScanDialogTest, ASecondRunStartsFromAnEmptyLogAndFreshLists) {
  dir.Write("a.c", "int foo(void)\n{\n}\n");
  const std::string cfg =
      dir.Write("a.cfg", "[files]\ncsv=a.csv\nfile0=a.c\n[calls]\n0=foo\n1=bar\n[reject]\n0=x\n");
  RunOn(cfg);
  testing::WriteFile(cfg, "[files]\ncsv=a.csv\nfile0=a.c\n[calls]\n0=baz\n");
  RunOn(cfg);
  EXPECT_EQ(dialog.callsList(), (StringList{"baz"}));
  EXPECT_TRUE(dialog.rejectList().empty());
  EXPECT_EQ(window.entries.front(), "path: " + dir.path());
  EXPECT_EQ(Log().find("foo"), std::string::npos);
}

TEST_F(ScanDialogTest, ReportsOutputsThatCouldNotBeWrittenBeforeTheFinalEntry) {
  dir.Write("a.c", "int foo(void)\n{\n}\n");
  const std::string cfg = dir.Write(
      "a.cfg", "[files]\ndot=no/such/dir/a.dot\ncsv=/dev/full\nfile0=a.c\n[calls]\n0=foo\n");
  RunOn(cfg);
  const auto& entries = window.entries;
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(entries[entries.size() - 3], "error writing: " + dir.path() + "no/such/dir/a.dot");
  EXPECT_EQ(entries[entries.size() - 2], "error writing: /dev/full");
  EXPECT_EQ(entries.back(), "\r\n3 lines, 18 chars, 1 fcts");
  EXPECT_TRUE(dialog.lastRun().errorReported);

  testing::WriteFile(cfg, "[files]\ncsv=a.csv\nfile0=a.c\n[calls]\n0=foo\n");
  RunOn(cfg);
  EXPECT_EQ(Log().find("error writing"), std::string::npos);
  EXPECT_FALSE(dialog.lastRun().errorReported);
}

}  // namespace
}  // namespace quillmap
