// The module graph's focus through the real program: "[modules] focus", "direction" and
// "depth" choose the clusters and edges of the module graph DOT file, each cluster keeping the
// functions of its kept edges; a focus on an unknown module is an error entry with the closest
// names, and no module graph is written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quillmap::testing {
namespace {

using ::testing::HasSubstr;

// a -> b -> c, and d -> b.
const std::string kConfig =
    "[scan]\nsyntax=c\n[files]\nfile0=a.c\nfile1=b.c\nfile2=c.c\nfile3=d.c\n[calls]\n0=*\n"
    "[modules]\ndot=modules.dot\n"
    "mod_0=a\nmod_0_file_0=a.c\nmod_1=b\nmod_1_file_0=b.c\n"
    "mod_2=c\nmod_2_file_0=c.c\nmod_3=d\nmod_3_file_0=d.c\n";

// The clusters, the shown function nodes and the edges of a module graph, in file order.
std::vector<std::string> Shape(const std::string& dot) {
  std::vector<std::string> shape;
  for (const std::string& line : CrLfLines(dot)) {
    if (line.starts_with("  subgraph cluster_")) shape.push_back(line.substr(19, 1));
    if (line.starts_with("    node ")) shape.push_back(line.substr(line.rfind(' ') + 1));
    if (line.find(" -> ") != std::string::npos) shape.push_back(line.substr(2));
  }
  return shape;
}

TEST(ModuleFocusEndToEnd, FocusDirectionAndDepthChooseClustersAndEdges) {
  TempDir dir;
  dir.Write("a.c", "void A(void)\n{\n  B();\n}\n");
  dir.Write("b.c", "void B(void)\n{\n  C();\n}\n");
  dir.Write("c.c", "void C(void)\n{\n}\n");
  dir.Write("d.c", "void D(void)\n{\n  B();\n}\n");
  const struct {
    const char* keys;
    std::vector<std::string> shape;
  } cases[] = {
      {"",
       {"a", "a_A;", "b", "b_B;", "c", "c_C;", "d", "d_D;", "a_A -> b_B;", "b_B -> c_C;",
        "d_D -> b_B;"}},
      {"focus=b\n", {"b", "b_B;", "c", "c_C;", "b_B -> c_C;"}},
      {"focus=b\ndirection=callers\n",
       {"a", "a_A;", "b", "b_B;", "d", "d_D;", "a_A -> b_B;", "d_D -> b_B;"}},
      {"focus=a\ndepth=1\n", {"a", "a_A;", "b", "b_B;", "a_A -> b_B;"}},
      {"focus=c, d\ndirection=both\ndepth=1\n",
       {"b", "b_B;", "c", "c_C;", "d", "d_D;", "b_B -> c_C;", "d_D -> b_B;"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    dir.Write("scan.cfg", kConfig + c.keys);
    const ProgramResult r = RunQuillmap({"-cfg", dir / "scan.cfg"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(Shape(ReadFile(dir / "modules.dot")), c.shape);
    ExpectGraphvizAccepts(dir / "modules.dot");
  }

  std::remove((dir / "modules.dot").c_str());
  for (const std::string keys : {"focus=bb\n", "focus=a\ndepth=-1\n"}) {
    dir.Write("scan.cfg", kConfig + keys);
    const ProgramResult r = RunQuillmap({"-cfg", dir / "scan.cfg"}, dir.path());
    EXPECT_EQ(r.status, 1) << keys;
    EXPECT_FALSE(FileExists(dir / "modules.dot")) << keys;
    if (keys == "focus=bb\n") {
      EXPECT_THAT(r.out, HasSubstr("unknown name: bb (closest: b, "));
    }
  }
}

}  // namespace
}  // namespace quillmap::testing
