#include "dot_syntax.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

struct Sample {
  std::string text;
  bool valid;
};

// Cases on which Graphviz's own reader was consulted: the expectation is its exit status.
const std::vector<Sample>& GraphvizSamples() {
  static const std::vector<Sample> samples = {
      {"digraph G { a -> b }", true},
      {"digraph G { a -- b }", false},
      {"graph { a -- b -- c }", true},
      {"graph { a -> b }", false},
      {"strict digraph \"x y\" { a }", true},
      {"digraph { }", true},
      {"digraph G { a; b; }", true},
      {"digraph G { a;; b }", false},
      {"digraph G { ; a }", false},
      {"digraph G { a, b -> c }", true},
      {"digraph G { { a b } -> c }", true},
      {"digraph G { a -> subgraph s { b } }", true},
      {"digraph G { subgraph }", false},
      {"digraph G { subgraph \"cluster a\" { label=\"x\"; a } }", true},
      {"digraph G { a:\"p\":n -> b }", true},
      {"digraph G { a:b:c:d }", false},
      {"digraph G { a [b] }", false},
      {"digraph G { a [label=a=b] }", false},
      {"digraph G { a -> b [color=red,] }", true},
      {"digraph G { a -> b [color=red;;] }", false},
      {"digraph G { a -> b [color=red][style=bold] }", true},
      {"digraph G { a -> b [] }", true},
      {"digraph G { a -> b [@x] }", false},
      {"digraph G { a = b; graph [x=y]; node [shape=box] edge [color=red] }", true},
      {"digraph G { node }", false},
      {"digraph G { NODE }", false},
      {"digraph G { Node -> b }", false},
      {"digraph G { \"node\" -> \"graph\" }", true},
      {"digraph G { \"a\" + \"b\" -> c }", true},
      {"digraph G { <a> + \"b\" }", true},
      {"digraph G { \"a\" + b }", false},
      {"digraph G { a -> b [label=<<b>x</b>>] }", true},
      {"digraph G { a -> b [label=<a &amp; b &lt; &#233; &#xE9; &nbsp;>] }", true},
      {"digraph G { a -> b [label=<a & b>] }", false},
      {"digraph G { a -> b [label=<&foo;>] }", false},
      {"digraph G { a -> b [label=<&#1;>] }", false},
      {"digraph G { a -> b [label=<caf\xC3\xA9 \xEF\xBF\xBD \"q\"\tx\r\ny>] }", true},
      {"digraph G { a -> b [label=<caf\xE9>] }", false},
      {"digraph G { a -> b [label=<\xC0\xAF>] }", false},
      {"digraph G { a -> b [label=<\xED\xA0\x80>] }", false},
      {"digraph G { a -> b [label=<\xF4\x90\x80\x80>] }", false},
      {"digraph G { a -> b [label=<a \x01 b>] }", false},
      {"digraph { -1.5 -> .5 -> 7. }", true},
      {"digraph G { a - b }", false},
      {"digraph G { a -> b }  // trailing comment", true},
      {"digraph G { a -> b } x", false},
      {"// crated on: 01.01.2024, 00:00.00\r\n\r\ndigraph G\r\n{\r\n  a\r\n}\r\n", true},
      {"digraph G { a # shell comment\n -> b }", true},
      {"# 1 \"file\"\ndigraph G { a }", true},
      {"digraph G { /* c */ a /* d\n e */ -> b }", true},
      {"digraph G { \xEF\xBB\xBF a }", true},
      {"digraph G { caf\xC3\xA9 -> na\xEFve }", true},
      {"digraph G { \"x\\\"y\" -> \"back\\\\\" }", true},
      {"digraph G { \"line\\\ncontinued\" }", true},
      {"digraph G { a [label=\"x\\\"] }", false},
      {"digraph G { a [label=\"x\ry\x01\"] }", true},
      {std::string("digraph G { a [label=\"x\0y\"] }", 30), false},
      {std::string("digraph G { a\0 -> b }", 21), false},
      {"digraph G { a\v -> b }", false},
      {"digraph G { a\f -> b }", false},
      {"digraph G { a -> b", false},
      {"", false},
  };
  return samples;
}

TEST(DotSyntax, AgreesWithTheSamplesGraphvizWasAskedAbout) {
  for (const Sample& sample : GraphvizSamples()) {
    const auto error = FindDotSyntaxError(sample.text);
    EXPECT_EQ(!error.has_value(), sample.valid)
        << sample.text << "\n"
        << (error ? DescribeDotSyntaxError(*error) : std::string("no error found"));
  }
}

