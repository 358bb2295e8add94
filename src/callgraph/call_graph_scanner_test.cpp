#include "callgraph/call_graph_scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "files/file_error.h"
#include "support/scan_fixture.h"

namespace quillmap {
namespace {

using Entries = std::vector<std::string>;
const char* const kSeparator =
    "\r\n*********************+***********************************************";

class ScannerTest : public ::testing::Test {
 protected:
  // Scans one source "a.c" with the given filters (and reject texts), no outputs.
  void ScanSource(const std::string& source, const std::string& calls,
                  const std::string& reject = "") {
    f.dir.Write("a.c", source);
    f.Config("[files]\nfile0=a.c\n[calls]\n" + calls + "[reject]\n" + reject);
    result = f.Scan();
  }
  // The log entries after the file's "IN[0]" entry.
  Entries BodyEntries() const { return Entries(f.log.entries.begin() + 3, f.log.entries.end()); }

  testing::ScanFixture f;
  int result = -1;
};

TEST_F(ScannerTest, RecordsADefinitionItsCallAndTheCounts) {
  ScanSource("int foo(int a)\n{\n  bar(a);\n}\n", "0=foo\n1=bar\n");
  EXPECT_EQ(f.log.entries, (Entries{"path: " + f.dir.path(), kSeparator,
                                    "IN[0]:  " + f.dir.path() + "a.c", "\r\n>> Z:1, int foo(int a)",
                                    "  C: bar(a);", "     --> bar()", "<< Z:3, calls: 1"}));
  EXPECT_EQ(f.counts.lines, 4);
  EXPECT_EQ(f.counts.chars, 29);
  EXPECT_EQ(f.counts.functions, 1);
  EXPECT_EQ(result, 0);  // no CSV report configured
  EXPECT_EQ(f.scanMessage, "");
}

TEST_F(ScannerTest, SelectsHeadersByTheBlankBeforeTheName) {
  ScanSource("int  foo(void)\n{\n}\nint\tbar(void)\n{\n}\nint print_int(void)\n{\n}\n",
             "0=foo\n1=bar\n2=int\n");
  EXPECT_EQ(BodyEntries(), (Entries{"\r\n>> Z:1, int  foo(void)", "<< Z:2"}));
  EXPECT_EQ(f.counts.functions, 1);
}

TEST_F(ScannerTest, OnlyBracesInTheFirstColumnOpenAndCloseBodies) {
  ScanSource(
      "int foo(void)\n {\n  bar();\n}\n"  // indented brace: no body
      "int baz(void)\n{\n  struct s {\n  int x;\n}\n  bar();\n}\n",
      "0=foo\n1=baz\n2=bar\n");
  EXPECT_EQ(BodyEntries(), (Entries{"\r\n>> Z:5, int baz(void)", "<< Z:8"}));
}

TEST_F(ScannerTest, SkipsPreprocessorAndCommentLinesAndCutsLineComments) {
  ScanSource(
      "int foo(void)\n{\n#define X bar()\n// bar()\n   // bar()\nx = 1; // bar()\n"
      "  /* bar(1) */\n}\n",
      "0=foo\n1=bar\n");
  EXPECT_EQ(BodyEntries(), (Entries{"\r\n>> Z:1, int foo(void)", "  C: /* bar(1) */",
                                    "     --> bar()", "<< Z:7, calls: 1"}));
}

TEST_F(ScannerTest, RecordsEachCallOncePerBodyAndOnlyTheFirstOccurrenceOnALine) {
  ScanSource(
      "int foo(void)\n{\n  bar(1); bar(2);\n  bar(3);\n}\nint foo2(void)\n{\n  x = zbar(4);\n}\n",
      "0=foo\n1=bar\n");
  EXPECT_EQ(BodyEntries(),
            (Entries{"\r\n>> Z:1, int foo(void)", "  C: bar(1); bar(2);", "     --> bar()",
                     "<< Z:4, calls: 1", "\r\n>> Z:6, int foo2(void)", "  C: x = zbar(4);",
                     "     --> zbar()", "<< Z:8, calls: 1"}));
}

TEST_F(ScannerTest, TakesEverythingBetweenTheIdentifierAndTheParenthesisIntoTheName) {
  ScanSource("int foo(void)\n{\n  x = Send + foo(y);\n  if (x) go();\n}\n",
             "0=foo\n1=Send\n2=if\n");
  EXPECT_EQ(BodyEntries(),
            (Entries{"\r\n>> Z:1, int foo(void)", "  C: x = Send + foo(y);", "     --> foo()",
                     "  C: x = Send + foo(y);", "     --> Send + foo()", "  C: if (x) go();",
                     "     --> if()", "<< Z:4, calls: 3"}));
}

TEST_F(ScannerTest, RejectTextsMatchAsConfiguredCommasIncluded) {
  ScanSource("int foo(void)\n{\n  log(a, b);\n  printf(\"%d\", bar(1));\n  bar(2);\n}\n",
             "0=foo\n1=bar\n2=log\n", "0=printf\n1=a, b\n");
  EXPECT_EQ(BodyEntries(), (Entries{"\r\n>> Z:1, int foo(void)", "  C: bar(2);", "     --> bar()",
                                    "<< Z:5, calls: 1"}));
}

TEST_F(ScannerTest, AnUnselectedDefinitionEndsTheBodyWithoutAnEnd) {
  ScanSource("int foo(void)\n{\n  bar();\nint other(void)\n{\n  bar();\n}\n", "0=foo\n1=bar\n");
  EXPECT_EQ(BodyEntries(), (Entries{"\r\n>> Z:1, int foo(void)", "  C: bar();", "     --> bar()"}));
}

TEST_F(ScannerTest, CarriesThePreviousLineIntoTheNextFile) {
  f.dir.Write("a.c", "void unused(void);\nint foo(int a)\n");
  f.dir.Write("b.c", "{\n  bar();\n}\n");
  f.Config("[files]\nfile0=a.c\nfile1=b.c\n[calls]\n0=foo\n1=bar\n");
  f.Scan();
  EXPECT_EQ(
      Entries(f.log.entries.end() - 4, f.log.entries.end()),
      (Entries{"\r\n>> Z:0, int foo(int a)", "  C: bar();", "     --> bar()", "<< Z:2, calls: 1"}));
}

TEST_F(ScannerTest, CountsLongLinesAsSeveralLines) {
  std::string longLine(3000, 'x');
  longLine += '\n';  // appended, not concatenated: GCC 12 warns falsely on the latter
  ScanSource(longLine, "0=foo\n");
  EXPECT_EQ(f.counts.lines, 2);
  EXPECT_EQ(f.counts.chars, 3001);
}

TEST_F(ScannerTest, SurvivesBinaryAndOddLineEnds) {
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 7919) % 256);
  ScanSource(binary + "\rint foo(x)\r{\r}\r" + std::string("\0{\0", 3), "0=foo\n1=(\n");
  EXPECT_EQ(f.counts.functions, 0);  // CR-only line ends make one long line
  EXPECT_GT(f.counts.lines, 0);
}

