#include "outputs/line_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::ReadFile;
using testing::TempDir;

TEST(PerLineWriter, TruncatesOnTheFirstLineAndAppendsLater) {
  TempDir dir;
  const std::string out = dir.Write("out.dot", "old contents that must go\n");
  PerLineWriter writer;
  EXPECT_TRUE(writer.WriteLine(out, "digraph G", true));
  EXPECT_EQ(ReadFile(out), "digraph G\r\n");
  EXPECT_TRUE(writer.WriteLine(out, "{", false));
  EXPECT_TRUE(writer.WriteLine(out, "", false));
  EXPECT_EQ(ReadFile(out), "digraph G\r\n{\r\n\r\n");
  EXPECT_TRUE(writer.FailedPaths().empty());
}

TEST(PerLineWriter, WritesLineFeedsInsideTheTextAsCrLfAndKeepsOtherBytes) {
  TempDir dir;
  const std::string out = dir / "new.txt";
  PerLineWriter writer;
  EXPECT_TRUE(writer.WriteLine(out, std::string("a\nb\rc\0d", 7), false));
  EXPECT_EQ(ReadFile(out), std::string("a\r\nb\rc\0d\r\n", 10));
  const std::string longLine(5000, 'x');
  EXPECT_TRUE(writer.WriteLine(out, longLine, true));
  EXPECT_EQ(ReadFile(out), longLine + "\r\n");
}

TEST(PerLineWriter, AnEmptyPathIsOutputOffNotAFailure) {
  PerLineWriter writer;
  EXPECT_FALSE(writer.WriteLine("", "x", true));
  EXPECT_TRUE(writer.FailedPaths().empty());
}

TEST(PerLineWriter, RecordsEachFailingPathOnceInOrderOfFirstFailure) {
  TempDir dir;
  PerLineWriter writer;
  const std::string missingFolder = dir / "missing/out.dot";
  EXPECT_FALSE(writer.WriteLine(missingFolder, "a", true));
  EXPECT_FALSE(writer.WriteLine("/dev/full", "a", true));
  EXPECT_FALSE(writer.WriteLine(missingFolder, "b", false));
  EXPECT_FALSE(writer.WriteLine(dir.path(), "a folder", false));
  EXPECT_FALSE(testing::FileExists(missingFolder));
  EXPECT_EQ(writer.FailedPaths(), (StringList{missingFolder, "/dev/full", dir.path()}));
  writer.BeginRun();
  EXPECT_TRUE(writer.FailedPaths().empty());
}

TEST(PerLineWriter, ReportsAReadOnlyFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into read-only folders";
  TempDir dir;
  chmod(dir.path().c_str(), 0500);
  PerLineWriter writer;
  EXPECT_FALSE(writer.WriteLine(dir / "out.csv", "x", true));
  chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(writer.FailedPaths().size(), 1u);
}

}  // namespace
}  // namespace quillmap
