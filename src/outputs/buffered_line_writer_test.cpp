#include "outputs/buffered_line_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <random>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::TempDir;

// Counts the opens, and can make the writes of one output fail.
class CountingWriter : public BufferedLineWriter {
 public:
  explicit CountingWriter(size_t flushSize = kDefaultFlushSize) : BufferedLineWriter(flushSize) {}
  int opens = 0;
  std::string failingWrites;  // writes to the output of this name fail

 protected:
  int OpenFile(const OutputTarget& target, bool truncate) override {
    const std::string& path = target.writePath;
    ++opens;
    const int fd = BufferedLineWriter::OpenFile(target, truncate);
    // The file opened is the output's temporary file, named after it.
    if (!failingWrites.empty() && path.find(failingWrites) != std::string::npos) failingFd_ = fd;
    return fd;
  }
  bool WriteBytes(int fd, std::string_view bytes) override {
    if (fd == failingFd_) return false;
    return BufferedLineWriter::WriteBytes(fd, bytes);
  }

 private:
  int failingFd_ = -1;
};

TEST(BufferedLineWriter, OpensEachOutputOncePerRunWhateverItsLineCount) {
  TempDir dir;
  CountingWriter writer(64);  // small blocks: many flushes, still one open
  for (int run = 0; run < 2; ++run) {
    writer.BeginRun();
    writer.WriteLine(dir / "a.log", "first", true);
    writer.WriteLine(dir / "b.csv", "first", true);
    for (int i = 0; i < 1000; ++i) {
      writer.WriteLine(dir / "a.log", "line " + std::to_string(i), false);
      writer.WriteOnDiskLines(dir / "b.csv", "row\r\n");
    }
    writer.EndRun();
  }
  EXPECT_EQ(writer.opens, 4);  // each output once in each of the two runs
  EXPECT_EQ(testing::CrLfLines(ReadFile(dir / "a.log")).size(), 1001u);
  EXPECT_EQ(testing::CrLfLines(ReadFile(dir / "b.csv")).size(), 1001u);
}

// One random run of lines to outputs that share files under several spellings (and a link),
// with truncating lines in the middle, written by both writers into two copies of a folder.
struct RandomRun {
  struct Line {
    int output;
    std::string text;
    bool truncate;
    bool onDisk = false;  // a block of lines in their on-disk form
  };
  std::vector<Line> lines;
};

const char* const kOutputSpellings[] = {"x.dot", "./x.dot",  "sub/../x.dot", "sub//y.csv",
                                        "y.csv", "link.txt", "z.log"};

RandomRun MakeRandomRun(std::mt19937& random) {
  RandomRun run;
  const int count = static_cast<int>(random() % 300);
  std::vector<bool> used(std::size(kOutputSpellings));
  for (int i = 0; i < count; ++i) {
    RandomRun::Line line;
    line.output = static_cast<int>(random() % std::size(kOutputSpellings));
    // The first line of an output mostly truncates, as in a scan run; later ones seldom do.
    line.truncate = random() % (used[line.output] ? 17 : 2) == 0;
    used[line.output] = true;
    const int length =
        random() % 10 == 0 ? static_cast<int>(random() % 3000) : static_cast<int>(random() % 20);
    for (int k = 0; k < length; ++k) {
      const char pool[] = "ab \n\r;{}";
      line.text += pool[random() % (sizeof pool - 1)];
    }
    if (!line.truncate && random() % 5 == 0) {
      // Whole lines in their on-disk form: no line feed but the one of each CR LF.
      line.onDisk = true;
      for (char& c : line.text) {
        if (c == '\n') c = 'n';
      }
      line.text = OnDiskLine(line.text) + OnDiskLine("") + OnDiskLine("second line\r");
    }
    run.lines.push_back(std::move(line));
  }
  return run;
}

std::map<std::string, std::string> WriteRandomRun(LineWriter& writer, const RandomRun& run,
                                                  StringList& failed) {
  TempDir dir;
  mkdir((dir / "sub").c_str(), 0700);
  // "link.txt" is a second name of "y.csv"; "x.dot" starts with old contents.
  dir.Write("x.dot", "old\n");
  symlink((dir / "y.csv").c_str(), (dir / "link.txt").c_str());
  writer.BeginRun();
  for (const RandomRun::Line& line : run.lines) {
    if (line.onDisk) {
      writer.WriteOnDiskLines(dir / kOutputSpellings[line.output], line.text);
    } else {
      writer.WriteLine(dir / kOutputSpellings[line.output], line.text, line.truncate);
    }
  }
  writer.EndRun();
  failed = writer.FailedPaths();
  for (std::string& path : failed) path = path.substr(dir.path().size());
  std::map<std::string, std::string> files;
  for (const char* name : {"x.dot", "y.csv", "z.log"}) files[name] = ReadFile(dir / name);
  return files;
}

TEST(BufferedLineWriter, OutputsUnderManySpellingsAndLinksEndAsWithTheReferenceWriter) {
  std::mt19937 random(20240607);
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const RandomRun run = MakeRandomRun(random);
    PerLineWriter reference;
    BufferedLineWriter buffered(round % 2 ? 16 : BufferedLineWriter::kDefaultFlushSize);
    StringList referenceFailed, bufferedFailed;
    EXPECT_EQ(WriteRandomRun(buffered, run, bufferedFailed),
              WriteRandomRun(reference, run, referenceFailed));
    EXPECT_EQ(bufferedFailed, referenceFailed);
  }
}

