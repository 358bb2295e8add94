// End-to-end tests of the C-aware mode ([scan] syntax=c): the real program on a small fixture in
// the styles the line mode cannot read, with exact bytes of standard output and every output file.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::ReadFile;
using testing::RunQuillmap;
using testing::TempDir;

const std::string kConfig =
    "[scan]\nsyntax=c\n"
    "[files]\ndot=out.dot\ncsv=out.csv\nfile0=app.c\nfile1=lib.c\n"
    "[calls]\n0=lib_,lib,lib\n1=*\n[reject]\n0=DEBUG\n[dot]\ncall_cfglib=[label=$1]\n"
    "[modules]\nlog=mod.log\ndot=mod.dot\nmod_0=app\nmod_0_file_0=app.c\nmod_1=lib\n"
    "mod_1_file_0=lib.c\n";
// A K&R header with its return type on a line of its own, a wrapped header ending in "){", names
// in a comment, a string and an #if 0 block, nested calls and a rejected line.
const std::string kApp =
    "/* init() in a comment */\nstatic int\nhelper(x)\nint x;\n{\n"
    "  return reinit(x) + lib_open(x, \"init()\");\n}\n\n"
    "int main(int argc,\n         char **argv){\n#if 0\n  init(0);\n#endif\n"
    "  helper(argc); lib_open(argc, lib_open(1, 2));  // init(3)\n  DEBUG(init());\n}\n";
const std::string kLib =
    "void init(void) {}\nint reinit(int a)\n{\n  init();\n  return a;\n}\n"
    "int lib_open(int a, int b) { return a + b; }\n";

std::string StableHeader(const std::string& contents) {
  std::string rest;
  const bool headed = testing::SplitDotHeader(contents, rest);
  EXPECT_TRUE(headed) << contents.substr(0, 80);
  return headed ? "// HEADER\r\n" + rest : contents;
}

