// End-to-end tests of the batch mode: the real program on fixture folders, with exact bytes of
// standard output and of every output file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::CrLfLines;
using testing::ReadFile;
using testing::RunQuillmap;
using testing::TempDir;
using Lines = std::vector<std::string>;

const std::string kSeparator =
    "\n*********************+***********************************************\n";
const std::string kSemis(31, ';');

const std::string kExampleConfig =
    "[files]\ndot=out.dot\ncsv=out.csv\nfile0=a.c\n"
    "[calls]\n0=foo,fn\n1=Send,msg,msg\n"
    "[dot]\ngraph_cfg0=rankdir=LR\nnode_cfgfn=[shape=box]\nnode_cfgmsg=[shape=ellipse]\n"
    "call_cfgmsg=[label=$0]\n";
const std::string kExampleSource = "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n}\n";

// The DOT file with its timestamp replaced by a fixed one, after checking its form.
std::string StableDot(const std::string& contents) {
  std::string rest;
  const bool headed = testing::SplitDotHeader(contents, rest);
  EXPECT_TRUE(headed) << contents.substr(0, 80);
  return headed ? "// HEADER\r\n" + rest : contents;
}

class BatchTest : public ::testing::Test {
 protected:
  testing::ProgramResult Run(const std::vector<std::string>& args) {
    return RunQuillmap(args, dir.path());
  }
  std::string WorkPathLine() const { return "work path: " + dir.path() + "\n"; }

  TempDir dir;
};

