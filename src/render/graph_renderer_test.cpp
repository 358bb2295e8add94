#include "render/graph_renderer.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::TempDir;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// A graph whose layout takes far longer than the budgets below, with dot and with sfdp.
std::string HeavyGraph() {
  std::string dot = "digraph G {\r\n";
  for (int i = 0; i < 400; ++i) {
    for (int j = 1; j <= 12; ++j) {
      dot += "  f" + std::to_string(i) + " -> f" + std::to_string((i * 7 + j * 13) % 400) +
             " [label=x" + std::to_string(j) + "]\r\n";
    }
  }
  return dot + "}\r\n";
}

TEST(GraphRenderer, WritesEachFormatBesideTheDotFileWithTooltips) {
  TempDir dir;
  const std::string dotText = "digraph G\r\n{\r\n  \"int main\" -> Send [label=MSG_A]\r\n}\r\n";
  const std::string dotPath = dir.Write("calls.dot", dotText);
  GraphRenderer renderer;
  const RenderResult result =
      renderer.Render(dotPath, {{"svg", "png"}, 10}, {{"int main", "app/main.c:12"}});
  EXPECT_FALSE(result.failed);
  ASSERT_EQ(result.entries.size(), 2u);
  EXPECT_EQ(result.entries[0], "rendered: " + dir / "calls.svg" + " with dot");
  EXPECT_EQ(result.entries[1], "rendered: " + dir / "calls.png" + " with dot");
  const std::string svg = ReadFile(dir / "calls.svg");
  EXPECT_NE(svg.find("xlink:title=\"app/main.c:12\""), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "calls.png").substr(1, 3), "PNG");
  EXPECT_EQ(ReadFile(dotPath), dotText);  // the tooltips live in the picture only
  EXPECT_EQ(FolderEntries(dir.path()),
            (std::vector<std::string>{"calls.dot", "calls.png", "calls.svg"}));
}

TEST(GraphRenderer, ALayoutPastTheBudgetIsStoppedAndLeavesNoPicture) {
  TempDir dir;
  const std::string dotPath = dir.Write("calls.dot", HeavyGraph());
  GraphRenderer renderer;
  const RenderResult result = renderer.Render(dotPath, {{"svg"}, 0.05}, {});
  EXPECT_TRUE(result.failed);
  ASSERT_FALSE(result.entries.empty());
  // The budget covers reading the graph too: on a slow machine it may end before the plan.
  if (result.entries.size() == 2) {
    EXPECT_EQ(result.entries.front(),
              "edge labels drawn as xlabel: " + dotPath + " (4800 labelled edges)");
  }
  EXPECT_EQ(result.entries.back(), "not rendered: " + dotPath +
                                       ": no layout finished within 0.05 s (the DOT file is kept)");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"calls.dot"});
}

TEST(GraphRenderer, BadInputIsAClearEntry) {
  TempDir dir;
  GraphRenderer renderer;
  const std::string broken = dir.Write("broken.dot", "digraph G { a -> }\n");
  RenderResult result = renderer.Render(broken, {{"svg"}, 10}, {});
  EXPECT_TRUE(result.failed);
  ASSERT_EQ(result.entries.size(), 1u);
  EXPECT_EQ(result.entries[0].rfind("not rendered: " + broken + ": Graphviz cannot read it: ", 0),
            0u)
      << result.entries[0];

  result = renderer.Render(dir / "missing.dot", {{"svg"}, 10}, {});
  EXPECT_EQ(result.entries, std::vector<std::string>{"not rendered: " + dir / "missing.dot" +
                                                     ": the DOT file cannot be read"});

  // The DOT file exists but its picture cannot be created beside it.
  const std::string dotPath = dir.Write("ro/calls.dot", "digraph G { a -> b }\n");
  ASSERT_EQ(chmod((dir / "ro").c_str(), 0555), 0);
  result = renderer.Render(dotPath, {{"svg"}, 10}, {});
  chmod((dir / "ro").c_str(), 0755);
  if (geteuid() != 0) {  // root writes anyway
    EXPECT_EQ(result.entries, std::vector<std::string>{"error writing: " + dir / "ro/calls.svg"});
  }
}

