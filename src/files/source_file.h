/// A source file opened for reading whatever it is: a regular file is read as it stands; a pipe,
/// a FIFO or a device is read as a bounded stream, so that no source (/dev/zero, a FIFO that
/// nobody writes) makes a run wait or grow without end.
#pragma once

#include <sys/types.h>

#include <streambuf>
#include <string>

namespace quillmap {

/// Most bytes read from a source that is not a regular file: a longer one fails to read.
inline constexpr size_t kMaxStreamedSourceBytes = size_t{64} << 20;
/// Longest wait for the next bytes of a stream (a FIFO's first writer included), in ms.
inline constexpr int kStreamWaitMilliseconds = 3000;

class SourceFile {
 public:
  SourceFile() = default;
  ~SourceFile() { Close(); }
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  /// Opens `path` without waiting for a FIFO's writer. False when it cannot be opened or the
  /// path is not to be used (IsUnusablePath).
  bool Open(const std::string& path);
  /// Reads up to `size` bytes: the number read, 0 at the end, -1 on failure (errno set: EISDIR
  /// for a folder, ETIMEDOUT for a stream that stayed silent, EFBIG for one that is too long).
  ssize_t Read(char* buffer, size_t size);
  void Close();
  int fd() const { return fd_; }

 private:
  // The kind of file, asked only when it matters: at an empty read, or past the stream limit.
  bool IsRegular();
  bool IsFifo();

  int fd_ = -1;
  size_t bytesRead_ = 0;
  bool known_ = false;
  mode_t mode_ = 0;
};

/// A SourceFile read as a std::istream reads: for the inputs other than sources that a run or a
/// command reads whole (a compilation database, the exports of -diff), so that they are read as
/// sources are, a stream bounded and never waited for longer than kStreamWaitMilliseconds.
class SourceFileBuffer : public std::streambuf {
 public:
  explicit SourceFileBuffer(SourceFile& file) : file_(file) {}
  /// Why reading stopped short of the end ("" when it did not): a folder, a stream that stayed
  /// silent or went on too long, an I/O error.
  const std::string& failure() const { return failure_; }

 protected:
  int_type underflow() override;

 private:
  SourceFile& file_;
  char buffer_[1 << 16];
  std::string failure_;
};

}  // namespace quillmap
