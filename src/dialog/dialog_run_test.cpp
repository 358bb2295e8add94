// The dialog's run off the window's thread: the log in batches with its error lines, the status
// of every outcome class, stopping with the previous outputs kept, the recent list and the Graph
// view of the result.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "dialog/recent_configurations.h"
#include "dialog/scan_dialog.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::MemoryWindow;
using testing::ReadFile;
using testing::TempDir;

TEST(RunLogBuffer, JoinsEntriesAsTheLogDoesAndCountsErrorLines) {
  RunLogBuffer buffer(false);
  buffer.AppendLog("a", false);
  buffer.AppendErrorEntry("\r\nerror one");
  RunLogBuffer::Batch batch = buffer.Take();
  EXPECT_FALSE(batch.replace);
  EXPECT_EQ(batch.text, "\r\na\r\n\r\nerror one");
  EXPECT_EQ(batch.errors, (std::vector<ErrorEntry>{{"\r\nerror one", 2}}));
  EXPECT_TRUE(buffer.Take().empty());
  // A later batch counts from its own first line (the window adds the lines it holds already).
  buffer.AppendLog("b", false);
  buffer.AppendErrorEntry("e2");
  EXPECT_EQ(buffer.Take().errors, (std::vector<ErrorEntry>{{"e2", 2}}));

  buffer.AppendLog("old", false);
  buffer.AppendLog("", true);  // a replacement drops what was not taken yet
  buffer.AppendLog("x", false);
  buffer.AppendErrorEntry("e");
  batch = buffer.Take();
  EXPECT_TRUE(batch.replace);
  EXPECT_EQ(batch.text, "x\r\ne");
  EXPECT_EQ(batch.errors, (std::vector<ErrorEntry>{{"e", 1}}));
}

TEST(RunStatus, SaysEachOutcomeClassWithTheBatchModesExitStatus) {
  EXPECT_EQ(RunningStatus({}, false).text, "running");
  const RunStatus running = RunningStatus({"call graph", 4, 10}, false);
  EXPECT_EQ(running.text, "running: call graph, file 5 of 10");
  EXPECT_EQ(running.gaugePercent, 40);
  EXPECT_EQ(RunningStatus({"modules", 10, 10}, true).text,
            "running: modules, file 10 of 10 (stopping)");

  const struct {
    RunOutcome outcome;
    size_t errors;
    const char* text;
    int exitStatus;
  } cases[] = {
      {{true, false, true, false, false}, 0, "finished without errors (exit status 0)", 0},
      {{true, false, true, true, false}, 1, "finished with 1 error (exit status 1)", 1},
      {{true, false, true, true, false}, 3, "finished with 3 errors (exit status 1)", 1},
      {{true, false, true, true, false}, 0, "finished with 1 error (exit status 1)", 1},
      {{true, false, true, false, true},
       0,
       "stopped: no output written, the previous outputs are kept",
       -1},
  };
  for (const auto& c : cases) {
    const RunStatus status = EndedStatus(c.outcome, c.errors);
    EXPECT_EQ(status.text, c.text);
    EXPECT_EQ(status.exitStatus, c.exitStatus) << c.text;
  }
  RunOutcome violated{true, false, true, false, false};
  violated.newViolations = true;
  EXPECT_EQ(EndedStatus(violated, 0).text,
            "finished without errors, with new rule violations (exit status 3)");
  EXPECT_EQ(NotRunStatus("x").text, "not run: x (exit status 2)");
  EXPECT_EQ(ExitStatusOf({true, true, false, false, false}), kExitUsage);
}

TEST(RecentConfigurations, MostRecentFirstOnceEachWithinTheLimit) {
  RecentConfigurations recent({"b", "", "a", "b"});
  EXPECT_EQ(recent.paths(), (std::vector<std::string>{"b", "a"}));
  recent.Add("a");
  EXPECT_EQ(recent.paths(), (std::vector<std::string>{"a", "b"}));
  for (int i = 0; i < 20; ++i) recent.Add(std::to_string(i));
  EXPECT_EQ(recent.paths().size(), kMaxRecentConfigurations);
  EXPECT_EQ(recent.paths().front(), "19");
}

