#include "outputs/line_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "outputs/buffered_line_writer.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::TempDir;

// The names in a folder, hidden ones (temporary files) included.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

// Both writers share how outputs are replaced: every case runs with each.
class EveryLineWriter : public ::testing::TestWithParam<bool> {
 protected:
  std::unique_ptr<LineWriter> MakeWriter() const {
    if (GetParam()) return std::make_unique<BufferedLineWriter>();
    return std::make_unique<PerLineWriter>();
  }
};

TEST_P(EveryLineWriter, TheOldFileStaysUntilTheRunEndsThenTheWholeNewOneReplacesIt) {
  TempDir dir;
  const std::string out = dir.Write("out.dot", "old contents that must go\n");
  chmod(out.c_str(), 0640);
  const auto writer = MakeWriter();
  writer->BeginRun();
  EXPECT_TRUE(writer->WriteLine(out, "digraph G", true));
  EXPECT_TRUE(writer->WriteLine(out, std::string("a\nb\rc\0d", 7), false));
  EXPECT_TRUE(writer->WriteLine(out, "", false));
  EXPECT_EQ(ReadFile(out), "old contents that must go\n");
  writer->EndRun();
  const char expected[] = "digraph G\r\na\r\nb\rc\0d\r\n\r\n";
  EXPECT_EQ(ReadFile(out), std::string(expected, sizeof expected - 1));
  EXPECT_EQ(ModeOf(out), 0640u);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"out.dot"});
  EXPECT_TRUE(writer->FailedPaths().empty());
}

TEST_P(EveryLineWriter, AFirstLineWithoutTruncationKeepsTheOldLinesAndANewFileFollowsTheUmask) {
  TempDir dir;
  const std::string log = dir.Write("a.log", "old\r\n");
  const mode_t mask = umask(022);
  const auto writer = MakeWriter();
  writer->BeginRun();
  writer->WriteLine(log, "new", false);
  writer->WriteLine(dir / "fresh.csv", "row", true);
  writer->EndRun();
  umask(mask);
  EXPECT_EQ(ReadFile(log), "old\r\nnew\r\n");
  EXPECT_EQ(ModeOf(dir / "fresh.csv"), 0644u);
}

TEST_P(EveryLineWriter, ALinkIsFollowedAndItsTargetReplaced) {
  TempDir dir;
  mkdir((dir / "real").c_str(), 0700);
  const std::string target = dir.Write("real/out.csv", "old\n");
  symlink("real/out.csv", (dir / "link.csv").c_str());
  symlink((dir / "real/new.csv").c_str(), (dir / "dangling.csv").c_str());
  const auto writer = MakeWriter();
  writer->BeginRun();
  writer->WriteLine(dir / "link.csv", "through the link", true);
  writer->WriteLine(dir / "dangling.csv", "made at the target", true);
  writer->EndRun();
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.csv"));
  EXPECT_EQ(ReadFile(target), "through the link\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.csv"));
  EXPECT_EQ(ReadFile(dir / "real/new.csv"), "made at the target\r\n");
}

TEST_P(EveryLineWriter, OutputsThatCannotBeWrittenAreRefusedAndTheOldFilesStay) {
  TempDir dir;
  const std::string first = dir.Write("first.dot", "old first\n");
  const std::string twice = dir.Write("twice.txt", "old twice\n");
  const std::string fifo = dir / "unread.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string withNul = std::string(dir / "cut") + '\0' + "rest";
  const auto writer = MakeWriter();
  writer->BeginRun();
  EXPECT_TRUE(writer->WriteLine(first, "first output", true));
  // The same file under another name: the first output keeps it.
  EXPECT_FALSE(writer->WriteLine(dir / "./first.dot", "second output", true));
  // One name given to two outputs, written one after the other: the first keeps the file.
  EXPECT_TRUE(writer->WriteLine(twice, "output 1", true));
  EXPECT_FALSE(writer->WriteLine(twice, "output 2", true));
  EXPECT_FALSE(writer->WriteLine(twice, "output 2, line 2", false));
  // Refused at once, without waiting for a reader.
  EXPECT_FALSE(writer->WriteLine(fifo, "nobody reads", true));
  EXPECT_FALSE(writer->WriteLine(withNul, "x", true));
  EXPECT_TRUE(writer->WriteLine(first, "first output, line 2", false));
  writer->EndRun();
  EXPECT_EQ(writer->FailedPaths(), (StringList{dir / "./first.dot", twice, fifo, withNul}));
  EXPECT_EQ(ReadFile(first), "first output\r\nfirst output, line 2\r\n");
  EXPECT_EQ(ReadFile(twice), "output 1\r\n");
  EXPECT_FALSE(FileExists(dir / "cut"));
  EXPECT_EQ(FolderNames(dir.path()),
            (std::vector<std::string>{"first.dot", "twice.txt", "unread.fifo"}));
}

