#include <gtest/gtest.h>

#include "support/scan_fixture.h"
#include "writers/call_graph_dot.h"
#include "writers/csv_report.h"

namespace quillmap {
namespace {

using Lines = std::vector<std::string>;

const std::string kExampleDot =
    "[files]\ndot=out.dot\nfile0=a.c\n"
    "[dot]\ngraph_cfg0=rankdir=LR\nnode_cfgfn=[shape=box]\nnode_cfgmsg=[shape=ellipse]\n"
    "call_cfgmsg=[label=$0]\n"
    "[calls]\n0=foo,fn\n1=Send,msg,msg\n";

class OutputTest : public ::testing::Test {
 protected:
  void Run(const std::string& ini, const std::string& source) {
    f.dir.Write("a.c", source);
    f.Config(ini);
    f.Scan();
  }
  // The DOT lines after the header line, the blank line, "digraph G" and "{".
  Lines DotBody() const {
    const Lines all = f.Lines("out.dot");
    return all.size() < 4 ? all : Lines(all.begin() + 4, all.end());
  }

  testing::ScanFixture f;
};

TEST_F(OutputTest, WritesTheCallGraphOfTheExample) {
  Run(kExampleDot, "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n}\n");
  const Lines lines = f.Lines("out.dot");
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_TRUE(lines[0].starts_with("// crated on: ")) << lines[0];
  EXPECT_TRUE(lines[0].ends_with(" with quillmap V1.0.0.2 BETA!!!")) << lines[0];
  EXPECT_EQ(Lines(lines.begin() + 1, lines.end()),
            (Lines{"", "digraph G", "{", "  rankdir=LR", "  foo [shape=box]",
                   "  SendMsg [shape=ellipse]", "  foo -> SendMsg [label=MSG_START]", "", "}"}));
  EXPECT_EQ(f.log.entries[f.log.entries.size() - 2], "     --> SendMsg(MSG_START)");
}

TEST_F(OutputTest, WritesTheCsvReportOfTheExample) {
  Run("[files]\ndot=out.dot\ncsv=out.csv\nfile0=a.c\n" +
          kExampleDot.substr(kExampleDot.find("[dot]")),
      "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n}\n");
  const std::string semis(31, ';');
  EXPECT_EQ(f.Lines("out.csv"),
            (Lines{f.dir / "scan.cfg" + semis, f.dir / "a.c" + semis, "int foo(int a)" + semis,
                   "CALLS(1):;SendMsg(MSG_START)" + std::string(30, ';'), semis}));
}

TEST_F(OutputTest, SubstitutesTheNumberedArgumentOrMarksItMissing) {
  const std::string source = "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n}\n";
  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo\n1=Send,,msg\n[dot]\ncall_cfgmsg=[label=$3]"
      "\n",
      source);
  EXPECT_EQ(DotBody(), (Lines{"  foo", "  SendMsg", "  foo -> SendMsg [label=\"#?#\"]", "", "}"}));
  EXPECT_EQ(f.log.entries[f.log.entries.size() - 2], "     --> SendMsg(#?#)");

  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo\n1=Send,,msg\n[dot]\n"
      "call_cfgmsg=[label=$1 tooltip=\"$0\"]\n",
      source);
  EXPECT_EQ(DotBody()[2], "  foo -> SendMsg [label=a tooltip=\"$0\"]");

  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo\n1=Send,,msg\n[dot]\ncall_cfgmsg=$0\n",
      source);
  EXPECT_EQ(DotBody()[2], "  foo -> SendMsg $0");
}

TEST_F(OutputTest, UsesThePlainEdgeStyleWithoutACallSuffix) {
  const std::string source = "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n  bar();\n}\n";
  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo,fn\n1=Send,msg\n2=bar\n[dot]\nnode_cfgmsg=["
      "shape=ellipse]\n",
      source);
  EXPECT_EQ(DotBody(), (Lines{"  foo ", "  SendMsg [shape=ellipse]", "  foo -> SendMsg ", "  bar",
                              "  foo -> bar ", "", "}"}));
  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo\n1=Send,msg\n[dot]\ncall_cfg=[style=dashed]"
      "\n",
      source);
  EXPECT_EQ(DotBody()[2], "  foo -> SendMsg [style=dashed]");
}

