#include "outputs/output_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/paths.h"

namespace quillmap {

namespace {

// Temporary files are named ".<name>.quillmap-<pid>-XXXXXX" beside their output: hidden, and
// the process id tells a later run whether the run that made one still lives.
constexpr const char* kTemporaryMark = ".quillmap-";
// Enough of the output's name to recognise it, short enough for the name limit of a folder.
constexpr size_t kNameKept = 100;
constexpr int kMaxLinkHops = 40;

// The temporary files under way, for the signal handler: changed only with the termination
// signals blocked, read only by the handler.
std::vector<char*>& LiveTemporaryFiles() {
  static std::vector<char*>* files = new std::vector<char*>();
  return *files;
}

class TerminationSignalsBlocked {
 public:
  TerminationSignalsBlocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
  }
  ~TerminationSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  TerminationSignalsBlocked(const TerminationSignalsBlocked&) = delete;
  TerminationSignalsBlocked& operator=(const TerminationSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

void RegisterTemporary(const std::string& path) {
  TerminationSignalsBlocked blocked;
  LiveTemporaryFiles().push_back(strdup(path.c_str()));
}

void UnregisterTemporary(const std::string& path) {
  TerminationSignalsBlocked blocked;
  auto& files = LiveTemporaryFiles();
  for (size_t i = 0; i < files.size(); ++i) {
    if (path == files[i]) {
      std::free(files[i]);
      files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

extern "C" void RemoveTemporariesAndEnd(int signal) {
  for (char* path : LiveTemporaryFiles()) unlink(path);
  // Ended by the signal itself, so that the parent sees how the program ended.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".<name>.quillmap-" of the temporary files of the output at `path`.
std::string TemporaryPrefix(const std::string& path) {
  std::string prefix(1, '.');
  prefix.append(NameOf(path).substr(0, kNameKept)).append(kTemporaryMark);
  return prefix;
}

// `path` with its symbolic links followed to the file they end at, which may not exist.
std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::vector<char> target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1);
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return path;
    std::string next(target.data(), static_cast<size_t>(length));
    path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
  }
  return path;
}

mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

bool CopyContents(const std::string& from, int to) {
  const int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1 << 16];
  bool copied = true;
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      copied = got == 0;
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        close(fd);
        return false;
      }
      done += put;
    }
  }
  close(fd);
  return copied;
}

// Removes the temporary files of `finalPath` that runs which no longer live left behind.
void RemoveStaleTemporaries(const std::string& finalPath) {
  const std::string folder = FolderOf(finalPath);
  const std::string prefix = TemporaryPrefix(finalPath);
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string rest(name.substr(prefix.size()));
    char* end = nullptr;
    const long pid = std::strtol(rest.c_str(), &end, 10);
    if (pid <= 0 || end == nullptr || *end != '-') continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      unlinkat(dirfd(dir), entry->d_name, 0);
    }
  }
  closedir(dir);
}

}  // namespace

std::string FileIdentityOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0) {
    std::string identity(1, '\x01');
    identity.append(std::to_string(status.st_dev))
        .append(":")
        .append(std::to_string(status.st_ino));
    return identity;
  }
  return CanonicalFilePath(FollowLinks(path));
}

bool PrepareOutput(const std::string& path, bool keepContents, OutputTarget& target) {
  target = OutputTarget{};
  target.finalPath = FollowLinks(path);
  target.identity = FileIdentityOf(target.finalPath);
  struct stat status {};
  if (stat(target.finalPath.c_str(), &status) == 0) {
    // Opened without waiting: a FIFO that nobody reads fails here instead of blocking, and an
    // existing file that may not be written (mode bits, immutable, read-only file system) is
    // refused before anything replaces it. Nothing is changed by this open.
    const int fd = open(target.finalPath.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    if (!S_ISREG(status.st_mode)) {
      target.writePath = path;
      return true;
    }
    target.existed = true;
    target.mode = status.st_mode & 07777;
    target.owner = status.st_uid;
    target.group = status.st_gid;
  } else {
    target.mode = NewFileMode();
  }

  std::string temporary = FolderOf(target.finalPath);
  temporary.append("/").append(TemporaryPrefix(target.finalPath));
  temporary.append(std::to_string(getpid())).append("-XXXXXX");
  int fd;
  {
    // Made and registered as one step: a stopping signal never finds it unknown.
    TerminationSignalsBlocked blocked;
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    RegisterTemporary(temporary);
  }
  target.replaced = true;
  target.writePath = temporary;
  const bool ready = !(keepContents && target.existed) || CopyContents(target.finalPath, fd);
  if (close(fd) != 0 || !ready) {
    DiscardOutput(target);
    return false;
  }
  return true;
}

bool CommitOutput(const OutputTarget& target) {
  if (!target.replaced) return true;
  bool committed = chmod(target.writePath.c_str(), target.mode) == 0;
  if (committed && target.existed && (target.owner != geteuid() || target.group != getegid())) {
    // Only root may give a file away; anyone else keeps what the system allows.
    if (chown(target.writePath.c_str(), target.owner, target.group) == 0) {
      chmod(target.writePath.c_str(), target.mode);  // chown may clear set-id bits
    }
  }
  committed = committed && rename(target.writePath.c_str(), target.finalPath.c_str()) == 0;
  if (!committed) unlink(target.writePath.c_str());
  UnregisterTemporary(target.writePath);
  RemoveStaleTemporaries(target.finalPath);
  return committed;
}

void DiscardOutput(const OutputTarget& target) {
  if (!target.replaced) return;
  unlink(target.writePath.c_str());
  UnregisterTemporary(target.writePath);
}

void RemoveTemporaryOutputsOnTermination() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporariesAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    // A signal that the caller's parent made the program ignore stays ignored.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace quillmap
