#include "files/source_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/paths.h"

namespace quillmap {

bool SourceFile::Open(const std::string& path) {
  Close();
  if (IsUnusablePath(path)) return false;
  do {
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  bytesRead_ = 0;
  known_ = false;
  return fd_ >= 0;
}

void SourceFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool SourceFile::IsRegular() {
  if (!known_) {
    struct stat status {};
    mode_ = fstat(fd_, &status) == 0 ? status.st_mode : 0;
    known_ = true;
  }
  return S_ISREG(mode_);
}

bool SourceFile::IsFifo() {
  IsRegular();
  return S_ISFIFO(mode_);
}

ssize_t SourceFile::Read(char* buffer, size_t size) {
  if (fd_ < 0) return 0;
  bool waited = false;
  for (;;) {
    if (bytesRead_ + size > kMaxStreamedSourceBytes && !IsRegular()) {
      // Up to the limit; at it, one byte more tells whether the stream goes on.
      size = bytesRead_ < kMaxStreamedSourceBytes ? kMaxStreamedSourceBytes - bytesRead_ : 1;
    }
    const ssize_t got = read(fd_, buffer, size);
    if (got < 0 && errno == EINTR) continue;
    const bool fifoWithoutWriterYet = got == 0 && bytesRead_ == 0 && !waited && IsFifo();
    if ((got < 0 && errno == EAGAIN) || fifoWithoutWriterYet) {
      // A stream without data yet (a FIFO before its writer came): wait, but not for ever. A
      // FIFO whose writer has gone reports that at once.
      pollfd ready{fd_, POLLIN, 0};
      int events;
      do {
        events = poll(&ready, 1, kStreamWaitMilliseconds);
      } while (events < 0 && errno == EINTR);
      if (events == 0) {
        errno = ETIMEDOUT;
        return -1;
      }
      waited = true;
      continue;
    }
    if (got > 0 && bytesRead_ >= kMaxStreamedSourceBytes && !IsRegular()) {
      errno = EFBIG;
      return -1;
    }
    if (got > 0) bytesRead_ += static_cast<size_t>(got);
    return got;
  }
}

SourceFileBuffer::int_type SourceFileBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const ssize_t got = file_.Read(buffer_, sizeof buffer_);
  if (got <= 0) {
    if (got < 0 && failure_.empty()) {
      failure_ = errno == ETIMEDOUT ? "nothing to read for " +
                                          std::to_string(kStreamWaitMilliseconds / 1000) + " s"
                 : errno == EFBIG   ? "more than " +
                                        std::to_string(kMaxStreamedSourceBytes >> 20) +
                                        " MiB from a stream"
                 : errno == EISDIR ? "a folder"
                                   : std::strerror(errno);
    }
    return traits_type::eof();
  }
  setg(buffer_, buffer_, buffer_ + got);
  return traits_type::to_int_type(*gptr());
}

}  // namespace quillmap
