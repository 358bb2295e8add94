#include "files/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "files/file_error.h"

namespace quillmap {

namespace {
std::string& WorkPathStorage() {
  static std::string workPath;
  return workPath;
}

// The paths made from values that may have been cut; they stay unusable for the process.
struct CutPathSet {
  std::mutex guard;
  std::unordered_set<std::string> paths;
};
CutPathSet& CutPaths() {
  static CutPathSet* paths = new CutPathSet();
  return *paths;
}
}  // namespace

const std::string& WorkPath() { return WorkPathStorage(); }
void SetWorkPath(std::string path) { WorkPathStorage() = std::move(path); }

std::string CurrentDirectoryPath() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  std::string path(buffer.data());
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

bool IsAbsolutePath(std::string_view path) {
  return (!path.empty() && path[0] == '/') || path.find(':') != std::string_view::npos;
}

std::string FullPathOf(std::string_view path) {
  std::string joined = !path.empty() && path[0] == '/' ? std::string(path)
                                                       : CurrentDirectoryPath() + std::string(path);
  std::vector<std::string_view> parts;
  std::string_view rest = joined;
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string full;
  for (std::string_view part : parts) {
    full += '/';
    full += part;
  }
  if (full.empty()) full.push_back('/');
  // A path that names a folder keeps its trailing separator.
  if (!joined.empty() && joined.back() == '/' && full.back() != '/') full += '/';
  return full;
}

namespace {
// realpath(3) of `path`, or "" when it does not resolve (a missing part, no access).
std::string RealPathOf(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result(resolved);
  std::free(resolved);
  return result;
}
}  // namespace

std::string CanonicalFilePath(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    const std::string real = RealPathOf(std::string(path));
    return real.empty() ? FullPathOf(path) : real;
  }
  const std::string folder = slash == std::string_view::npos ? std::string(".")
                             : slash == 0                    ? std::string("/")
                                                             : std::string(path.substr(0, slash));
  const std::string realFolder = RealPathOf(folder);
  if (realFolder.empty()) return FullPathOf(path);
  return (realFolder == "/" ? realFolder : realFolder + "/") + std::string(name);
}

void CheckReadableFile(const std::string& path) {
  // The file is read by its full path later: one the system cannot take is refused here, or
  // every lookup in it would come back empty.
  if (path.find('\0') != std::string::npos) {
    throw FileError(path, FileError::Cause::kNotFound);
  }
  if (FullPathOf(path).size() >= PATH_MAX) throw FileError(path, FileError::Cause::kPathTooLong);
  // Without waiting for a FIFO's writer; only a regular file is read (and read again).
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw FileError(path, FileError::CauseOf(errno));
  struct stat status {};
  const bool statted = fstat(fd, &status) == 0;
  close(fd);
  if (statted && S_ISDIR(status.st_mode)) throw FileError(path, FileError::Cause::kAccessDenied);
  if (!statted || !S_ISREG(status.st_mode)) {
    throw FileError(path, FileError::Cause::kNotRegularFile);
  }
}

std::string DirectoryOf(const std::string& path) {
  CheckReadableFile(path);
  const std::string full = FullPathOf(path);
  return full.substr(0, full.rfind('/') + 1);
}

std::string ResolvePath(std::string_view value, std::string_view directory) {
  if (value.empty()) return {};
  std::string path(value);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (!IsAbsolutePath(path)) path.insert(0, directory);
  if (value.size() >= kMaxConfiguredValueLength) {
    const std::lock_guard<std::mutex> lock(CutPaths().guard);
    CutPaths().paths.insert(path);
  }
  return path;
}

bool IsUnusablePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return true;
  if (path.size() < kMaxConfiguredValueLength) return false;
  const std::lock_guard<std::mutex> lock(CutPaths().guard);
  return CutPaths().paths.count(std::string(path)) != 0;
}

}  // namespace quillmap