class DialogRunTest : public ::testing::Test {
 protected:
  // Many sources, so that a run lasts long enough to be stopped in the middle.
  std::string WriteProject(int files) {
    std::string cfg = "[files]\ndot=out.dot\ncsv=out.csv\n";
    for (int i = 0; i < files; ++i) {
      // Appended, not concatenated: GCC 12 warns falsely on 'literal + std::string'.
      const std::string number = std::to_string(i);
      std::string name = "f";
      name.append(number).append(".c");
      std::string source = "void f";
      source.append(number).append("(void)\n{\n  g").append(number);
      source.append("();\n  helper();\n}\n");
      dir.Write(name, source);
      cfg.append("file").append(number).append("=").append(name).append("\n");
    }
    cfg += "[calls]\n0=f\n1=g\n2=helper\n";
    return dir.Write("scan.cfg", cfg);
  }
  void RunToTheEnd(const std::string& cfg, bool stop = false) {
    window.SetItemText(kPathEdit, cfg);
    ASSERT_TRUE(dialog.StartScan());
    if (stop) dialog.RequestStop();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (dialog.PollRun()) {
      ASSERT_LT(std::chrono::steady_clock::now(), end);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  TempDir dir;
  MemoryWindow window;
  ScanDialog dialog{window};
};

TEST_F(DialogRunTest, ErrorEntriesAreListedOnceWithTheirLogLines) {
  dir.Write("a.c", "void foo(void)\n{\n}\n");
  const std::string cfg = dir.Write(
      "a.cfg", "[files]\ndot=no/such/dir/a.dot\nfile0=a.c\nfile1=gone.c\n[calls]\n0=foo\n");
  RunToTheEnd(cfg);
  const std::string log = window.GetItemText(kLogEdit);
  const std::vector<ErrorEntry>& errors = dialog.errorEntries();
  ASSERT_EQ(errors.size(), 2u) << log;
  EXPECT_EQ(errors[0].text, "error opening: " + dir / "gone.c");
  EXPECT_EQ(errors[1].text, "error writing: " + dir / "no/such/dir/a.dot");
  // Each line number points at its entry in the log as the window shows it.
  std::vector<std::string> lines;
  for (size_t at = 0; at <= log.size();) {
    const size_t end = std::min(log.find('\n', at), log.size());
    std::string line = log.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  for (const ErrorEntry& error : errors) {
    ASSERT_LT(error.line, lines.size());
    EXPECT_EQ(lines[error.line], error.text);
  }
  EXPECT_EQ(dialog.status().text, "finished with 2 errors (exit status 1)");
  EXPECT_EQ(window.statuses.front().state, RunStatus::State::kRunning);
}

TEST_F(DialogRunTest, AStoppedRunKeepsThePreviousOutputsAndSaysSo) {
  const std::string cfg = WriteProject(3000);
  RunToTheEnd(cfg);
  ASSERT_EQ(dialog.status().text, "finished without errors (exit status 0)");
  const std::string dotBefore = ReadFile(dir / "out.dot");
  const std::string csvBefore = ReadFile(dir / "out.csv");
  EXPECT_EQ(dialog.recent().paths(), std::vector<std::string>{cfg});
  EXPECT_EQ(dialog.OutputFiles(), (std::vector<std::string>{dir / "out.dot", dir / "out.csv"}));

  dir.Write("f0.c", "void other(void)\n{\n}\n");  // the next run would differ
  RunToTheEnd(cfg, true);
  EXPECT_TRUE(dialog.lastRun().stopped);
  EXPECT_EQ(dialog.status().state, RunStatus::State::kStopped);
  EXPECT_EQ(ReadFile(dir / "out.dot"), dotBefore);
  EXPECT_EQ(ReadFile(dir / "out.csv"), csvBefore);
  EXPECT_EQ(
      window.statuses[window.statuses.size() - 2].text.find("(stopping)") != std::string::npos,
      true);
}

TEST_F(DialogRunTest, TheGraphViewFocusesSearchesAndGoesBack) {
  dir.Write("a.c",
            "void top(void)\n{\n  mid();\n}\nvoid mid(void)\n{\n  low();\n}\n"
            "void low(void)\n{\n  leaf();\n}\n");
  const std::string cfg =
      dir.Write("a.cfg", "[files]\nfile0=a.c\n[calls]\n0=top\n1=mid\n2=low\n3=leaf\n");
  GraphView& view = dialog.graphView();
  std::string error;
  EXPECT_EQ(view.DotText(error), "");
  EXPECT_EQ(error, kNoGraphYet);

  RunToTheEnd(cfg);
  EXPECT_NE(view.DotText(error).find("mid -> low"), std::string::npos) << error;
  EXPECT_EQ(view.Search("L"), (std::vector<std::string>{"leaf", "low"}));
  EXPECT_FALSE(view.Focus("nothing"));
  ASSERT_TRUE(view.Focus("top"));
  view.SetFocusShape(QueryDirection::kCallees, 1);
  const std::string focused = view.DotText(error);
  EXPECT_NE(focused.find("top -> mid"), std::string::npos) << focused;
  EXPECT_EQ(focused.find("low"), std::string::npos) << focused;

  const GraphDrawing& drawing = view.Redraw();
  ASSERT_EQ(drawing.error, "");
  ASSERT_EQ(drawing.nodes.size(), 2u);
  for (const DrawnNode& node : drawing.nodes) {
    EXPECT_EQ(view.NodeAt(node.left + node.width / 2, node.top + node.height / 2), node.name);
  }
  EXPECT_EQ(view.NodeAt(-5, -5), "");

  EXPECT_TRUE(view.Back());
  EXPECT_EQ(view.focus(), GraphFocus{});
  EXPECT_FALSE(view.Back());
  view.SetKind(GraphKind::kModuleGraph);
  view.DotText(error);
  EXPECT_EQ(error, kNoModuleGraph);
}

}  // namespace
}  // namespace quillmap