std::string CrLf(const std::string& lines) {
  std::string out;
  for (const char c : lines) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(CSyntaxEndToEnd, WritesCallGraphModuleGraphAndLogsByteForByte) {
  TempDir dir;
  dir.Write("scan.cfg", kConfig);
  dir.Write("app.c", kApp);
  dir.Write("lib.c", kLib);
  const auto result = RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string d = dir.path();
  const std::string sep =
      "\n*********************+***********************************************\n";
  const std::string helperCalls = "  C: return reinit(x) + lib_open(x, \"init()\");\n";
  const std::string mainCalls = "  C: helper(argc); lib_open(argc, lib_open(1, 2));\n";
  EXPECT_EQ(result.out,
            "work path: " + d + "\nscanning calls from app to: lib\n" +
                "scanning calls from lib to: app\ndone...\npath: " + d + "\nOUT: " + d +
                "out.dot\nOUT: " + d + "out.csv\n" + sep + "IN[0]:  " + d +
                "app.c\n\n>> Z:4, static int helper(x) int x;\n" + helperCalls +
                "     --> reinit()\n" + helperCalls + "     --> lib_open(\"init()\")\n" +
                helperCalls + "     --> lib_open()\n<< Z:6, calls: 3\n\n" +
                ">> Z:9, int main(int argc, char **argv)\n" + mainCalls + "     --> helper()\n" +
                mainCalls + "     --> lib_open(lib_open(1, 2))\n" + mainCalls +
                "     --> lib_open()\n" + mainCalls + "     --> lib_open(2)\n<< Z:15, calls: 4\n" +
                sep + "IN[1]:  " + d +
                "lib.c\n\n>> Z:0, void init(void)\n<< Z:0\n\n>> Z:2, int reinit(int a)\n"
                "  C: init();\n     --> init()\n<< Z:5, calls: 1\n\n"
                ">> Z:6, int lib_open(int a, int b)\n<< Z:6\n\n23 lines, 356 chars, 5 fcts\n");

  EXPECT_EQ(StableHeader(ReadFile(d + "out.dot")),
            CrLf("// HEADER\n\ndigraph G\n{\n  helper\n  reinit\n  helper -> reinit \n"
                 "  lib_open \n  helper -> lib_open [label=\"\\\"init()\\\"\"]\n"
                 "  helper -> lib_open \n\n  main\n  main -> helper \n"
                 "  main -> lib_open [label=\"lib_open(1, 2)\"]\n  main -> lib_open \n"
                 "  main -> lib_open [label=2]\n\n  init\n\n  reinit -> init \n\n\n}\n"));
  const std::string s31(31, ';');
  const auto row = [&](const std::string& text, int fields) {
    return text + std::string(static_cast<size_t>(32 - fields), ';') + "\n";
  };
  EXPECT_EQ(
      ReadFile(d + "out.csv"),
      CrLf(row("scan.cfg", 1) + row(d + "app.c", 1) + row("static int helper(x) int x;", 1) +
           row("CALLS(3):;reinit();lib_open(\"init()\");lib_open()", 4) + row("", 1) +
           row("int main(int argc, char **argv)", 1) +
           row("CALLS(4):;helper();lib_open(lib_open(1, 2));lib_open();lib_open(2)", 5) +
           row("", 1) + row(d + "lib.c", 1) + row("void init(void)", 1) + row("CALLS(0):", 1) +
           row("", 1) + row("int reinit(int a)", 1) + row("CALLS(1):;init()", 2) + row("", 1) +
           row("int lib_open(int a, int b)", 1) + row("CALLS(0):", 1) + row("", 1)));

  // The module graph: reinit is not init, the comment, the string and the #if 0 block call
  // nothing, and every call of a line counts.
  const std::string stars(59, '*');
  EXPECT_EQ(ReadFile(d + "mod.log"),
            CrLf("reading CFG from: scan.cfg\n" + stars + "\nout file: " + d + "mod.dot\n" + stars +
                 "\nscanning API for\napp\n" + d + "app.c\n static int helper(x) int x;\n" +
                 " int main(int argc, char **argv)\nlib\n" + d + "lib.c\n void init(void)\n" +
                 " int reinit(int a)\n int lib_open(int a, int b)\n" + stars +
                 "\nscanning calls from app\n to:lib\n in:" + d + "app.c\n -> app:helper\n" +
                 "  - lib:reinit\n  - lib:lib_open\n <-\n -> app:main\n  - lib:lib_open\n" +
                 "  - lib:lib_open\n  - lib:init\n <-\n" + stars +
                 "\nscanning calls from lib\n to:app\n in:" + d + "lib.c\n -> lib:init\n <-\n" +
                 " -> lib:reinit\n <-\n -> lib:lib_open\n <-\n"));
  const std::string mod = ReadFile(d + "mod.dot");
  EXPECT_EQ(
      mod.substr(mod.find('\n') + 1),
      CrLf("digraph callgraph {\n  subgraph cluster_app {\n    label=\"app\";\n"
           "    // ***** public + internal fcts (enable manually)\n"
           "    //node [label=\"helper\"] app_helper;\n    //node [label=\"main\"] app_main;\n"
           "    // ***** called from/to fcts\n    node [label=\"helper\"] app_helper;\n"
           "    node [label=\"main\"] app_main;\n  }\n  subgraph cluster_lib {\n"
           "    label=\"lib\";\n    // ***** public + internal fcts (enable manually)\n"
           "    //node [label=\"init\"] lib_init;\n    //node [label=\"reinit\"] lib_reinit;\n"
           "    //node [label=\"lib_open\"] lib_lib_open;\n    // ***** called from/to fcts\n"
           "    node [label=\"reinit\"] lib_reinit;\n"
           "    node [label=\"lib_open\"] lib_lib_open;\n    node [label=\"init\"] lib_init;\n"
           "  }\n  app_helper -> lib_reinit;\n  app_helper -> lib_lib_open;\n"
           "  app_main -> lib_lib_open;\n  app_main -> lib_init;\n}\n"));
  testing::ExpectGraphvizAccepts(d + "out.dot");
  testing::ExpectGraphvizAccepts(d + "mod.dot");
}

TEST(CSyntaxEndToEnd, SyntaxLinesIsTheLineModeAndAnUnknownSyntaxIsAnError) {
  // "lines" writes what a configuration without the key writes.
  const std::string lineConfig =
      "[files]\ncsv=out.csv\nfile0=app.c\n[calls]\n0=helper\n1=lib_\n[modules]\nlog=mod.log\n"
      "dot=mod.dot\nmod_0=app\nmod_0_file_0=app.c\nmod_1=lib\nmod_1_file_0=lib.c\n";
  std::string outputs[2];
  TempDir dir;
  dir.Write("app.c", kApp);
  dir.Write("lib.c", kLib);
  for (int i = 0; i < 2; ++i) {
    dir.Write("scan.cfg", (i == 0 ? "" : "[scan]\nsyntax=lines\n") + lineConfig);
    const auto result = RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    outputs[i] = result.out + ReadFile(dir / "out.csv") + ReadFile(dir / "mod.log");
  }
  EXPECT_EQ(outputs[0], outputs[1]);

  std::remove((dir / "out.csv").c_str());
  std::remove((dir / "mod.log").c_str());
  dir.Write("scan.cfg", "[scan]\nsyntax=cobol\n" + lineConfig);
  const auto result = RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "work path: " + dir.path() + "\nerror in [scan] syntax (lines or c): cobol\n");
  EXPECT_FALSE(testing::FileExists(dir / "out.csv"));
  EXPECT_FALSE(testing::FileExists(dir / "mod.log"));
}

}  // namespace
}  // namespace quillmap
