#include "files/source_reader.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

std::vector<std::string> Pieces(const std::string& contents) {
  TempDir dir;
  const std::string path = dir.Write("a.c", contents);
  SourceReader reader;
  EXPECT_TRUE(reader.Open(path));
  std::vector<std::string> pieces;
  std::string piece;
  while (reader.ReadPiece(piece)) pieces.push_back(piece);
  return pieces;
}

TEST(SourceReader, ReadsCrLfAsOneLineEndAndKeepsLoneCarriageReturns) {
  EXPECT_EQ(Pieces("a\r\nb\rc\n\r\n\rd"),
            (std::vector<std::string>{"a\n", "b\rc\n", "\n", "\rd"}));
  EXPECT_EQ(Pieces("no final line end"), (std::vector<std::string>{"no final line end"}));
  EXPECT_EQ(Pieces("ends in cr\r"), (std::vector<std::string>{"ends in cr\r"}));
  EXPECT_TRUE(Pieces("").empty());
}

TEST(SourceReader, KeepsNulAndEveryOtherByte) {
  const std::string binary("\0x\xff\x1a\n\0", 6);
  EXPECT_EQ(Pieces(binary),
            (std::vector<std::string>{std::string("\0x\xff\x1a\n", 5), std::string(1, '\0')}));
}

TEST(SourceReader, CutsLongLinesIntoPiecesOf2047Bytes) {
  const std::string line(5000, 'x');
  const auto pieces = Pieces(line + "\r\nnext\n");
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_EQ(pieces[0], std::string(2047, 'x'));
  EXPECT_EQ(pieces[1], std::string(2047, 'x'));
  EXPECT_EQ(pieces[2], std::string(906, 'x') + "\n");
  EXPECT_EQ(pieces[3], "next\n");
  // A line end right after the 2047th byte becomes a piece of its own.
  EXPECT_EQ(Pieces(std::string(2047, 'y') + "\n").size(), 2u);
}

TEST(SourceReader, JoinsCrLfAcrossItsReadBlocks) {
  // The CR is the last byte of the first 64 KiB block, the LF the first of the next.
  std::string contents(65535, 'z');
  contents += "\r\nend";
  const auto pieces = Pieces(contents);
  ASSERT_FALSE(pieces.empty());
  EXPECT_EQ(pieces[pieces.size() - 2].back(), '\n');
  EXPECT_EQ(pieces.back(), "end");
  size_t total = 0;
  for (const auto& piece : pieces) total += piece.size();
  EXPECT_EQ(total, 65535u + 1 + 3);
}

// A file that opens but whose reading fails (here the process's own memory file, which gives an
// I/O error at offset 0) ends like an end of file, and says so.
TEST(SourceReader, TellsAReadErrorFromTheEndOfTheFile) {
  SourceReader reader;
  ASSERT_TRUE(reader.Open("/proc/self/mem"));
  std::string piece;
  EXPECT_FALSE(reader.ReadPiece(piece));
  EXPECT_TRUE(reader.failed());
  TempDir dir;
  ASSERT_TRUE(reader.Open(dir.Write("a.c", "x\n")));
  EXPECT_FALSE(reader.failed());
  while (reader.ReadPiece(piece)) {
  }
  EXPECT_FALSE(reader.failed());
}

TEST(SourceReader, RefusesFoldersAndMissingFiles) {
  TempDir dir;
  SourceReader reader;
  EXPECT_FALSE(reader.Open(dir.path()));
  EXPECT_FALSE(reader.Open(dir / "missing.c"));
  std::string piece;
  EXPECT_FALSE(reader.ReadPiece(piece));
}

}  // namespace
}  // namespace quillmap
