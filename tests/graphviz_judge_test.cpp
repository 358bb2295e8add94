// Graphviz as the judge of every DOT file: the real program scans generated trees whose names
// need quoting (DOT keywords, names with '*' or blanks, quotes and backslashes in call
// arguments, HTML labels) and sources in several encodings; `dot` must read every DOT file it
// writes, and must read the node names that were meant.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>
#include <utility>

#include "dot_syntax.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::ReadFile;
using testing::TempDir;
using Edge = std::pair<std::string, std::string>;

bool HaveDot() { return std::system("command -v dot > /dev/null 2>&1") == 0; }

// What Graphviz read from a DOT file: its node names and edges (tail, head), from `dot -Tplain`.
struct ReadGraph {
  std::set<std::string> nodes;
  std::set<Edge> edges;
};

// The tokens of one line of `dot -Tplain` output; a quoted token loses its quotes and escapes.
std::vector<std::string> PlainTokens(const std::string& line) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::string token;
    if (line[i] == '"') {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') ++i;
        token += line[i];
      }
      ++i;
    } else {
      while (i < line.size() && line[i] != ' ') token += line[i++];
    }
    tokens.push_back(token);
  }
  return tokens;
}

// Runs the DOT file through our syntax check and through `dot` (which must accept it), and
// returns what `dot` read. Without dot the graph comes back empty (a failure under CI).
ReadGraph JudgeDotFile(const std::string& path) {
  const std::string contents = ReadFile(path);
  const auto error = FindDotSyntaxError(contents);
  EXPECT_FALSE(error) << path << ": " << DescribeDotSyntaxError(*error) << "\n" << contents;
  testing::ExpectGraphvizAccepts(path);
  ReadGraph graph;
  if (!HaveDot()) return graph;
  const std::string plain = path + ".plain";
  const std::string command = "dot -Tplain -o '" + plain + "' '" + path + "' 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::string text = ReadFile(plain);
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const auto tokens = PlainTokens(text.substr(start, end - start));
    if (tokens.size() > 1 && tokens[0] == "node") graph.nodes.insert(tokens[1]);
    if (tokens.size() > 2 && tokens[0] == "edge") graph.edges.insert({tokens[1], tokens[2]});
    start = end + 1;
  }
  return graph;
}

// Names that DOT cannot take as they stand, in both graphs.
const std::string kQuotingConfig =
    "[files]\ndot=out/calls.dot\ncsv=out/calls.csv\nfile0=src/app.c\nfile1=src/lib.c\n"
    "file2=src/core.c\n"
    "[calls]\n0=foo,fn,msg\n1=node,fn,q\n2=graph,,h\n3=dup\n4=Send,msg,msg\n5=edge\n6=obj.\n"
    "7=Edge,fn\n8=say\n"
    "[dot]\ngraph_cfg0=rankdir=LR\nnode_cfgfn=[shape=box]\ncall_cfgmsg=[label=$0]\n"
    "call_cfgq=[label=\"arg: $1\"]\ncall_cfgh=[label=<<b>$0</b>>]\ncall_cfg=[style=dashed]\n"
    "[modules]\nlog=out/mod.log\ndot=out/mod.dot\ngraph_cfg0=rankdir=LR\n"
    "mod_0=my app\nmod_0_dot_node=shape=box\nmod_0_dot_call=[color=red]\nmod_0_file_0=src/app.c\n"
    "mod_1=node\nmod_1_file_0=src/lib.c\nmod_2=lib \"core\"\nmod_2_file_0=src/core.c\n";
const std::string kAppSource =
    "static int foo(void)\n{\n"
    "  node(\"a, \\\"b\\\"\", x, 'q');\n"
    "  Send(\"C:\\\\dir\\\\\", 1);\n"
    "  graph(a<b, c & d);\n"
    "  dup(p);\n"
    "  obj.get(1);\n"
    "}\n"
    "char *dup(char *s)\n{\n  edge(s);\n}\n";
const std::string kLibSource =
    "int node(int n)\n{\n  graph(n);\n}\n"
    "void graph(int g)\n{\n  foo();\n}\n"
    "int Edge(void)\n{\n}\n";
