#include "files/source_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "files/source_file.h"

namespace quillmap {

namespace {
constexpr size_t kMinimumBlock = 1 << 16;
}  // namespace

void SourceText::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  if (arena_ != nullptr) {
    char* const grown = arena_->Allocate(capacity);
    if (size_ > 0) std::memcpy(grown, data_, size_);
    data_ = grown;
  } else {
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_, size_);
    owned_ = std::move(grown);
    data_ = owned_.get();
  }
  capacity_ = capacity;
}

bool SourceText::Load(const std::string& path) {
  size_ = 0;
  failed_ = false;
  SourceFile file;
  if (!file.Open(path)) return false;
  const int fd = file.fd();
  // A folder shows itself at the first read. A buffer one byte larger than the file reads it
  // whole in one call, and the next call sees its end.
  if (arena_ != nullptr) {
    struct stat status {};
    const size_t size = fstat(fd, &status) == 0 && status.st_size > 0
                            ? static_cast<size_t>(status.st_size)
                            : kMinimumBlock;  // a pipe or a /proc file: grown as needed
    data_ = nullptr;
    capacity_ = 0;
    Reserve(size + 1);
  } else {
    Reserve(kMinimumBlock);
  }
  for (bool first = true;;) {
    if (size_ == capacity_) Reserve(capacity_ * 2);
    const ssize_t got = file.Read(data_ + size_, capacity_ - size_);
    if (got < 0 && first && errno == EISDIR) return false;
    first = false;
    if (got < 0) failed_ = true;
    if (got <= 0) break;
    size_ += static_cast<size_t>(got);
  }
  file.Close();

  // Text mode: a CR directly before a LF goes; a lone CR (also one at the very end) stays.
  char* const begin = data_;
  char* const end = begin + size_;
  char* cr = static_cast<char*>(std::memchr(begin, '\r', size_));
  if (cr != nullptr) {
    char* out = cr;
    char* in = cr;
    while (in < end) {  // `in` is at a CR
      if (in + 1 < end && in[1] == '\n') {
        ++in;
      } else {
        *out++ = *in++;
      }
      char* next = static_cast<char*>(std::memchr(in, '\r', static_cast<size_t>(end - in)));
      if (next == nullptr) next = end;
      std::memmove(out, in, static_cast<size_t>(next - in));
      out += next - in;
      in = next;
    }
    size_ = static_cast<size_t>(out - begin);
  }
  return true;
}

}  // namespace quillmap
