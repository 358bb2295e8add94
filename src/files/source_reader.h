/// Reads a source file line by line as a text-mode stream: CR LF becomes LF, every other byte
/// is kept, and a line longer than the line buffer arrives in several pieces.
#pragma once

#include <cstdio>
#include <string>

#include "files/source_file.h"

namespace quillmap {

/// Longest piece one read returns (the line buffer holds this many bytes and a terminator).
inline constexpr size_t kMaxLinePiece = 2047;

class SourceReader {
 public:
  SourceReader() = default;
  ~SourceReader();
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  /// Opens a file for reading (see SourceFile). False when it cannot be opened or is a folder.
  bool Open(const std::string& path);
  /// Reads the next piece: up to and including the next line feed, at most kMaxLinePiece bytes.
  /// False at the end of the file (or on a read error, which ends the file).
  bool ReadPiece(std::string& piece);
  void Close();
  /// True when reading the open file failed (an I/O error, not its end): the pieces read stop
  /// short of the file's contents.
  bool failed() const { return failed_; }

 private:
  // Next byte of the translated stream, or -1 at the end.
  int NextByte();
  bool Refill();

  SourceFile file_;
  char buffer_[1 << 16];
  size_t position_ = 0;
  size_t length_ = 0;
  bool atEnd_ = false;
  bool failed_ = false;
};

}  // namespace quillmap