// The samples' expectations are Graphviz's verdicts; this keeps them honest where dot runs. The
// empty text is left out: dot reads it as no graph at all and says nothing.
TEST(DotSyntax, SampleExpectationsAreGraphvizsVerdicts) {
  if (std::system("command -v dot > /dev/null 2>&1") != 0) GTEST_SKIP() << "dot not installed";
  TempDir dir;
  for (const Sample& sample : GraphvizSamples()) {
    if (sample.text.empty()) continue;
    const std::string path = dir.Write("sample.dot", sample.text);
    const std::string command = "dot -Tsvg -o /dev/null '" + path + "' 2> /dev/null";
    EXPECT_EQ(std::system(command.c_str()) == 0, sample.valid) << sample.text;
  }
}

TEST(DotSyntax, AcceptsTheShapesOfBothOutputFiles) {
  const std::string callGraph =
      "// crated on: 24.12.2013, 09:05.07 with quillmap V1.0.0.2 BETA!!!\r\n\r\n"
      "digraph G\r\n{\r\n  rankdir=LR\r\n  foo [shape=box]\r\n  \"int foo\" \r\n"
      "  \"node\" [shape=ellipse]\r\n  foo -> \"node\" [label=\"a \\\"q\\\"\"]\r\n"
      "  foo -> SendMsg [label=MSG_START]\r\n\r\n// error opening: /x/a.c\r\n}\r\n";
  EXPECT_TRUE(IsValidDot(callGraph));
  const std::string moduleGraph =
      "// crated on: 24.12.2013, 09:05.07 with quillmap V1.0.0.2 BETA!!!\r\n"
      "digraph callgraph {\r\n  rankdir=LR;\r\n  subgraph cluster_app {\r\n    color=blue;\r\n"
      "    label=\"app\";\r\n    // ***** public + internal fcts (enable manually)\r\n"
      "    //node [label=\"main\", shape=box] app_main;\r\n    // ***** called from/to fcts\r\n"
      "    node [label=\"main\", shape=box] app_main;\r\n  }\r\n"
      "  subgraph \"cluster_l b\" {\r\n    label=\"l b\";\r\n"
      "    node [label=\"int init\"] \"l b_int init\";\r\n  }\r\n"
      "  app_main -> \"l b_int init\" [color=red];\r\n}\r\n";
  EXPECT_TRUE(IsValidDot(moduleGraph));
}

TEST(DotSyntax, LexemesLongerThanGraphvizReadsAreRejected) {
  const auto label = [](const std::string& inner) {
    return "digraph G { a [label=\"" + inner + "\"] }";
  };
  EXPECT_TRUE(IsValidDot(label(std::string(kMaxDotLexeme, 'x'))));
  EXPECT_FALSE(IsValidDot(label(std::string(kMaxDotLexeme + 1, 'x'))));
  EXPECT_TRUE(IsValidDot("digraph G { " + std::string(kMaxDotLexeme, 'x') + " }"));
  EXPECT_FALSE(IsValidDot("digraph G { " + std::string(kMaxDotLexeme + 1, 'x') + " }"));
  // Escapes split a quoted string into runs; only each run is limited.
  std::string escaped;
  while (escaped.size() < 3 * kMaxDotLexeme) escaped += std::string(1000, 'x') + "\\\"";
  EXPECT_TRUE(IsValidDot(label(escaped)));
}

TEST(DotSyntax, StricterThanGraphvizWhereItOnlyWarns) {
  // Graphviz splits "1a" into two tokens with a warning; no file of ours may depend on that.
  EXPECT_FALSE(IsValidDot("digraph G { 1a -> b }"));
  EXPECT_FALSE(IsValidDot("digraph G { edge x = [color=red] a }"));
  // A second graph in the same file is more than one graph.
  EXPECT_FALSE(IsValidDot("digraph G { a } digraph H { b }"));
  EXPECT_FALSE(IsValidDot("digraph G { a } /* unterminated"));
}

TEST(DotSyntax, ReportsTheLineOfTheFirstError) {
  const auto error = FindDotSyntaxError("digraph G\n{\n  a -> b\n  c [x]\n}\n");
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->line, 4u);
  EXPECT_EQ(DescribeDotSyntaxError(*error), "line 4: expected '='");
  const auto unterminated = FindDotSyntaxError("digraph G {\n a [label=\"x\n\n]\n}");
  ASSERT_TRUE(unterminated.has_value());
  EXPECT_EQ(unterminated->line, 2u);
  EXPECT_EQ(unterminated->message, "unterminated quoted string");
}

}  // namespace
}  // namespace quillmap
