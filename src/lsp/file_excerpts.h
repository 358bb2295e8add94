/// Parts of source files read from disk: a call hierarchy answer reads the functions it shows,
/// file by file, so the file read last is kept open for the next part.
#pragma once

#include <cstdint>
#include <string>

namespace quillmap::lsp {

class FileExcerpts {
 public:
  FileExcerpts() = default;
  ~FileExcerpts();
  FileExcerpts(const FileExcerpts&) = delete;
  FileExcerpts& operator=(const FileExcerpts&) = delete;

  /// The bytes [begin, end) of the file at `path` into `bytes`: fewer where the file ends
  /// first, up to its end for an `end` of UINT32_MAX. False when the file cannot be read.
  bool Read(const std::string& path, uint32_t begin, uint32_t end, std::string& bytes);
  /// Lets go of the open file (it may be replaced on disk before the next read).
  void Close();

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace quillmap::lsp