TEST_F(OutputTest, WritesEachNodeOnceWithTheAttributesOfItsFirstAppearance) {
  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo,fn\n1=bar,call\n[dot]\n"
      "node_cfgfn=[shape=box]\nnode_cfgcall=[shape=oval]\n",
      "int foo(void)\n{\n  bar();\n}\nint bar(void)\n{\n  foo();\n}\n");
  EXPECT_EQ(DotBody(), (Lines{"  foo [shape=box]", "  bar [shape=oval]", "  foo -> bar ", "",
                              "  bar -> foo ", "", "}"}));
}

TEST_F(OutputTest, QuotesNamesThatAreNotPlainDotIds) {
  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo\n1=Send,,msg\n2=node\n[dot]\n"
      "call_cfgmsg=[label=$0]\n",
      "static int foo(void)\n{\n  SendMsg(&msg, \"a\\\"b\");\n  node(1);\n}\n");
  EXPECT_EQ(DotBody(),
            (Lines{"  \"int foo\"", "  SendMsg", "  \"int foo\" -> SendMsg [label=\"&msg\"]",
                   "  \"node\"", "  \"int foo\" -> \"node\" ", "", "}"}));
}

TEST_F(OutputTest, DistinguishesCallsByTheirArgumentText) {
  const std::string source = "int foo(void)\n{\n  Send(A);\n  Send(B);\n}\n";
  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo\n1=Send,,m\n[dot]\ncall_cfgm=[label=$0]\n",
      source);
  EXPECT_EQ(DotBody(), (Lines{"  foo", "  Send", "  foo -> Send [label=A]",
                              "  foo -> Send [label=B]", "", "}"}));
  Run("[files]\ndot=out.dot\nfile0=a.c\n[calls]\n0=foo\n1=Send,,m\n[dot]\ncall_cfgm=[color=red]\n",
      source);
  EXPECT_EQ(DotBody(), (Lines{"  foo", "  Send", "  foo -> Send [color=red]", "", "}"}));
}

TEST_F(OutputTest, PadsCsvRowsToThirtyTwoFieldsUnlessTheyAreLonger) {
  std::string body;
  for (int i = 0; i < 40; ++i) body += "  call" + std::to_string(i) + "();\n";
  Run("[files]\ncsv=out.csv\nfile0=a.c\n[calls]\n0=foo\n1=call\n",
      "int foo(void)\n{\n}\nint foo2(void)\n{\n" + body + "}\n");
  const Lines lines = f.Lines("out.csv");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[3], "CALLS(0):" + std::string(31, ';'));
  EXPECT_EQ(lines[4], std::string(31, ';'));
  EXPECT_TRUE(lines[6].starts_with("CALLS(40):;call0();call1();"));
  EXPECT_TRUE(lines[6].ends_with(";call39()"));
  EXPECT_EQ(PadCsvRow("a;b", 1), "a;b" + std::string(31, ';'));
}

TEST_F(OutputTest, ReadsNoDotKeysWithoutADotFile) {
  Run("[files]\ncsv=out.csv\nfile0=a.c\n[calls]\n0=foo\n1=Send,,m\n[dot]\ncall_cfgm=[label=$0]\n",
      "int foo(void)\n{\n  Send(A);\n}\n");
  EXPECT_EQ(f.Lines("out.csv")[3], "CALLS(1):;Send()" + std::string(30, ';'));
}

TEST(DotLineComment, NoByteOfTheTextEndsTheCommentOrTheFile) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "// plain"},
      {"a\nb\r\nc", "// a\\nb\\r\\nc"},
      {std::string("a\0b", 3), "// a\\0b"},
      {"tab\there", "// tab\there"},
  };
  for (const auto& [text, comment] : cases) EXPECT_EQ(DotLineComment(text), comment) << text;
}

TEST_F(OutputTest, RecordsUnopenableSourcesInBothOutputs) {
  f.dir.Write("b.c", "int foo(void)\n{\n}\n");
  Run("[files]\ndot=out.dot\ncsv=out.csv\nfile0=b.c\nfile1=gone.c\n[calls]\n0=foo\n", "");
  EXPECT_EQ(DotBody(), (Lines{"  foo", "", "// error opening: " + f.dir / "gone.c", "}"}));
  EXPECT_EQ(f.Lines("out.csv").back(), "error opening: " + f.dir / "gone.c");
}

}  // namespace
}  // namespace quillmap
