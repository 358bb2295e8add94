#include "files/source_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <thread>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

std::vector<std::string> PiecesOf(std::string_view text) {
  std::vector<std::string> pieces;
  for (size_t start = 0; start < text.size();) {
    const size_t end = PieceEnd(text, start);
    pieces.emplace_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

std::vector<std::string> ReaderPieces(const std::string& path) {
  SourceReader reader;
  EXPECT_TRUE(reader.Open(path));
  std::vector<std::string> pieces;
  std::string piece;
  while (reader.ReadPiece(piece)) pieces.push_back(piece);
  return pieces;
}

TEST(SourceText, CutsThePiecesOfTheLineReaderOnRandomFiles) {
  TempDir dir;
  std::mt19937 random(77);
  SourceText source;  // one object for all files: its buffer is reused
  TextArena arena;
  std::vector<std::unique_ptr<SourceText>> kept;
  std::vector<std::string> keptContents;
  for (int round = 0; round < 200; ++round) {
    // Short and long lines, CR LF, lone CR and NUL; some files end in a CR, some cross the
    // line reader's 64 KiB read blocks with a CR LF split across two of them.
    std::string contents;
    const size_t size = round % 10 == 0 ? 65536 + random() % 4 - 2 : random() % 9000;
    while (contents.size() < size) {
      switch (random() % 8) {
        case 0:
          contents += "\r\n";
          break;
        case 1:
          contents += '\r';
          break;
        case 2:
          contents += '\n';
          break;
        case 3:
          contents += '\0';
          break;
        case 4:
          contents.append(random() % 2500, 'x');
          break;
        default:
          contents += "int f(void) {";
          break;
      }
    }
    contents.resize(size);
    if (round % 10 == 0) contents[65535] = '\r';
    if (round % 7 == 0 && !contents.empty()) contents.back() = '\r';
    const std::string path = dir.Write("a.c", contents);
    ASSERT_TRUE(source.Load(path));
    EXPECT_FALSE(source.failed());
    ASSERT_EQ(PiecesOf(source.text()), ReaderPieces(path)) << "round " << round;
    // A text of its own, in memory of its size from an arena.
    kept.push_back(std::make_unique<SourceText>(arena));
    ASSERT_TRUE(kept.back()->Load(path));
    EXPECT_EQ(kept.back()->text(), source.text());
    keptContents.push_back(std::string(source.text()));
  }
  for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i]->text(), keptContents[i]);
}

TEST(SourceText, TextsFromAnArenaKeepTheirContents) {
  TempDir dir;
  TextArena arena;
  std::vector<std::unique_ptr<SourceText>> texts;
  for (int i = 0; i < 50; ++i) {
    texts.push_back(std::make_unique<SourceText>(arena));
    ASSERT_TRUE(texts.back()->Load(dir.Write("f.c", std::string(1000 * i, 'a' + i % 26))));
  }
  for (int i = 0; i < 50; ++i) EXPECT_EQ(texts[i]->text(), std::string(1000 * i, 'a' + i % 26));
}

TEST(SourceText, ForEachPieceCutsAsPieceEndDoes) {
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    // Lines of every length around the 64-byte blocks and the 2047-byte pieces.
    std::string text;
    const int lines = static_cast<int>(random() % 12);
    for (int l = 0; l < lines; ++l) {
      const size_t length = random() % 3 == 0 ? 2040 + random() % 4200 : random() % 130;
      text.append(length, static_cast<char>('a' + l));
      if (random() % 5 != 0) text += '\n';
    }
    std::vector<std::string> pieces;
    ForEachPiece(
        text, [&](size_t start, size_t end) { pieces.push_back(text.substr(start, end - start)); });
    ASSERT_EQ(pieces, PiecesOf(text)) << "round " << round;
  }
}

TEST(SourceText, ReadsWhatAPipeDeliversUntilItCloses) {
  TempDir dir;
  const std::string fifo = dir / "a.c";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string contents = std::string(200000, 'y') + "\r\nend\r";
  for (int arena = 0; arena < 2; ++arena) {
    std::thread writer([&] { testing::WriteFile(fifo, contents); });
    TextArena memory;
    std::unique_ptr<SourceText> source =
        arena ? std::make_unique<SourceText>(memory) : std::make_unique<SourceText>();
    ASSERT_TRUE(source->Load(fifo));
    writer.join();
    EXPECT_EQ(source->text(), std::string(200000, 'y') + "\nend\r");
  }
}

TEST(SourceText, RefusesFoldersAndMissingFilesAndTellsReadErrors) {
  TempDir dir;
  SourceText source;
  EXPECT_FALSE(source.Load(dir.path()));
  EXPECT_FALSE(source.Load(dir / "missing.c"));
  // The process's own memory file opens, but reading it at offset 0 fails.
  ASSERT_TRUE(source.Load("/proc/self/mem"));
  EXPECT_TRUE(source.failed());
  EXPECT_TRUE(source.text().empty());
  ASSERT_TRUE(source.Load(dir.Write("b.c", "ok\n")));
  EXPECT_FALSE(source.failed());
  EXPECT_EQ(source.text(), "ok\n");
}

}  // namespace
}  // namespace quillmap
