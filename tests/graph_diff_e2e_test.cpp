// The difference mode through the real program: two scans export their graph model as JSON, a
// change between them (a function renamed, a static helper gone from one of two files, a call
// with another argument) comes out green and red in a DOT file that Graphviz reads, and every
// export that cannot be used ends with exit status 2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "support/test_support.h"

namespace quillmap::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kConfig =
    "[scan]\nsyntax=c\n[files]\njson=graph.json\ndot=calls.dot\nfile0=a.c\nfile1=b.c\n[calls]\n0=*"
    "\n"
    "[dot]\ncall_cfg=[label=$0]\n";

const std::string kBeforeA =
    "static int helper(void)\n{\n  return 1;\n}\n"
    "void stop(void)\n{\n}\n"
    "int main(void)\n{\n  helper();\n  log_it(1);\n  stop();\n  return 0;\n}\n";
const std::string kAfterA =
    "static int helper(void)\n{\n  return 1;\n}\n"
    "void halt(void)\n{\n}\n"
    "int main(void)\n{\n  helper();\n  log_it(2);\n  halt();\n  return 0;\n}\n";
const std::string kBeforeB = "static int helper(void)\n{\n  return 2;\n}\n";
const std::string kAfterB = "int other(void)\n{\n  return 2;\n}\n";

class GraphDiffEndToEnd : public ::testing::Test {
 protected:
  // Scans a.c and b.c and keeps the export as `name`.
  void Export(const std::string& a, const std::string& b, const std::string& name) {
    dir.Write("a.c", a);
    dir.Write("b.c", b);
    dir.Write("scan.cfg", kConfig);
    const ProgramResult scan = RunQuillmap({"-cfg", dir / "scan.cfg"}, dir.path());
    ASSERT_EQ(scan.status, 0) << scan.out << scan.err;
    ASSERT_EQ(std::rename((dir / "graph.json").c_str(), (dir / name).c_str()), 0);
  }
  TempDir dir;
};

// Graphviz reads the file without a word on stderr (its parser alone exits 0 on a syntax error).
void ExpectGraphvizReads(const std::string& path) {
  if (std::system("command -v neato > /dev/null 2>&1") != 0) return;
  const std::string errors = path + ".errors";
  const std::string command =
      "neato -Gmaxiter=1 -Goverlap=true -Gsplines=false -Tsvg -o /dev/null '" + path + "' 2> '" +
      errors + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadFile(errors), "") << ReadFile(path);
}

TEST_F(GraphDiffEndToEnd, DrawsWhatAppearedGreenAndWhatDisappearedRed) {
  Export(kBeforeA, kBeforeB, "old.json");
  Export(kAfterA, kAfterB, "new.json");
  const ProgramResult r =
      RunQuillmap({"-diff", "old.json", "new.json", "-o", "diff.dot"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "functions: 2 appeared, 2 disappeared, 2 unchanged; "
            "calls: 2 appeared, 2 disappeared, 1 unchanged\n");
  const std::vector<std::string> lines = CrLfLines(ReadFile(dir / "diff.dot"));
  ASSERT_GT(lines.size(), 1u);
  const std::vector<std::string> body(lines.begin() + 1, lines.end());  // after the dated header
  const std::string added = "color=green3, fontcolor=green4, penwidth=2]";
  const std::string removed = "color=red, fontcolor=red3, penwidth=2]";
  EXPECT_EQ(body, (std::vector<std::string>{
                      "// difference of old.json and new.json",
                      "// " + r.out.substr(0, r.out.size() - 1),
                      "digraph diff",
                      "{",
                      "  node [color=grey, fontcolor=grey40]",
                      "  edge [color=grey, fontcolor=grey40]",
                      "  \"helper@a.c\" [label=\"helper\\na.c\"]",
                      "  halt [" + added,
                      "  main",
                      "  other [" + added,
                      "  stop [" + removed,
                      "  \"helper@b.c\" [label=\"helper\\nb.c\", " + removed,
                      "  log_it [style=dashed]",
                      "  main -> \"helper@a.c\" [label=\"helper(#?#)\"]",
                      "  main -> log_it [label=\"log_it(2)\", " + added,
                      "  main -> halt [label=\"halt(#?#)\", " + added,
                      "  main -> log_it [label=\"log_it(1)\", " + removed,
                      "  main -> stop [label=\"stop(#?#)\", " + removed,
                      "}",
                  }));
  ExpectGraphvizReads(dir / "diff.dot");
}

TEST_F(GraphDiffEndToEnd, AnExportThatCannotBeUsedIsAUsageError) {
  Export(kBeforeA, kBeforeB, "old.json");
  dir.Write("v2.json", R"({"version":2,"functions":[],"calls":[]})");
  dir.Write("broken.json", R"({"version":1,"functions":[)");
  // Inputs that are not regular files are read as sources are: no wait beyond 3 s.
  ASSERT_EQ(mkdir((dir / "folder.json").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo((dir / "fifo.json").c_str(), 0600), 0);
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"-diff", "old.json", "gone.json", "-o", "d.dot"}, "gone.json was not found.\n"},
      {{"-diff", "v2.json", "old.json", "-o", "d.dot"},
       "v2.json: export version 2, this program reads version 1\n"},
      {{"-diff", "old.json", "broken.json", "-o", "d.dot"}, "broken.json: not valid JSON: "},
      {{"-diff", "old.json", "old.json"}, "bad command line: no DOT file given (-o DIFF.dot)\n"},
      {{"-diff", "folder.json", "old.json", "-o", "d.dot"},
       "folder.json: cannot be read (a folder)\n"},
      {{"-diff", "old.json", "fifo.json", "-o", "d.dot"},
       "fifo.json: cannot be read (nothing to read for 3 s)\n"},
      {{"-diff", "/proc/self/mem", "old.json", "-o", "d.dot"},
       "/proc/self/mem: cannot be read (Input/output error)\n"},
  };
  for (const auto& c : cases) {
    const ProgramResult r = RunQuillmap(c.args, dir.path());
    EXPECT_EQ(r.status, 2) << c.error;
    EXPECT_THAT(r.err, HasSubstr(c.error));
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(FileExists(dir / "d.dot"));
  // The DOT file cannot take the place of an export it reads.
  const ProgramResult r =
      RunQuillmap({"-diff", "old.json", "old.json", "-o", "old.json"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error writing: old.json\n");
  EXPECT_THAT(ReadFile(dir / "old.json"), Not(HasSubstr("digraph")));
}

}  // namespace
}  // namespace quillmap::testing
