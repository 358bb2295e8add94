#include "lsp/file_excerpts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace quillmap::lsp {

FileExcerpts::~FileExcerpts() { Close(); }

void FileExcerpts::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  path_.clear();
}

bool FileExcerpts::Read(const std::string& path, uint32_t begin, uint32_t end,
                        std::string& bytes) {
  bytes.clear();
  if (fd_ < 0 || path != path_) {
    Close();
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    path_ = path;
  }
  if (end == UINT32_MAX) {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return false;
    end = static_cast<uint32_t>(std::min<int64_t>(st.st_size, UINT32_MAX - 1));
  }
  if (end <= begin) return true;
  bytes.resize(end - begin);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pread(fd_, bytes.data() + done, bytes.size() - done,
                            static_cast<off_t>(begin + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      bytes.clear();
      return false;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return true;
}

}  // namespace quillmap::lsp
