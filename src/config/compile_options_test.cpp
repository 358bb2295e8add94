#include "config/compile_options.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quillmap {
namespace {

TEST(CompileOptionsTest, SplitsCommandLinesAsAShellDoes) {
  const std::vector<std::pair<std::string, StringList>> cases = {
      {"cc  -c\ta.c", {"cc", "-c", "a.c"}},
      {"cc -DMSG='\"hi there\"' a.c", {"cc", "-DMSG=\"hi there\"", "a.c"}},
      {"cc \"-DP=a b\" -DQ=\\\"x\\\"", {"cc", "-DP=a b", "-DQ=\"x\""}},
      {"cc \"a\\\\b\\$c\\d\"", {"cc", "a\\b$c\\d"}},
      {"cc '' x", {"cc", "", "x"}},
      {"cc 'unterminated", {"cc", "unterminated"}},
      {"", {}},
  };
  for (const auto& [command, words] : cases) EXPECT_EQ(SplitCommandLine(command), words) << command;
}

TEST(CompileOptionsTest, ReadsIncludeFoldersAndDefinesOfTheCEntries) {
  testing::TempDir dir;
  const std::string database = dir.Write("build/compile_commands.json", R"([
    {"directory": "/src/app", "file": "a.c",
     "arguments": ["gcc", "-Iinclude", "-I", "/usr/local/inc", "-DCOMMON", "-DLEVEL=2",
                   "-DONLY_A", "-isystem", "sys", "-c", "a.c"]},
    {"directory": "/src/app", "file": "/src/app/b.c",
     "command": "gcc -I include -DCOMMON -DLEVEL=2 -DGONE -UGONE -iquote q -c b.c"},
    {"directory": "rel", "file": "c.c", "command": "cc -DCOMMON -DLEVEL=2 -DLEVEL=3 -c c.c"},
    {"directory": "/src/app", "file": "x.cpp", "command": "g++ -DCPP_ONLY -Icpp -c x.cpp"},
    {"file": 7},
    "not an entry"
  ])");
  const CompileOptions options = ReadCompileOptions(database);
  EXPECT_EQ(options.includeFolders,
            (StringList{"/src/app/include", "/usr/local/inc", "/src/app/sys", "/src/app/q"}));
  EXPECT_EQ(options.defines, (StringList{"COMMON"}));
  ASSERT_EQ(options.sourceDefines.size(), 3u);
  EXPECT_EQ(options.sourceDefines.at("/src/app/a.c"), (StringList{"LEVEL=2", "ONLY_A"}));
  EXPECT_EQ(options.sourceDefines.at("/src/app/b.c"), (StringList{"LEVEL=2"}));  // GONE undone
  EXPECT_EQ(options.sourceDefines.at(dir / "build/rel/c.c"), (StringList{"LEVEL=3"}));

  for (const std::string& bad : {std::string("{\"file\": \"a.c\"}"), std::string("[{"),
                                 std::string("")}) {
    const CompileOptions none = ReadCompileOptions(dir.Write("bad.json", bad));
    EXPECT_TRUE(none.includeFolders.empty() && none.defines.empty() && none.sourceDefines.empty())
        << bad;
  }
  EXPECT_TRUE(ReadCompileOptions(dir / "missing.json").defines.empty());
}

}  // namespace
}  // namespace quillmap