TEST_P(EveryLineWriter, AnAbandonedOrUnfinishedRunReplacesNothingAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string out = dir.Write("out.dot", "old\n");
  {
    const auto writer = MakeWriter();
    writer->BeginRun();
    writer->WriteLine(out, "cut", true);
    writer->AbandonRun();
    writer->WriteLine(out, "cut again", true);
    writer->BeginRun();  // a run that never ended
    writer->WriteLine(dir / "new.txt", "left", true);
  }
  EXPECT_EQ(ReadFile(out), "old\n");
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"out.dot"});
}

TEST_P(EveryLineWriter, TemporaryFilesOfRunsThatDiedAreRemovedOthersKept) {
  TempDir dir;
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string stale = ".out.dot.quillmap-" + std::to_string(dead) + "-abcdef";
  const std::string live = ".out.dot.quillmap-" + std::to_string(getppid()) + "-abcdef";
  dir.Write(stale, "killed run\n");
  dir.Write(live, "running run\n");
  const auto writer = MakeWriter();
  writer->BeginRun();
  writer->WriteLine(dir / "out.dot", "x", true);
  writer->EndRun();
  EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::string>{live, "out.dot"}));
}

TEST_P(EveryLineWriter, RecordsEachFailingPathOnceInOrderOfFirstFailure) {
  TempDir dir;
  const auto writer = MakeWriter();
  const std::string missingFolder = dir / "missing/out.dot";
  writer->BeginRun();
  EXPECT_FALSE(writer->WriteLine(missingFolder, "a", true));
  writer->WriteLine("/dev/full", "a", true);
  EXPECT_FALSE(writer->WriteLine(missingFolder, "b", false));
  EXPECT_FALSE(writer->WriteLine(dir.path(), "a folder", false));
  EXPECT_FALSE(writer->WriteLine("", "output off", true));
  writer->EndRun();
  EXPECT_FALSE(FileExists(missingFolder));
  EXPECT_EQ(writer->FailedPaths(), (StringList{missingFolder, "/dev/full", dir.path()}));
  writer->BeginRun();
  EXPECT_TRUE(writer->FailedPaths().empty());
}

INSTANTIATE_TEST_SUITE_P(PerLineAndBuffered, EveryLineWriter, ::testing::Values(false, true),
                         [](const auto& info) {
                           return std::string(info.param ? "Buffered" : "PerLine");
                         });

TEST(PerLineWriter, ReportsAReadOnlyFolderAndAReadOnlyFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write into read-only folders and files";
  TempDir dir;
  const std::string readOnly = dir.Write("kept.csv", "old\n");
  chmod(readOnly.c_str(), 0444);
  mkdir((dir / "ro").c_str(), 0500);
  PerLineWriter writer;
  writer.BeginRun();
  EXPECT_FALSE(writer.WriteLine(dir / "ro/out.csv", "x", true));
  EXPECT_FALSE(writer.WriteLine(readOnly, "x", true));
  writer.EndRun();
  chmod((dir / "ro").c_str(), 0700);
  EXPECT_EQ(writer.FailedPaths().size(), 2u);
  EXPECT_EQ(ReadFile(readOnly), "old\n");
}

}  // namespace
}  // namespace quillmap