TEST(OnDiskLine, EveryLineFeedBecomesCrLf) {
  std::mt19937 random(8);
  for (int round = 0; round < 200; ++round) {
    std::string text(random() % 300, 'x');
    for (char& c : text) c = "ab\n\r"[random() % 4];
    std::string expected;
    for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(OnDiskLine(text), expected + "\r\n");
  }
}

TEST(BufferedLineWriter, ABlockLargerThanTheBufferGoesAfterTheLinesHeldBack) {
  TempDir dir;
  BufferedLineWriter writer(64);
  writer.BeginRun();
  writer.WriteLine(dir / "a.log", "first", true);
  const std::string block = OnDiskLine(std::string(100, 'b')) + OnDiskLine("c");
  EXPECT_TRUE(writer.WriteOnDiskLines(dir / "a.log", block));
  writer.WriteLine(dir / "a.log", "last", false);
  writer.EndRun();
  EXPECT_EQ(ReadFile(dir / "a.log"), "first\r\n" + block + "last\r\n");
}

TEST(BufferedLineWriter, ReportsFailuresInTheOrderOfTheLineThatFirstFailed) {
  TempDir dir;
  mkdir((dir / "folder").c_str(), 0700);
  const std::string missing = dir / "missing/out.dot";
  // /dev/full opens, but its first line can only fail when the held-back block is written.
  const auto writeRun = [&](LineWriter& writer) {
    writer.BeginRun();
    writer.WriteLine(dir / "good.txt", "a", true);
    writer.WriteLine("/dev/full", "a", true);
    writer.WriteLine(missing, "a", true);
    writer.WriteLine("/dev/full", "b", false);
    writer.WriteLine(dir / "folder", "a", true);
    writer.WriteLine(missing, "b", false);
    writer.WriteLine(dir / "good.txt", "b", false);
    writer.EndRun();
    return writer.FailedPaths();
  };
  PerLineWriter reference;
  BufferedLineWriter buffered;
  const StringList expected{"/dev/full", missing, dir / "folder"};
  EXPECT_EQ(writeRun(reference), expected);
  EXPECT_EQ(writeRun(buffered), expected);
  EXPECT_EQ(ReadFile(dir / "good.txt"), "a\r\nb\r\n");
  EXPECT_FALSE(FileExists(missing));
}

TEST(BufferedLineWriter, AFailedBlockFailsAtItsFirstLineAndLaterLinesFailToo) {
  TempDir dir;
  CountingWriter writer(8);
  writer.failingWrites = "bad.log";
  writer.BeginRun();
  writer.WriteLine(dir / "bad.log", "first", true);
  writer.WriteLine(dir / "ok.csv", "row", true);  // a later line of another file
  EXPECT_TRUE(writer.WriteLine(dir / "bad.log", "second line fills the block", false));
  EXPECT_FALSE(writer.WriteLine(dir / "bad.log", "third", false));
  writer.EndRun();
  // bad.log failed at line 1, before ok.csv's line 2 was written.
  EXPECT_EQ(writer.FailedPaths(), (StringList{dir / "bad.log"}));
  EXPECT_EQ(ReadFile(dir / "ok.csv"), "row\r\n");
}

TEST(BufferedLineWriter, DevicesSharedByOutputsDoNotFailOnTheirSecondTruncation) {
  BufferedLineWriter writer;
  writer.BeginRun();
  writer.WriteLine("/dev/null", "a", true);
  writer.WriteLine("/dev/null", "b", true);
  writer.WriteLine("/dev/null", "c", false);
  writer.EndRun();
  EXPECT_TRUE(writer.FailedPaths().empty());
}

// Protected files: the configuration and the sources of a run.

TEST(LineWriterProtect, AProtectedFileIsNotWrittenAndFailsUnderEverySpelling) {
  TempDir dir;
  const std::string cfg = dir.Write("scan.cfg", "[files]\n");
  const std::string source = dir.Write("src/a.c", "int a;\n");
  link(source.c_str(), (dir / "hard.c").c_str());
  symlink(cfg.c_str(), (dir / "soft.cfg").c_str());
  for (int engine = 0; engine < 2; ++engine) {
    std::unique_ptr<LineWriter> writer;
    if (engine == 0)
      writer = std::make_unique<PerLineWriter>();
    else
      writer = std::make_unique<BufferedLineWriter>();
    writer->BeginRun();
    writer->Protect({cfg, source, dir / "not/yet/there.c"});
    EXPECT_FALSE(writer->WriteLine(dir / "src/../scan.cfg", "x", true));
    EXPECT_FALSE(writer->WriteLine(dir / "soft.cfg", "x", true));
    EXPECT_FALSE(writer->WriteLine(dir / "hard.c", "x", true));
    EXPECT_FALSE(writer->WriteLine(dir / "not/yet/../yet/there.c", "x", true));
    EXPECT_TRUE(writer->WriteLine(dir / "out.dot", "x", true));
    writer->EndRun();
    EXPECT_EQ(writer->FailedPaths(), (StringList{dir / "src/../scan.cfg", dir / "soft.cfg",
                                                 dir / "hard.c", dir / "not/yet/../yet/there.c"}));
    EXPECT_EQ(ReadFile(cfg), "[files]\n");
    EXPECT_EQ(ReadFile(source), "int a;\n");
    // The next run protects nothing it was not told to.
    writer->BeginRun();
    EXPECT_TRUE(writer->WriteLine(dir / "other.txt", "x", true));
    writer->EndRun();
    EXPECT_TRUE(writer->FailedPaths().empty());
  }
}

}  // namespace
}  // namespace quillmap
