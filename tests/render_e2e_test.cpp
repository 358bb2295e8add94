// The program renders pictures of the DOT files it writes and shapes them with graph queries:
// the real binary on a small source tree, the SVG checked by an XML parser (xmllint).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::RunQuillmap;
using testing::TempDir;

constexpr const char* kSource =
    "void helper(void)\n{\n}\n"
    "int main(void)\n{\n  helper();\n  Send(MSG_A);\n}\n"
    "void unused(void)\n{\n  helper();\n}\n";

std::string Config(const std::string& dotKeys) {
  return "[files]\ndot=out/calls.dot\ncsv=out/calls.csv\nfile0=app.c\n"
         "[calls]\n0=main\n1=helper\n2=Send,,msg\n3=unused\n"
         "[dot]\ncall_cfgmsg=[label=$0]\n" +
         dotKeys;
}

bool XmlParses(const std::string& path) {
  return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

TEST(RenderE2e, SvgBesideTheDotFileParsesAndCarriesTooltips) {
  TempDir dir;
  dir.Write("app.c", kSource);
  dir.Write("out/.keep", "");
  dir.Write("a.cfg", Config("render=svg,png\n"));
  const auto result = RunQuillmap({"-cfg", dir / "a.cfg"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("rendered: " + dir / "out/calls.svg" + " with dot\n"),
            std::string::npos)
      << result.out;
  ASSERT_TRUE(XmlParses(dir / "out/calls.svg"));
  // The tooltip holds the full path, written with SVG's character references ('-' as "&#45;").
  const std::string svg = ReadFile(dir / "out/calls.svg");
  const size_t tooltip = svg.find("app.c:4\"");
  ASSERT_NE(tooltip, std::string::npos) << svg;
  EXPECT_EQ(svg.rfind("xlink:title=\"/", tooltip), svg.rfind('"', tooltip - 1) - 12);
  EXPECT_TRUE(FileExists(dir / "out/calls.png"));
}

TEST(RenderE2e, QueriesShapeTheDotFileAndTheCommandLineWins) {
  TempDir dir;
  dir.Write("app.c", kSource);
  dir.Write("out/.keep", "");
  dir.Write("a.cfg", Config("focus=unused\n"));
  auto result = RunQuillmap({"-cfg", dir / "a.cfg", "-focus", "main", "-omit", "Se*"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.out;
  std::string dot = ReadFile(dir / "out/calls.dot");
  EXPECT_NE(dot.find("main -> helper"), std::string::npos) << dot;
  EXPECT_EQ(dot.find("unused"), std::string::npos) << dot;
  EXPECT_EQ(dot.find("Send"), std::string::npos) << dot;
  // The CSV report stays whole.
  EXPECT_NE(ReadFile(dir / "out/calls.csv").find("unused"), std::string::npos);

  result = RunQuillmap({"-cfg", dir / "a.cfg", "-focus", "mian"}, dir.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("unknown name: mian (closest: main, "), std::string::npos)
      << result.out;
}

TEST(RenderE2e, BadSettingsAndMissingFoldersAreErrors) {
  TempDir dir;
  dir.Write("app.c", kSource);
  dir.Write("a.cfg", Config("render=svg,nope\n"));  // out/ is missing too
  auto result = RunQuillmap({"-cfg", dir / "a.cfg"}, dir.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("unknown render format: nope (known: "), std::string::npos)
      << result.out;
  dir.Write("a.cfg", Config("render=svg\nrender_seconds=soon\n"));
  result = RunQuillmap({"-cfg", dir / "a.cfg"}, dir.path());
  EXPECT_NE(result.out.find("bad render_seconds: soon"), std::string::npos) << result.out;
  dir.Write("a.cfg", Config("render=svg\n"));
  result = RunQuillmap({"-cfg", dir / "a.cfg"}, dir.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(
      result.out.find("not rendered: " + dir / "out/calls.dot" + " (the DOT file was not written)"),
      std::string::npos)
      << result.out;
}

// Names and texts that Graphviz's reader or an XML parser would reject: the DOT file and the
// picture stay readable, and a name of megabytes is stopped by the budget, its parse included.
TEST(RenderE2e, LongNamesAndControlBytesGiveReadableFilesWithinTheBudget) {
  const std::string longName(20000, 'n');
  const std::string hugeName(4 << 20, 'h');
  const struct {
    const char* name;
    std::string folder;  // of the source
    std::string source;
    std::string renderSeconds;
    const char* told;  // the render entry's beginning
  } cases[] = {
      {"IdentifierPastGraphvizLimit", "src", "int " + longName + "(void)\n{\n  helper();\n}\n",
       "10", "rendered: "},
      {"ControlByteInAnArgument", "src", "int main(void)\n{\n  Send(\"a\x01\x1b b\");\n}\n", "10",
       "rendered: "},
      {"ControlByteInAFolderName", "src\x02\x7f", kSource, "10", "rendered: "},
      {"NameOfMegabytes", "src", "int " + hugeName + "(void)\n{\n  helper();\n}\n", "1",
       "not rendered: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.Write(c.folder + "/app.c", c.source);
    dir.Write("out/.keep", "");
    const std::string config = "[scan]\nsyntax=c\n[files]\ndot=out/calls.dot\nfile0=" + c.folder +
                               "/app.c\n[calls]\n0=*\n[dot]\ncall_cfg=[label=$0]\n";
    const bool rendered = std::string(c.told) == "rendered: ";
    // Where the budget stops the picture, the same run without one first: what the program's
    // start and scan take on this machine now (seconds, for a name of megabytes in a sanitizer
    // build on a loaded machine).
    double scanSeconds = 0;
    auto start = std::chrono::steady_clock::now();
    if (!rendered) {
      dir.Write("a.cfg", config);
      EXPECT_EQ(RunQuillmap({"-cfg", dir / "a.cfg"}, dir.path()).status, 0);
      scanSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    dir.Write("a.cfg", config + "render=svg\nrender_seconds=" + c.renderSeconds + "\n");
    start = std::chrono::steady_clock::now();
    const auto result = RunQuillmap({"-cfg", dir / "a.cfg"}, dir.path());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(result.out.find(c.told + dir / "out/calls"), std::string::npos) << result.out;
    if (rendered) {
      EXPECT_EQ(result.status, 0);
      const std::string dot = "dot -Tcanon -o /dev/null '" + dir / "out/calls.dot" + "' 2>&1";
      EXPECT_EQ(std::system(dot.c_str()), 0);
      EXPECT_TRUE(XmlParses(dir / "out/calls.svg"));
    } else {
      EXPECT_EQ(result.status, 1);
      // The budget on top of the run without a picture, with room for the load changing
      // between the two; a parse outside the budget took 14 s.
      EXPECT_LT(seconds, scanSeconds + std::stod(c.renderSeconds) + 4) << scanSeconds;
    }
  }
}

}  // namespace
}  // namespace quillmap
