// The fast engine of the call graph scan against the line-by-line engine: the same log entries,
// counts, result, message and output bytes on sources made of the cases that the two engines
// handle in different code (pieces of long lines, line ends, NUL bytes, comments, the previous
// line across files, overlapping filter patterns, reject texts, argument edge styles, sources
// that cannot be opened or read).
#include "callgraph/fast_call_graph_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string_view>

#include "support/scan_fixture.h"
#include "writers/csv_report.h"

namespace quillmap {
namespace {

using Entries = std::vector<std::string>;
using namespace std::string_view_literals;

// Everything a scan run reports and writes.
struct ScanResult {
  int result = -1;
  Entries entries;
  int32_t chars = 0, lines = 0, functions = 0;
  std::string message;
  StringList fileList;
  std::map<std::string, std::string> outputs;

  bool operator==(const ScanResult&) const = default;
};

void PrintTo(const ScanResult& r, std::ostream* os) {
  *os << "result " << r.result << ", " << r.lines << " lines, " << r.chars << " chars, "
      << r.functions << " fcts, message [" << r.message << "]\n";
  for (const std::string& entry : r.entries) *os << "  log: " << entry << "\n";
  for (const auto& [name, bytes] : r.outputs) *os << "  " << name << ":\n" << bytes << "\n";
}

// Writes the sources and the configuration into one folder and scans it with an engine.
class EngineRun {
 public:
  void Source(const std::string& name, const std::string& contents) { dir_.Write(name, contents); }
  void Config(const std::string& ini) { dir_.Write("scan.cfg", ini); }
  const testing::TempDir& dir() const { return dir_; }

  ScanResult Scan(CallGraphEngine engine) {
    RereadingProfileReader profile;
    PerLineWriter writer;
    testing::RecordingLog log;
    const std::string cfg = dir_ / "scan.cfg";
    const ScanSettings settings = ReadScanSettings(profile, cfg);
    ScanContext context(settings, writer, log);
    StringList callsList = settings.filters.calls, rejectList = settings.filters.reject;
    ScanResult r;
    ScanCounts counts;
    CallGraphModel model;
    r.result = ScanCallGraph(context, cfg, {callsList, rejectList, r.fileList}, model, &counts,
                             &r.message, engine);
    WriteCallGraphOutputs(settings, writer, callsList, model);
    writer.EndRun();
    r.entries = log.entries;
    r.chars = counts.chars;
    r.lines = counts.lines;
    r.functions = counts.functions;
    for (const char* name : {"out.dot", "out.csv"}) {
      r.outputs[name] = testing::ReadFile(dir_ / name);
      // The header's timestamp is the only text that two runs may not share.
      const size_t with = r.outputs[name].find(" with ");
      if (r.outputs[name].starts_with("// crated on: ") && with != std::string::npos) {
        r.outputs[name].erase(0, with);
      }
    }
    return r;
  }

  // Both engines, compared; returns the fast engine's result.
  ScanResult ScanWithBoth() {
    const ScanResult reference = Scan(CallGraphEngine::kReference);
    const ScanResult fast = Scan(CallGraphEngine::kFast);
    EXPECT_EQ(fast, reference);
    return fast;
  }