// The big-endian width and height of a PNG (bytes 16 and 20 of its header).
std::pair<unsigned, unsigned> PngSize(const std::string& png) {
  const auto word = [&](size_t at) {
    return (static_cast<unsigned>(static_cast<unsigned char>(png[at])) << 24) |
           (static_cast<unsigned char>(png[at + 1]) << 16) |
           (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
  };
  return png.size() < 24 ? std::pair{0u, 0u} : std::pair{word(16), word(20)};
}

TEST(GraphRenderer, DrawsInMemoryWithNodeBoxesInsideThePicture) {
  GraphRenderer renderer;
  // A function with 400 callers is a picture of millions of pixels at one a point.
  std::string callers = "digraph G { rankdir=LR; ";
  for (int i = 0; i < 400; ++i) callers += "caller" + std::to_string(i) + " -> schedule; ";
  callers += "}";
  const struct {
    std::string dot;
    size_t nodes;
    bool scaled;
  } cases[] = {{"digraph G { rankdir=LR; \"int main\" -> helper -> leaf }", 3, false},
               {callers, 401, true}};
  for (const auto& c : cases) {
    const GraphDrawing drawing = renderer.Draw(c.dot, 20);
    ASSERT_EQ(drawing.error, "") << c.nodes;
    ASSERT_GT(drawing.png.size(), 8u);
    EXPECT_EQ(drawing.png.substr(1, 3), "PNG");
    const auto [pixelsWide, pixelsHigh] = PngSize(drawing.png);
    EXPECT_LE(static_cast<double>(pixelsWide) * pixelsHigh, kMaxDrawingPixels * 1.01) << c.nodes;
    EXPECT_EQ(drawing.pictureScale < 1, c.scaled) << drawing.pictureScale;
    // Node boxes are in points: within the picture's pixels over its scale.
    const double width = pixelsWide / drawing.pictureScale;
    const double height = pixelsHigh / drawing.pictureScale;
    ASSERT_EQ(drawing.nodes.size(), c.nodes);
    double right = 0, bottom = 0;
    for (const DrawnNode& node : drawing.nodes) {
      EXPECT_GE(node.left, 0) << node.name;
      EXPECT_GE(node.top, 0) << node.name;
      EXPECT_LE(node.left + node.width, width + 2) << node.name;
      EXPECT_LE(node.top + node.height, height + 2) << node.name;
      right = std::max(right, node.left + node.width);
      bottom = std::max(bottom, node.top + node.height);
    }
    // The boxes reach out to the picture's margin, whatever its scale.
    EXPECT_GT(right, width - 20) << c.nodes;
    EXPECT_GT(bottom, height - 20) << c.nodes;
  }
  const GraphDrawing drawing =
      renderer.Draw("digraph G { rankdir=LR; \"int main\" -> helper -> leaf }", 10);
  EXPECT_EQ(drawing.nodes[0].name, "int main");
  // Left to right: each node starts right of the one before.
  EXPECT_LT(drawing.nodes[0].left + drawing.nodes[0].width, drawing.nodes[1].left);
  EXPECT_LT(drawing.nodes[1].left + drawing.nodes[1].width, drawing.nodes[2].left);

  EXPECT_EQ(renderer.Draw("digraph G { a -> }", 10).error.rfind("Graphviz cannot read", 0), 0u);
  const GraphDrawing late = renderer.Draw(HeavyGraph(), 0.05);
  EXPECT_EQ(late.error, "no layout finished within 0.05 s");
  EXPECT_TRUE(late.png.empty());
}

TEST(GraphRenderer, DrawsPartsOfADrawingAtTheirOwnScale) {
  GraphRenderer renderer;
  const GraphDrawing drawing = renderer.Draw("digraph G { rankdir=LR; main -> helper -> leaf }", 10);
  ASSERT_EQ(drawing.error, "");
  const DrawnNode& helper = drawing.nodes[1];
  const DrawingPart onHelper{160, 90, 3, helper.left + helper.width / 2,
                             helper.top + helper.height / 2};
  const std::string part = renderer.DrawPart(drawing, onHelper);
  EXPECT_EQ(PngSize(part), (std::pair{160u, 90u}));
  // Far from every node the part is blank, which a PNG holds in far fewer bytes.
  DrawingPart blank = onHelper;
  blank.centerX = -5000;
  const std::string empty = renderer.DrawPart(drawing, blank);
  EXPECT_EQ(PngSize(empty), (std::pair{160u, 90u}));
  EXPECT_LT(empty.size() * 2, part.size());
  EXPECT_EQ(renderer.DrawPart(GraphDrawing{}, onHelper), "");
}

TEST(GraphRenderer, OffersTheCommonFormatsButNoneThatOverwriteTheDotFile) {
  GraphRenderer renderer;
  const std::vector<std::string>& formats = renderer.formats();
  for (const char* format : {"svg", "png", "pdf"}) {
    EXPECT_NE(std::find(formats.begin(), formats.end(), format), formats.end()) << format;
  }
  for (const char* format : {"dot", "x11"}) {
    EXPECT_EQ(std::find(formats.begin(), formats.end(), format), formats.end()) << format;
  }
}

}  // namespace
}  // namespace quillmap
