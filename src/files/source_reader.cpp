#include "files/source_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quillmap {

SourceReader::~SourceReader() { Close(); }

bool SourceReader::Open(const std::string& path) {
  Close();
  if (!file_.Open(path)) return false;
  struct stat status {};
  if (fstat(file_.fd(), &status) != 0 || S_ISDIR(status.st_mode)) {
    Close();
    return false;
  }
  position_ = length_ = 0;
  atEnd_ = false;
  failed_ = false;
  return true;
}

void SourceReader::Close() {
  file_.Close();
  position_ = length_ = 0;
  atEnd_ = true;
}

bool SourceReader::Refill() {
  if (atEnd_ || file_.fd() < 0) return false;
  const ssize_t got = file_.Read(buffer_, sizeof buffer_);
  if (got <= 0) {
    failed_ = got < 0;
    atEnd_ = true;
    return false;
  }
  position_ = 0;
  length_ = static_cast<size_t>(got);
  return true;
}

int SourceReader::NextByte() {
  if (position_ == length_ && !Refill()) return -1;
  const unsigned char c = static_cast<unsigned char>(buffer_[position_++]);
  if (c != '\r') return c;
  // A CR followed by LF reads as one LF; a lone CR stays.
  if (position_ == length_ && !Refill()) return '\r';
  if (buffer_[position_] == '\n') {
    ++position_;
    return '\n';
  }
  return '\r';
}

bool SourceReader::ReadPiece(std::string& piece) {
  piece.clear();
  while (piece.size() < kMaxLinePiece) {
    const int c = NextByte();
    if (c < 0) break;
    piece += static_cast<char>(c);
    if (c == '\n') break;
  }
  return !piece.empty();
}

}  // namespace quillmap
