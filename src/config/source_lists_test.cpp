#include "config/source_lists.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

struct SourceListsTest : ::testing::Test {
  SourceListsTest() {
    for (const char* name :
         {"a.c", "src/x.c", "src/y.c", "src/x_test.c", "src/test/t.c", "lib/l.c", "lib/l.h"}) {
      dir.Write(name, "");
    }
  }
  SourceList CallGraph(const std::string& files) {
    cfg = dir.Write("scan.cfg", "[files]\n" + files);
    return CallGraphSourcePaths(ReadScanSettings(profile, cfg), dir.path());
  }
  // The paths relative to the folder.
  StringList Relative(const StringList& paths) const {
    StringList relative;
    for (const std::string& path : paths) relative.push_back(path.substr(dir.path().size()));
    return relative;
  }

  TempDir dir;
  RereadingProfileReader profile;
  std::string cfg;
};

TEST_F(SourceListsTest, PatternsExpandInPlaceAndExclusionsApplyToEveryEntry) {
  const std::vector<std::pair<std::string, StringList>> cases = {
      // Plain entries are taken as they always were: twice, missing, backslashes turned.
      {"file0=a.c\nfile1=a.c\nfile2=gone.c\nfile3=src\\x.c\nfile5=lib/l.c\n",
       {"a.c", "a.c", "gone.c", "src/x.c"}},
      // In place, in byte order, each file once by identity (src/../src/x.c is src/x.c).
      {"file0=src/../src/x.c\nfile1=src/*.c\nfile2=a.c\n",
       {"src/../src/x.c", "src/x_test.c", "src/y.c", "a.c"}},
      {"file0=**/*.c\n", {"a.c", "lib/l.c", "src/test/t.c", "src/x.c", "src/x_test.c", "src/y.c"}},
      // A name pattern anywhere, a path pattern from the configuration's folder; a plain entry
      // after a pattern is kept like any plain entry.
      {"file0=**/*.c\nfile1=a.c\nexclude0=*_test.c\nexclude1=**/test/**\nexclude2=lib/*\n",
       {"a.c", "src/x.c", "src/y.c", "a.c"}},
      {"file0=src/test/t.c\nexclude0=src/test/**\n", {}},
  };
  for (const auto& [files, expected] : cases) {
    const SourceList list = CallGraph(files);
    EXPECT_EQ(Relative(list.paths), expected) << files;
    EXPECT_EQ(list.problems, StringList()) << files;
  }
}

TEST_F(SourceListsTest, ModulesExpandWithTheExclusionsOfTheFilesSection) {
  cfg = dir.Write("scan.cfg",
                  "[files]\nexclude0=*_test.c\n[modules]\nmod_0=app\nmod_1=lib\n"
                  "mod_1_file_0=src/*.c\nmod_1_file_1=lib/*.c\n");
  const SourceList list = ModuleFilePaths(ReadScanSettings(profile, cfg), dir.path(), 1);
  EXPECT_EQ(Relative(list.paths), (StringList{"src/x.c", "src/y.c", "lib/l.c"}));
}

TEST_F(SourceListsTest, EachBadPatternIsAProblemAndTheRestIsTaken) {
  const SourceList list =
      CallGraph("file0=none/*.c\nfile1=src//*.c\nfile2=src/**.c\nfile3=s?c\nfile4=a.c\n");
  EXPECT_EQ(Relative(list.paths), StringList{"a.c"});
  ASSERT_EQ(list.problems.size(), 4u);
  EXPECT_EQ(list.problems[0], kNoFileMatches + dir / "none/*.c");
  EXPECT_EQ(list.problems[1].rfind(kBadPattern + dir / "src//*.c (", 0), 0u);
  EXPECT_EQ(list.problems[2].rfind(kBadPattern + dir / "src/**.c (", 0), 0u);
  EXPECT_EQ(list.problems[3], kNoFileMatches + dir / "s?c");  // a folder is not a file
}

TEST_F(SourceListsTest, CompilationDatabaseAddsItsCFilesOnceInItsOrder) {
  dir.Write("build/compile_commands.json", R"([
    {"directory": "../src", "file": "y.c", "command": "cc -c y.c"},
    {"directory": ")" + dir.path() + R"(", "file": "lib/l.h"},
    {"directory": ")" + dir.path() + R"(", "file": "a.c"},
    {"directory": ")" + dir.path() + R"(src", "file": "y.c"},
    {"file": "../src/x_test.c"},
    {"directory": "/", "file": ")" + dir.path() +
                                               R"(gone.c"},
    {"directory": "/", "file": ")" + dir.path() +
                                               R"(gone.c"}
  ])");
  const SourceList list =
      CallGraph("file0=a.c\ncompile_commands=build/compile_commands.json\nexclude0=*_test.c\n");
  EXPECT_EQ(Relative(list.paths), (StringList{"a.c", "build/../src/y.c"}));
  EXPECT_EQ(list.problems, StringList{kDatabaseMissingFile + dir / "gone.c"});
}

TEST_F(SourceListsTest, UnreadableOrMalformedDatabaseIsAProblemWithTheReason) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"missing.json", "No such file or directory"},
      {"broken.json", "parse error"},
      {"object.json", "not a JSON array"},
      {"entries.json", "first entry 1"},
  };
  dir.Write("broken.json", "[{\"file\": ");
  dir.Write("object.json", "{}");
  dir.Write("entries.json", R"([{"file": "a.c"}, {"directory": "x"}, 3])");
  for (const auto& [database, reason] : cases) {
    const SourceList list = CallGraph("compile_commands=" + database + "\n");
    ASSERT_EQ(list.problems.size(), 1u) << database;
    EXPECT_EQ(list.problems[0].rfind(kDatabaseError + dir / database + " (", 0), 0u);
    EXPECT_NE(list.problems[0].find(reason), std::string::npos) << list.problems[0];
  }
}

TEST_F(SourceListsTest, CacheResolvesAListOnceUntilItsValuesChange) {
  SourceListCache cache;
  CallGraph("file0=src/*.c\n");
  const SourceList& first = cache.CallGraph(ReadScanSettings(profile, cfg), dir.path());
  dir.Write("src/new.c", "");
  EXPECT_EQ(&cache.CallGraph(ReadScanSettings(profile, cfg), dir.path()), &first);
  EXPECT_EQ(first.paths.size(), 3u);
  CallGraph("file0=src/*.c\nexclude0=x*\n");
  EXPECT_EQ(Relative(cache.CallGraph(ReadScanSettings(profile, cfg), dir.path()).paths),
            (StringList{"src/new.c", "src/y.c"}));
}

}  // namespace
}  // namespace quillmap
