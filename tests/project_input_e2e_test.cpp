// End-to-end tests of whole-project input: patterns, exclusions and problems in the source lists
// of a real run, and "-init" followed by a run of what it wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "config/source_lists.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::ReadFile;
using testing::RunQuillmap;
using testing::TempDir;

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::set<std::string> FilesUnder(const std::string& folder) {
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.insert(entry.path().string().substr(folder.size()));
  }
  return files;
}

TEST(ProjectInput, PatternsFeedBothGraphsAndEachProblemIsReportedOnce) {
  TempDir dir;
  // Awkward names: a blank, a newline, a byte that is not UTF-8, a double quote.
  for (const std::string name : {"app/main.c", "app/with blank.c", "app/new\nline.c", "lib/l\xff.c",
                                 "lib/q\"uote.c", "lib/test/skip.c"}) {
    dir.Write(name, "void f(void)\n{\n  g();\n}\n");
  }
  dir.Write("out/.keep", "");
  dir.Write(
      "scan.cfg",
      "[files]\ndot=out/calls.dot\ncsv=out/calls.csv\nfile0=**/*.c\nfile1=none/*.c\n"
      "exclude0=**/test/**\n[calls]\n0=f\n1=g\n"
      "[modules]\ndot=out/modules.dot\nlog=out/modules.log\n"
      "mod_0=app\nmod_0_file_0=app/*.c\nmod_0_file_1=none/*.c\nmod_1=lib\nmod_1_file_0=lib/**\n");
  const std::set<std::string> before = FilesUnder(dir.path());
  const testing::ProgramResult result = RunQuillmap({"-cfg", "scan.cfg"}, dir.path());

  EXPECT_EQ(result.status, 1) << result.out << result.err;
  EXPECT_EQ(Count(result.out, kNoFileMatches + dir / "none/*.c" + "\n"), 1u) << result.out;
  EXPECT_EQ(Count(result.out, "IN["), 5u) << result.out;  // the test folder left out
  EXPECT_EQ(result.out.find("skip.c"), std::string::npos);
  EXPECT_NE(result.out.find("fcts"), std::string::npos);  // the run went on to its summary
  const std::string moduleLog = ReadFile(dir / "out/modules.log");
  EXPECT_NE(moduleLog.find("l\xff.c"), std::string::npos);
  EXPECT_EQ(moduleLog.find("skip.c"), std::string::npos);

  std::set<std::string> written = FilesUnder(dir.path());
  for (const std::string& file : before) written.erase(file);
  EXPECT_EQ(written, (std::set<std::string>{"out/calls.csv", "out/calls.dot", "out/modules.dot",
                                            "out/modules.log"}));
  testing::ExpectGraphvizAccepts(dir / "out/calls.dot");
  testing::ExpectGraphvizAccepts(dir / "out/modules.dot");
}

TEST(ProjectInput, InitWritesAConfigurationThatRunsAndNeverOverwritesIt) {
  TempDir dir;
  dir.Write("app/main.c", "int main(void)\n{\n  Lib_Init();\n}\n");
  dir.Write("lib/sub/lib.c", "void Lib_Init(void)\n{\n}\n");

  const testing::ProgramResult init = RunQuillmap({"-init", "."}, dir.path());
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("-cfg ./quillmap.cfg"), std::string::npos) << init.out;
  const std::string written = ReadFile(dir / "quillmap.cfg");

  const testing::ProgramResult run = RunQuillmap({"-cfg", "quillmap.cfg"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(Count(run.out, "IN["), 2u) << run.out;
  EXPECT_NE(ReadFile(dir / "quillmap_modules.dot").find("app_main -> lib_Lib_Init"),
            std::string::npos);
  testing::ExpectGraphvizAccepts(dir / "quillmap.dot");
  testing::ExpectGraphvizAccepts(dir / "quillmap_modules.dot");

  const testing::ProgramResult again = RunQuillmap({"-init", dir.path()}, dir.path());
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("quillmap.cfg exists already"), std::string::npos) << again.err;
  EXPECT_EQ(ReadFile(dir / "quillmap.cfg"), written);
  EXPECT_EQ(RunQuillmap({"-init", "missing"}, dir.path()).status, 2);
}

}  // namespace
}  // namespace quillmap