 private:
  testing::TempDir dir_;
};

const char* const kDotSection =
    "[dot]\ngraph_cfg0=rankdir=LR\nnode_cfgfn=[shape=box]\nnode_cfgmsg=[shape=ellipse]\n"
    "call_cfgmsg=[label=$0]\ncall_cfgarg1=[label=\"$1\"]\ncall_cfg=[style=dashed]\n";

TEST(FastCallGraphScan, ReportsTheDocumentedCallLikeTheLineByLineEngine) {
  EngineRun run;
  run.Source("a.c", "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n}\n");
  run.Config(std::string("[files]\ndot=out.dot\ncsv=out.csv\nfile0=a.c\n[calls]\n0=foo,fn\n"
                         "1=Send,msg,msg\n") +
             kDotSection);
  const ScanResult r = run.ScanWithBoth();
  EXPECT_EQ(testing::CrLfLines(r.outputs.at("out.dot")),
            (Entries{" with quillmap V1.0.0.2 BETA!!!", "", "digraph G", "{", "  rankdir=LR",
                     "  foo [shape=box]", "  SendMsg [shape=ellipse]",
                     "  foo -> SendMsg [label=MSG_START]", "", "}"}));
  EXPECT_EQ(r.lines, 4);
  EXPECT_EQ(r.chars, 44);
  EXPECT_EQ(r.functions, 1);
}

TEST(FastCallGraphScan, OverlappingPatternsRejectsAndArgumentStyles) {
  EngineRun run;
  run.Source("a.c",
             "static int reinit_all(void)\n{\n  init(1); reinit(2, x);\n  log(a, b); init(9);\n"
             "  printf(\"%d\", init(3));\n  x = Send + foo(y);\n  if (x) SendMsg(A, B(c, d));\n"
             "  SendMsg(A);\n  SendMsg(B);\n  bar(1); bar(2);\n}\n"
             "void init_done(int x)\n{\n  reinit(4); foo.get(5);\n}\n");
  run.Config(std::string("[files]\ndot=out.dot\ncsv=out.csv\nfile0=a.c\n[calls]\n"
                         "0=init,fn\n1=reinit,fn,arg1\n2=Send,msg,msg\n3=bar\n4=if\n5=init\n"
                         "6=.get\n[reject]\n0=log(a, b)\n1=printf\n") +
             kDotSection);
  const ScanResult r = run.ScanWithBoth();
  EXPECT_EQ(r.functions, 2);
  EXPECT_NE(std::find(r.entries.begin(), r.entries.end(), "     --> reinit(x)"), r.entries.end());
}

TEST(FastCallGraphScan, PiecesOfLongLinesLineEndsAndNulBytes) {
  EngineRun run;
  // A "{" and a "}" that begin pieces in the middle of long lines, CR LF and lone CR, NUL bytes
  // at the start of a line and inside one, a line comment at the start and after code.
  const std::string longHeader = "int " + std::string(2100, 'f') + "oo(void)";
  std::string source =
      "int foo(void)\r\n{\r\n  bar(1);\r\n" + std::string(2047, ' ') + "}\n" + "int foo2(void)\n" +
      std::string(2047, 'x') + "{\n  bar(2);\n}\n" + longHeader +
      "\n{\n  bar(3); // bar(4)\n// bar(5)\n}\r" +
      std::string("int foo3(int\0 x)\n{\n\0bar(6);\n  bar\0(7);\n  x\0 bar(8);\n}\n"sv) +
      "int foo4(void)\n{\n" + std::string(2046, 'y') + "bar(9)\n\r}\r\n}\n" +
      "// int foo5(void) as a header\n{\n  bar(10);\n}\n";
  run.Source("a.c", source);
  run.Config(
      std::string("[files]\ndot=out.dot\ncsv=out.csv\nfile0=a.c\n[calls]\n0=foo,fn\n1=bar\n") +
      kDotSection);
  const ScanResult r = run.ScanWithBoth();
  EXPECT_GE(r.functions, 3);
}

TEST(FastCallGraphScan, ThePreviousLineCarriesOverFilesAndFailedSources) {
  EngineRun run;
  run.Source("a.c", "int foo(void)");
  run.Source("b.c", "{\n  bar();\n}\nint foo2(void)");
  run.Source("empty.c", "");
  run.Source("c.c", "{\n  bar(2);\n");  // ends inside a body: no function end
  run.Source("d.c", "  bar(3);\n}\n");
  mkdir((run.dir() / "folder.c").c_str(), 0700);
  symlink("/proc/self/mem", (run.dir() / "eio.c").c_str());
  run.Config(std::string("[files]\ndot=out.dot\ncsv=out.csv\nfile0=a.c\nfile1=b.c\n"
                         "file2=empty.c\nfile3=missing.c\nfile4=folder.c\nfile5=eio.c\n"
                         "file6=c.c\nfile7=d.c\n[calls]\n0=foo,fn\n1=bar\n") +
             kDotSection);
  const ScanResult r = run.ScanWithBoth();
  EXPECT_EQ(r.message, "error reading: " + run.dir() / "eio.c");  // the last error stays
  EXPECT_EQ(r.functions, 2);
  EXPECT_EQ(r.result, 2);  // counting starts again after the source that failed
}

TEST(FastCallGraphScan, WithoutOutputsAndWithAnEmptyFileList) {
  EngineRun run;
  run.Source("a.c", "int foo(void)\n{\n  foo();\n}\n");
  run.Config("[files]\nfile0=a.c\n[calls]\n0=foo\n");
  run.ScanWithBoth();
  run.Config("[files]\ndot=out.dot\n[calls]\n0=foo\n");
  EXPECT_EQ(run.ScanWithBoth().message, "file list is empty");
}

}  // namespace
}  // namespace quillmap