TEST_F(BatchTest, WritesTheExampleCallGraphAndCsvByteForByte) {
  dir.Write("scan.cfg", kExampleConfig);
  dir.Write("a.c", kExampleSource);
  const auto result = Run({"-cfg", "scan.cfg"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string d = dir.path();
  EXPECT_EQ(result.out, WorkPathLine() + "path: " + d + "\nOUT: " + d + "out.dot\nOUT: " + d +
                            "out.csv\n" + kSeparator + "IN[0]:  " + d +
                            "a.c\n\n>> Z:1, int foo(int a)\n  C: SendMsg(MSG_START, a);\n"
                            "     --> SendMsg(MSG_START)\n<< Z:3, calls: 1\n\n"
                            "4 lines, 44 chars, 1 fcts\n");
  EXPECT_EQ(StableDot(ReadFile(d + "out.dot")),
            "// HEADER\r\n\r\ndigraph G\r\n{\r\n  rankdir=LR\r\n  foo [shape=box]\r\n"
            "  SendMsg [shape=ellipse]\r\n  foo -> SendMsg [label=MSG_START]\r\n\r\n}\r\n");
  EXPECT_EQ(ReadFile(d + "out.csv"), "scan.cfg" + kSemis + "\r\n" + d + "a.c" + kSemis +
                                         "\r\nint foo(int a)" + kSemis +
                                         "\r\nCALLS(1):;SendMsg(MSG_START)" + std::string(30, ';') +
                                         "\r\n" + kSemis + "\r\n");
  testing::ExpectGraphvizAccepts(d + "out.dot");
}

TEST_F(BatchTest, AcceptsPathsWithBackslashesAndADotPrefix) {
  dir.Write("cfg/scan.cfg",
            "[files]\ndot=..\\out\\g.dot\nfile0=..\\src\\a.c\n[calls]\n0=foo\n1=bar\n");
  dir.Write("src/a.c", "int foo(void)\n{\n  bar();\n}\n");
  mkdir((dir / "out").c_str(), 0700);
  const auto result = Run({"-cfg", "./cfg/scan.cfg"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("path: " + dir.path() + "cfg/\n"), std::string::npos) << result.out;
  EXPECT_NE(ReadFile(dir / "out/g.dot").find("  foo -> bar \r\n"), std::string::npos);
}

TEST_F(BatchTest, InformationOptionsAndBadCommandLines) {
  auto help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("-cfg file.cfg"), std::string::npos);
  EXPECT_EQ(Run({"-h"}).status, 0);
  EXPECT_EQ(Run({"--version"}).out, "quillmap V1.0.0.2 BETA!!!\n");

  const auto malformed = Run({"-cfg", "a.cfg", "-v"});
  EXPECT_EQ(malformed.status, 2);
  EXPECT_TRUE(malformed.err.starts_with("Wrong cmdline:\nv\n")) << malformed.err;
  EXPECT_EQ(malformed.out, WorkPathLine());

  const auto noCfg = Run({"-x", "1"});
  EXPECT_EQ(noCfg.status, 2);
  EXPECT_NE(noCfg.err.find("usage:"), std::string::npos);

  const auto noArguments = Run({});
  EXPECT_EQ(noArguments.status, 2);
  EXPECT_FALSE(noArguments.err.empty());
}

TEST_F(BatchTest, AnEmptyCfgValueRunsNothingAndIsAnError) {
  const auto result = Run({"-cfg", ""});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, WorkPathLine());
  EXPECT_EQ(result.err, "no configuration file given\n");
}

TEST_F(BatchTest, AConfigurationThatCannotBeOpenedTouchesNothing) {
  const auto missing = Run({"-cfg", "missing.cfg"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, WorkPathLine());
  EXPECT_EQ(missing.err, "missing.cfg was not found.\n");

  mkdir((dir / "folder.cfg").c_str(), 0700);
  const auto folder = Run({"-cfg", "folder.cfg"});
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "Access to folder.cfg was denied.\n");
}

TEST_F(BatchTest, ReportsRunErrorsWithExitStatusOne) {
  dir.Write("nocalls.cfg", "no sections at all\n=garbage\n[[[\n");
  const auto noCalls = Run({"-cfg", "nocalls.cfg"});
  EXPECT_EQ(noCalls.status, 1);
  EXPECT_EQ(noCalls.out, WorkPathLine() + "error reading scan filters from: nocalls.cfg\n");

  dir.Write("nofiles.cfg", "[calls]\n0=foo\n");
  const auto noFiles = Run({"-cfg", "nofiles.cfg"});
  EXPECT_EQ(noFiles.status, 1);
  EXPECT_TRUE(noFiles.out.ends_with("\nfile list is empty\n")) << noFiles.out;
}

TEST_F(BatchTest, ReportsEachUnopenableSourceRightAfterItsEntry) {
  dir.Write("a.c", kExampleSource);
  mkdir((dir / "folder.c").c_str(), 0700);
  dir.Write("scan.cfg",
            "[files]\ncsv=out.csv\nfile0=gone.c\nfile1=a.c\nfile2=folder.c\n"
            "[calls]\n0=foo\n");
  const auto result = Run({"-cfg", "scan.cfg"});
  EXPECT_EQ(result.status, 1);
  const std::string d = dir.path();
  EXPECT_NE(result.out.find("IN[0]:  " + d + "gone.c\nerror opening: " + d + "gone.c\n"),
            std::string::npos);
  EXPECT_TRUE(result.out.ends_with("IN[2]:  " + d + "folder.c\nerror opening: " + d +
                                   "folder.c\nerror opening: " + d + "folder.c\n"))
      << result.out;
}

TEST_F(BatchTest, ReportsOutputsThatCannotBeWrittenAndKeepsTheOthers) {
  dir.Write("a.c", kExampleSource);
  dir.Write("scan.cfg", "[files]\ndot=missing/out.dot\ncsv=/dev/full\nfile0=a.c\n[calls]\n0=foo\n");
  const auto result = Run({"-cfg", "scan.cfg"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.out.ends_with("<< Z:3\nerror writing: " + dir.path() +
                                   "missing/out.dot\nerror writing: /dev/full\n\n"
                                   "4 lines, 44 chars, 1 fcts\n"))
      << result.out;
  EXPECT_FALSE(testing::FileExists(dir / "missing"));

  dir.Write("ok.cfg", "[files]\ndot=out.dot\ncsv=" + dir.path() + "\nfile0=a.c\n[calls]\n0=foo\n");
  const auto folder = Run({"-cfg", "ok.cfg"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.out.find("error writing: " + dir.path() + "\n"), std::string::npos);
  EXPECT_EQ(CrLfLines(ReadFile(dir / "out.dot")).back(), "}");
}

// The call graph is written whole from the graph model, the DOT file first; a CSV report on the
// same path is the second output of that file: reported, and the DOT file keeps it.
TEST_F(BatchTest, OutputsSharingAPathAreReportedAndTheFirstKeepsTheFile) {
  dir.Write("a.c", "int foo(void)\n{\n  bar();\n}\n");
  dir.Write("out.txt", "old\r\n");
  dir.Write("scan.cfg", "[files]\ndot=out.txt\ncsv=out.txt\nfile0=a.c\n[calls]\n0=foo\n1=bar\n");
  const auto run = Run({"-cfg", "scan.cfg"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("\nerror writing: " + (dir / "out.txt") + "\n"), std::string::npos);
  const std::string written = ReadFile(dir / "out.txt");
  EXPECT_NE(written.find("\r\ndigraph G\r\n"), std::string::npos) << written;
  EXPECT_EQ(CrLfLines(written).back(), "}");
  EXPECT_EQ(written.find("CALLS("), std::string::npos) << written;
}

TEST_F(BatchTest, SurvivesHostileSources) {
  std::string binary;
  for (int i = 0; i < 100000; ++i) binary += static_cast<char>((i * 131 + i / 7) % 256);
  dir.Write("binary.c", binary);
  dir.Write("empty.c", "");
  dir.Write("nolf.c", "int foo(void)\n{\n  bar(");
  dir.Write("nul.c", std::string("int foo(void)\n{\n  bar(\0);\n\0}\n}\n", 29));
  dir.Write("cr.c", "int foo(void)\r{\r  bar();\r}\r");
  dir.Write("long.c", "int foo(void)\n{\n  bar(" + std::string(100000, 'x') + ");\n}\n");
  dir.Write("scan.cfg",
            "[files]\ndot=out.dot\ncsv=out.csv\nfile0=binary.c\nfile1=empty.c\nfile2=nolf.c\n"
            "file3=nul.c\nfile4=cr.c\nfile5=long.c\n[calls]\n0=foo\n1=bar,,m\n2=(\n"
            "[dot]\ncall_cfgm=[label=$0]\n");
  const auto result = Run({"-cfg", "scan.cfg"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(result.out.ends_with(" fcts\n"));
  testing::ExpectGraphvizAccepts(dir / "out.dot");
}

TEST_F(BatchTest, CutsOverlongValuesAndReadsLongFileLists) {
  dir.Write("a.c", "int foo(void)\n{\n}\n");
  std::string ini = "[dot]\ngraph_cfg0=label=\"" + std::string(5000, 'v') + "\"\n[calls]\n0=foo\n";
  ini += "[files]\ndot=out.dot\ncsv=out.csv\n";
  for (int n = 0; n < 10000; ++n) ini += "file" + std::to_string(n) + "=a.c\n";
  dir.Write("scan.cfg", ini);
  const auto result = Run({"-cfg", "scan.cfg"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(result.out.ends_with("\n30000 lines, 180000 chars, 10000 fcts\n"))
      << result.out.substr(result.out.size() - 100);
  EXPECT_EQ(CrLfLines(ReadFile(dir / "out.dot"))[4], "  label=\"" + std::string(2992, 'v'));
}

}  // namespace
}  // namespace quillmap
