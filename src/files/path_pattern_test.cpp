#include "files/path_pattern.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

// A small project: hidden files and folders, a folder whose name looks like a C file, "[" in a
// name, a blank in a name, a link to a file and a link to a folder (which is not followed).
struct Tree {
  Tree() {
    for (const char* name :
         {"a.c", "b.h", ".hidden.c", "sp ace.c", "src/x.c", "src/y.c", "src/[1].c", "src/sub/z.c",
          "src/.git/g.c", "test/t.c", "dir.c/inner.c"}) {
      dir.Write(name, "int f;\n");
    }
    std::filesystem::create_symlink(dir / "src/x.c", dir / "link.c");
    std::filesystem::create_symlink(dir / "src", dir / "linkdir");
  }
  std::vector<std::string> Expand(const std::string& pattern) const {
    std::vector<std::string> relative;
    for (const PatternMatch& match : ExpandPathPattern(dir.path(), pattern).files) {
      relative.push_back(match.path.substr(dir.path().size()));
    }
    return relative;
  }
  TempDir dir;
};

TEST(ExpandPathPattern, MatchesFilesInByteOrderByTheRulesOfEachComponent) {
  const Tree tree;
  using List = std::vector<std::string>;
  const std::vector<std::pair<std::string, List>> cases = {
      {"*.c", {"a.c", "link.c", "sp ace.c"}},  // no hidden file, no folder, the link followed
      {"?.c", {"a.c"}},
      {".*.c", {".hidden.c"}},
      {"src/*.c", {"src/[1].c", "src/x.c", "src/y.c"}},
      {"src/[?].c", {"src/[1].c"}},  // "[" is an ordinary character
      {"src/**/*.c", {"src/[1].c", "src/sub/z.c", "src/x.c", "src/y.c"}},
      {"**/*.c",
       {"a.c", "dir.c/inner.c", "link.c", "sp ace.c", "src/[1].c", "src/sub/z.c", "src/x.c",
        "src/y.c", "test/t.c"}},  // byte order: "dir.c/" after "a.c", "src/[" before "src/s"
      {"src/**", {"src/[1].c", "src/sub/z.c", "src/x.c", "src/y.c"}},
      {"**/**/z.c", {"src/sub/z.c"}},
      {"*/sub/*.c", {"src/sub/z.c"}},
      {"src/../*.h", {"src/../b.h"}},  // the path as written
      {"missing/*.c", {}},
      {"*.x", {}},
  };
  for (const auto& [pattern, expected] : cases) {
    EXPECT_EQ(tree.Expand(pattern), expected) << pattern;
  }
}

TEST(ExpandPathPattern, CountsFoldersThatMatchAndGivesEachFileItsIdentity) {
  const Tree tree;
  EXPECT_EQ(ExpandPathPattern(tree.dir.path(), "*.c").matchedFolders, 1u);  // dir.c
  EXPECT_EQ(ExpandPathPattern(tree.dir.path(), "s?c").matchedFolders, 1u);
  const PatternExpansion links = ExpandPathPattern(tree.dir.path(), "l*.c");
  ASSERT_EQ(links.files.size(), 1u);
  FileIdentity target;
  ASSERT_TRUE(IdentityOf(tree.dir / "src/x.c", target));
  EXPECT_EQ(links.files[0].identity, target);
}

// An unreadable folder inside the tree is reported once and the rest is walked. Root reads every
// folder, so the walk runs in a child process that has given up root.
TEST(ExpandPathPattern, ReportsAnUnreadableFolderAndWalksTheRest) {
  const Tree tree;
  tree.dir.Write("locked/l.c", "");
  chmod(tree.dir.path().c_str(), 0755);
  chmod((tree.dir / "locked").c_str(), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    const PatternExpansion expansion = ExpandPathPattern("", tree.dir / "**/*.c");
    const bool reported = expansion.unreadableFolders == StringList{tree.dir / "locked"};
    _exit(reported && expansion.files.size() == 9 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A cancelled run's walk ends at the next folder: asked once a folder, stopping at the first
// leaves nothing walked, stopping later leaves part of the tree.
TEST(ExpandPathPattern, EndsTheWalkWhenAskedToStop) {
  const Tree tree;
  const size_t all = ExpandPathPattern(tree.dir.path(), "**/*.c").files.size();
  struct Case {
    int foldersBeforeStop;
    bool some, every;
  };
  const Case cases[] = {{0, false, false}, {2, true, false}, {1000, true, true}};
  for (const Case& c : cases) {
    int asked = 0;
    const std::function<bool()> stop = [&] { return asked++ >= c.foldersBeforeStop; };
    const size_t found = ExpandPathPattern(tree.dir.path(), "**/*.c", stop).files.size();
    EXPECT_EQ(found > 0, c.some) << c.foldersBeforeStop;
    EXPECT_EQ(found == all, c.every) << c.foldersBeforeStop;
  }
}

TEST(ExpandPathPattern, TakesTheBaseFolderAsItStands) {
  TempDir dir;
  dir.Write("a*b/x.c", "");
  dir.Write("aXb/y.c", "");
  const PatternExpansion expansion = ExpandPathPattern(dir / "a*b/", "*.c");
  ASSERT_EQ(expansion.files.size(), 1u);
  EXPECT_EQ(expansion.files[0].path, dir / "a*b/x.c");
}

TEST(MatchesPathPattern, MatchesComponentByComponent) {
  const std::vector<std::tuple<const char*, const char*, bool>> cases = {
      {"/p/**/test/**", "/p/a/test/x.c", true},
      {"/p/**/test/**", "/p/test/x.c", true},
      {"/p/**/test/**", "/p/a/tests/x.c", false},
      {"/p/**/*_test.c", "/p/x_test.c", true},
      {"/p/*.c", "/p/a/b.c", false},
      {"/p/*", "/p/.h", false},
      {"/p/[a].c", "/p/[a].c", true},
      {"/p/[a].c", "/p/a.c", false},
      {"/p/a?c", "/p/a/c", false},
  };
  for (const auto& [pattern, path, expected] : cases) {
    EXPECT_EQ(MatchesPathPattern(pattern, path), expected) << pattern << " ~ " << path;
  }
}

TEST(PatternProblem, NamesEmptyComponentsAndGluedAnyDepth) {
  for (const char* good : {"/abs/**/*.c", "src/*.c", "**", "a/**/b/**"}) {
    EXPECT_EQ(PatternProblem(good), "") << good;
  }
  for (const char* bad : {"src//*.c", "src/*/", "src/**.c", "***", "a/x**/b"}) {
    EXPECT_NE(PatternProblem(bad), "") << bad;
  }
  EXPECT_TRUE(IsPathPattern("a/*.c"));
  EXPECT_TRUE(IsPathPattern("a?.c"));
  EXPECT_FALSE(IsPathPattern("a/[1].c"));
}

}  // namespace
}  // namespace quillmap