TEST_F(ScannerTest, ReportsUnopenableSourcesAndGoesOn) {
  f.dir.Write("b.c", "int foo(void)\n{\n}\n");
  f.Config("[files]\ncsv=out.csv\nfile0=missing.c\nfile1=b.c\nfile2=sub\n[calls]\n0=foo\n");
  f.dir.Write("sub/x", "");
  const int opened = f.Scan();
  const std::string missing = f.dir / "missing.c";
  const std::string folder = f.dir / "sub";
  EXPECT_EQ(f.log.entries[3], "IN[0]:  " + missing);
  EXPECT_EQ(f.log.entries[4], "error opening: " + missing);
  EXPECT_EQ(f.log.entries.back(), "error opening: " + folder);
  EXPECT_EQ(f.scanMessage, "error opening: " + folder);
  EXPECT_EQ(opened, 0);
  EXPECT_TRUE(f.context.errorReported());
}

// A source whose reading fails after it opened (an I/O error) was taken for a short file, and
// the run reported success over the lines it never saw.
TEST_F(ScannerTest, ReportsASourceWhoseReadingFailsAndGoesOn) {
  f.dir.Write("b.c", "int foo(void)\n{\n}\n");
  ASSERT_EQ(symlink("/proc/self/mem", (f.dir / "eio.c").c_str()), 0);
  f.Config("[files]\ndot=out.dot\ncsv=out.csv\nfile0=eio.c\nfile1=b.c\n[calls]\n0=foo\n");
  const std::string eio = f.dir / "eio.c";
  EXPECT_EQ(f.Scan(), 1);
  EXPECT_EQ(f.log.entries[4], "IN[0]:  " + eio);
  EXPECT_EQ(f.log.entries[5], "error reading: " + eio);
  EXPECT_EQ(f.scanMessage, "error reading: " + eio);
  EXPECT_TRUE(f.context.errorReported());
  EXPECT_EQ(f.counts.functions, 1);
  const auto dot = f.Lines("out.dot");
  EXPECT_NE(std::find(dot.begin(), dot.end(), "// error reading: " + eio), dot.end());
  const auto csv = f.Lines("out.csv");
  EXPECT_NE(std::find(csv.begin(), csv.end(), "error reading: " + eio), csv.end());
}

TEST_F(ScannerTest, CountsOpenedFilesOnlyWithACsvReport) {
  f.dir.Write("a.c", "x\n");
  f.dir.Write("b.c", "y\n");
  f.Config("[files]\ncsv=out.csv\nfile0=a.c\nfile1=b.c\nfile3=c.c\n[calls]\n0=foo\n");
  EXPECT_EQ(f.Scan(), 2);
  EXPECT_EQ(f.fileList, (StringList{f.dir / "a.c", f.dir / "b.c"}));
  EXPECT_FALSE(f.context.errorReported());
}

TEST_F(ScannerTest, AnEmptyFileListIsReported) {
  f.Config("[files]\ndot=out.dot\nfile1=a.c\n[calls]\n0=foo\n");
  EXPECT_EQ(f.Scan(), 0);
  EXPECT_EQ(f.scanMessage, "file list is empty");
  EXPECT_EQ(f.Lines("out.dot").back(), "}");
}

TEST_F(ScannerTest, AMissingConfigurationRaisesTheFileError) {
  EXPECT_THROW(ScanCallGraph(f.context, f.dir / "none.cfg", {f.callsList, f.rejectList, f.fileList},
                             f.model, &f.counts, &f.scanMessage),
               FileError);
  EXPECT_EQ(ScanCallGraph(f.context, "", {f.callsList, f.rejectList, f.fileList}, f.model, nullptr,
                          nullptr),
            0);
  EXPECT_TRUE(f.log.entries.empty());
}

}  // namespace
}  // namespace quillmap