const std::string kCoreSource = "int say\"hi(void)\n{\n  node(1);\n}\n";

TEST(GraphvizJudge, ReadsEveryDotFileWithNamesThatNeedQuoting) {
  TempDir dir;
  dir.Write("scan.cfg", kQuotingConfig);
  dir.Write("src/app.c", kAppSource);
  dir.Write("src/lib.c", kLibSource);
  dir.Write("src/core.c", kCoreSource);
  mkdir((dir / "out").c_str(), 0700);
  const auto result = testing::RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  ASSERT_EQ(result.status, 0) << result.out << result.err;

  const ReadGraph calls = JudgeDotFile(dir / "out/calls.dot");
  const ReadGraph modules = JudgeDotFile(dir / "out/mod.dot");
  if (!HaveDot()) return;

  // Graphviz read the names as they were meant: keywords, blanks, '*', '.', '"' included.
  EXPECT_EQ(calls.nodes,
            (std::set<std::string>{"int foo", "node", "Send", "graph", "dup", "obj_get", "*dup",
                                   "edge", "foo", "Edge", "say\"hi"}));
  EXPECT_EQ(calls.edges, (std::set<Edge>{{"int foo", "node"},
                                         {"int foo", "Send"},
                                         {"int foo", "graph"},
                                         {"int foo", "dup"},
                                         {"int foo", "obj_get"},
                                         {"*dup", "edge"},
                                         {"node", "graph"},
                                         {"graph", "foo"},
                                         {"say\"hi", "node"}}));
  EXPECT_EQ(modules.nodes, (std::set<std::string>{"my app_int foo", "node_node", "node_graph",
                                                  "lib \"core\"_say\"hi"}));
  // (The body of graph calls foo, but module "my app" defines "int foo": no edge back.)
  EXPECT_EQ(modules.edges, (std::set<Edge>{{"my app_int foo", "node_node"},
                                           {"my app_int foo", "node_graph"},
                                           {"lib \"core\"_say\"hi", "node_node"}}));

  // The substituted arguments stand in the labels as written in the source.
  const std::string dot = ReadFile(dir / "out/calls.dot");
  EXPECT_NE(dot.find(R"("int foo" -> "node" [label="arg: \\\"b\\\"\""])"), std::string::npos);
  EXPECT_NE(dot.find(R"("int foo" -> Send [label="\"C:\\\\dir\\\\\""])"), std::string::npos);
  EXPECT_NE(dot.find(R"("int foo" -> "graph" [label=<<b>a&lt;b</b>>])"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Encodings: Quillmap reads sources and configurations as bytes.

std::string Utf16(const std::string& ascii, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    if (bigEndian) out += '\0';
    out += c;
    if (!bigEndian) out += '\0';
  }
  return out;
}

const std::string kEncodingsConfig =
    "[files]\ndot=calls.dot\ncsv=calls.csv\nfile0=latin1.c\nfile1=utf8.c\nfile2=utf8bom.c\nfile3="
    "utf16le.c\n"
    "file4=utf16be.c\n"
    "[calls]\n0=caf,fn,msg\n1=na\n2=foo\n3=bar,,msg\n"
    "[dot]\nnode_cfgfn=[shape=box]\ncall_cfgmsg=[label=$0]\n"
    "[modules]\ndot=mod.dot\nmod_0=Modul \xC4\nmod_0_file_0=latin1.c\nmod_1=M\xC3\xB6\x64ul\n"
    "mod_1_file_0=utf8.c\nmod_1_file_1=utf8bom.c\nmod_2=wide\nmod_2_file_0=utf16le.c\n"
    "mod_2_file_1=utf16be.c\n";
const std::string kWideSource = "int foo(void)\r\n{\r\n  bar(1);\r\n}\r\n";

void WriteEncodedSources(const TempDir& dir) {
  dir.Write("latin1.c", "int caf\xE9(void)\n{\n  na\xEFve(\"\xE9t\xE9\");\n  foo();\n}\n");
  dir.Write("utf8.c",
            "int caf\xC3\xA9(void)\n{\n  na\xC3\xAFve(\"\xC3\xA9t\xC3\xA9\");\n  foo();\n}\n");
  dir.Write("utf8bom.c", "\xEF\xBB\xBFint foo(void)\r\n{\r\n  bar(\"\xC3\xA9\");\r\n}\r\n");
  dir.Write("utf16le.c", Utf16(kWideSource, false));
  dir.Write("utf16be.c", Utf16(kWideSource, true));
}

// The entries of the log that claim a function, with the source they were found in.
std::vector<std::string> ClaimedFunctions(const std::string& out) {
  std::vector<std::string> claims;
  std::string source;
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = std::min(out.find('\n', start), out.size());
    const std::string line = out.substr(start, end - start);
    if (line.starts_with("IN[")) source = line.substr(line.rfind('/') + 1);
    if (line.starts_with(">> Z:"))
      claims.push_back(source + ": " + line.substr(line.find(", ") + 2));
    start = end + 1;
  }
  return claims;
}

TEST(Encodings, SourcesInLatin1Utf8AndUtf16AreReadAsBytes) {
  TempDir dir;
  dir.Write("scan.cfg", kEncodingsConfig);
  WriteEncodedSources(dir);
  const auto result = testing::RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  // UTF-16 puts a NUL byte before or after every character: no line of those files begins in
  // column 0 with "{", so they claim nothing; the byte-order mark of UTF-8 stays before "int".
  EXPECT_EQ(
      ClaimedFunctions(result.out),
      (std::vector<std::string>{"latin1.c: int caf\xE9(void)", "utf8.c: int caf\xC3\xA9(void)",
                                "utf8bom.c: \xEF\xBB\xBFint foo(void)"}));
  EXPECT_TRUE(result.out.ends_with(" chars, 3 fcts\n")) << result.out;

  const ReadGraph calls = JudgeDotFile(dir / "calls.dot");
  const ReadGraph modules = JudgeDotFile(dir / "mod.dot");
  if (!HaveDot()) return;
  // Graphviz warns about the bytes that are not UTF-8 but keeps every name byte for byte, so
  // the Latin-1 and the UTF-8 spelling of a name stay two nodes.
  EXPECT_EQ(calls.nodes, (std::set<std::string>{"caf\xE9", "na\xEFve", "caf\xC3\xA9",
                                                "na\xC3\xAFve", "foo", "bar"}));
  EXPECT_EQ(modules.nodes, (std::set<std::string>{"Modul \xC4_caf\xE9", "M\xC3\xB6\x64ul_foo"}));
  EXPECT_EQ(modules.edges, (std::set<Edge>{{"Modul \xC4_caf\xE9", "M\xC3\xB6\x64ul_foo"}}));
}

TEST(Encodings, ConfigurationInUtf8WithByteOrderMarkAndCrLfReadsLikePlainAscii) {
  TempDir dir;
  WriteEncodedSources(dir);
  dir.Write("scan.cfg", kEncodingsConfig);
  const auto plain = testing::RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  ASSERT_EQ(plain.status, 0) << plain.out;
  const std::string plainCalls = ReadFile(dir / "calls.dot");
  const std::string plainModules = ReadFile(dir / "mod.dot");

  std::string crlf = "\xEF\xBB\xBF";
  for (char c : kEncodingsConfig) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  dir.Write("scan.cfg", crlf);
  std::remove((dir / "calls.dot").c_str());
  std::remove((dir / "mod.dot").c_str());
  const auto withBom = testing::RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  EXPECT_EQ(withBom.status, 0);
  EXPECT_EQ(withBom.out, plain.out);
  const auto stable = [](const std::string& text) { return testing::WithoutDotTimes(text); };
  EXPECT_EQ(stable(ReadFile(dir / "calls.dot")), stable(plainCalls));
  EXPECT_EQ(stable(ReadFile(dir / "mod.dot")), stable(plainModules));
  EXPECT_NE(plainModules.find("subgraph \"cluster_Modul \xC4\""), std::string::npos)
      << plainModules;
}

}  // namespace
}  // namespace quillmap
