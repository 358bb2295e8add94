#include "outputs/output_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "files/paths.h"
#include "files/termination_signals.h"

namespace quillmap {

namespace {

// Temporary files are named ".<name>.quillmap-<pid>-XXXXXX" beside their output: hidden, and
// the process id tells a later run whether the run that made one still lives.
constexpr const char* kTemporaryMark = ".quillmap-";
// Enough of the output's name to recognise it, short enough for the name limit of a folder.
constexpr size_t kNameKept = 100;
constexpr int kMaxLinkHops = 40;

// A temporary file under way, for the signal handler: its folder's descriptor and its name.
struct LiveTemporary {
  int folderFd;
  char* name;
};

// The temporary files under way, read by the signal handler, which may run on any thread that
// does not block the termination signals. The list is made with the first temporary file,
// never in the handler (which must not allocate), and lives to the end.
constinit std::vector<LiveTemporary>* liveFiles = nullptr;
constinit std::atomic_flag liveLock = ATOMIC_FLAG_INIT;

void LockLiveFiles() {
  while (liveLock.test_and_set(std::memory_order_acquire)) {
  }
}

void UnlockLiveFiles() { liveLock.clear(std::memory_order_release); }

// The list held for a change, with the termination signals blocked on this thread: a handler
// on another thread waits for the change to end, and none runs on this one meanwhile. A file
// made under the hold is on the list before any handler can look.
class LiveFilesChange {
 public:
  LiveFilesChange() { LockLiveFiles(); }
  ~LiveFilesChange() { UnlockLiveFiles(); }
  LiveFilesChange(const LiveFilesChange&) = delete;
  LiveFilesChange& operator=(const LiveFilesChange&) = delete;

  std::vector<LiveTemporary>& Files() {
    if (liveFiles == nullptr) liveFiles = new std::vector<LiveTemporary>();
    return *liveFiles;
  }

 private:
  TerminationSignalsBlocked blocked_;  // blocked before the lock is taken, freed after
};

// The child process groups that the handler ends (0: a free slot); atomics, being lock-free,
// may be read in a signal handler.
std::atomic<pid_t> childGroupsToEnd[8];

void UnregisterTemporary(const OutputTarget& target) {
  char* name = nullptr;
  {
    LiveFilesChange change;
    auto& files = change.Files();
    for (size_t i = 0; i < files.size(); ++i) {
      if (files[i].folderFd == target.folderFd && target.temporaryName == files[i].name) {
        name = files[i].name;
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
  }
  std::free(name);
}

extern "C" void RemoveTemporariesAndEnd(int signal) {
  for (const std::atomic<pid_t>& slot : childGroupsToEnd) {
    const pid_t group = slot.load();
    if (group > 0) kill(-group, SIGKILL);
  }
  // The list stays held to the end: a thread still at work makes no temporary file that the
  // end would leave behind.
  LockLiveFiles();
  if (liveFiles != nullptr) {
    for (const LiveTemporary& file : *liveFiles) unlinkat(file.folderFd, file.name, 0);
  }
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

// ".<name>.quillmap-" of the temporary files of the output named `name`.
std::string TemporaryPrefix(const std::string& name) {
  std::string prefix(1, '.');
  prefix.append(name.substr(0, kNameKept)).append(kTemporaryMark);
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

void CloseQuietly(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

bool CopyContents(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

// Creates the temporary file "<prefix>XXXXXX" in the folder, registered as one step with the
// signals blocked, so that a stopping signal never finds it unknown. Never follows a link and
// never opens a file that exists: whatever another user put there first, the run's file is new.
int CreateTemporary(OutputTarget& target, const std::string& prefix) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<uint64_t> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != sizeof seed) {
      seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    seed ^= counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    std::string name = prefix;
    for (int i = 0; i < 6; ++i, seed /= 62) name += kLetters[seed % 62];
    LiveFilesChange change;
    const int fd = openat(target.folderFd, name.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      return -1;
    }
    target.temporaryName = name;
    change.Files().push_back({target.folderFd, strdup(name.c_str())});
    return fd;
  }
  return -1;
}

// Removes the temporary files of the output named `finalName` in the folder that runs which no
// longer live left behind.
void RemoveStaleTemporaries(int folderFd, const std::string& finalName) {
  const std::string prefix = TemporaryPrefix(finalName);
  // A descriptor of its own: reading the folder moves its position.
  const int listFd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return;
  DIR* dir = fdopendir(listFd);
  if (dir == nullptr) {
    close(listFd);
    return;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string rest(name.substr(prefix.size()));
    char* end = nullptr;
    const long pid = std::strtol(rest.c_str(), &end, 10);
    if (pid <= 0 || end == nullptr || *end != '-') continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      unlinkat(folderFd, entry->d_name, 0);
    }
  }
  closedir(dir);
}

// Whom a run lets point its outputs elsewhere: itself and root. Following a link of another
// user would let him make the run write any file the run may write and he may not.
bool TrustedLink(const struct stat& link) { return link.st_uid == geteuid() || link.st_uid == 0; }

// Where the name of an output leads, resolved part by part through descriptors (no part can be
// swapped between the look and the use): the folder, opened once, and the file's name in it; or
// a stream opened for writing without waiting, for an existing file that is neither a regular
// file nor a folder (a device, a FIFO someone reads).
struct ResolvedOutput {
  int folderFd = -1;
  std::string folderPath;  // as the links led, "" for the root folder
  std::string name;
  int streamFd = -1;
};

void PushFront(std::deque<std::string>& parts, std::string_view text) {
  std::vector<std::string> split;
  for (size_t start = 0;;) {
    const size_t slash = text.find('/', start);
    split.emplace_back(text.substr(start, slash - start));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  parts.insert(parts.begin(), split.begin(), split.end());
}

int OpenStream(int folderFd, const std::string& name, int follow) {
  const int fd =
      openat(folderFd, name.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow);
  struct stat status {};
  if (fd >= 0 && (fstat(fd, &status) != 0 || S_ISREG(status.st_mode))) {
    close(fd);
    return -1;
  }
  // Only the opening does not wait (a FIFO that nobody reads fails at once); the writes do.
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool ResolveOutput(const std::string& path, ResolvedOutput& out) {
  const bool absolute = !path.empty() && path[0] == '/';
  int folder = open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  std::string shown = absolute ? "" : FullPathOf(".");
  if (shown == "/") shown.clear();
  std::deque<std::string> parts;
  PushFront(parts, path);
  const auto fail = [&] {
    if (folder >= 0) close(folder);
    return false;
  };
  const auto enter = [&](int next, const std::string& nextShown) {
    close(folder);
    folder = next;
    shown = nextShown;
  };
  int hops = 0;
  while (folder >= 0 && !parts.empty()) {
    const std::string name = std::move(parts.front());
    parts.pop_front();
    const bool last = parts.empty();
    if (name.empty() || name == ".") {
      if (last) return fail();  // no file name: the path ends in "/"
      continue;
    }
    if (name == "..") {
      if (last) return fail();
      enter(openat(folder, "..", O_PATH | O_DIRECTORY | O_CLOEXEC), FolderOf("/" + shown));
      if (shown == "/") shown.clear();
      continue;
    }
    struct stat status {};
    if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (!last || errno != ENOENT) return fail();
      out.folderFd = folder;
      out.folderPath = shown;
      out.name = name;
      return true;
    }
    if (S_ISLNK(status.st_mode)) {
      if (!TrustedLink(status) || ++hops > kMaxLinkHops) return fail();
      struct stat to {};
      if (last && fstatat(folder, name.c_str(), &to, 0) == 0 && !S_ISREG(to.st_mode) &&
          !S_ISDIR(to.st_mode)) {
        // A device or a pipe behind a link (/dev/stdout, /proc/self/fd/1, whose targets are no
        // paths to walk) is the stream it is.
        out.streamFd = OpenStream(folder, name, 0);
        close(folder);
        return out.streamFd >= 0;
      }
      char target[PATH_MAX];
      const ssize_t length = readlinkat(folder, name.c_str(), target, sizeof target);
      if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return fail();
      const std::string_view text(target, static_cast<size_t>(length));
      PushFront(parts, text);
      if (text[0] == '/') enter(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC), "");
      continue;
    }
    if (last) {
      if (S_ISDIR(status.st_mode)) return fail();
      if (!S_ISREG(status.st_mode)) {
        out.streamFd = OpenStream(folder, name, O_NOFOLLOW);
        close(folder);
        return out.streamFd >= 0;
      }
      out.folderFd = folder;
      out.folderPath = shown;
      out.name = name;
      return true;
    }
    const int next = openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // Opened without following: whatever took the folder's place since the look, a link is not
    // entered.
    if (next < 0 || fstat(next, &status) != 0 || !S_ISDIR(status.st_mode)) {
      if (next >= 0) close(next);
      return fail();
    }
    enter(next, shown + "/" + name);
  }
  return fail();
}

void Release(OutputTarget& target) {
  UnregisterTemporary(target);
  CloseQuietly(target.fd);
  CloseQuietly(target.folderFd);
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

std::string FinalPathOf(const std::string& path) { return FollowLinks(path); }

int OpenOutputDescriptor(const OutputTarget& target, bool truncate) {
  if (target.fd >= 0) {
    // The temporary file is the run's own: emptying it is all that truncating can mean. (A
    // stream has nothing to empty.)
    if (truncate && target.replaced && ftruncate(target.fd, 0) != 0) return -1;
    return fcntl(target.fd, F_DUPFD_CLOEXEC, 0);
  }
  // Always appending: a stream shared by outputs gets each block at its end.
  const int flags = O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  int fd;
  do {
    fd = open(target.writePath.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::FILE* OpenOutputFile(const OutputTarget& target) {
  const int fd = OpenOutputDescriptor(target, true);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

bool PrepareOutput(const std::string& path, bool keepContents, OutputTarget& target) {
  target = OutputTarget{};
  ResolvedOutput where;
  if (!ResolveOutput(path, where)) return false;
  if (where.streamFd >= 0) {
    target.fd = where.streamFd;
    target.writePath = target.finalPath = path;
    target.identity = FileIdentityOf(path);
    return true;
  }
  target.folderFd = where.folderFd;
  target.finalName = where.name;
  target.finalPath = where.folderPath + "/" + where.name;
  target.identity = FileIdentityOf(target.finalPath);
  struct stat status {};
  // The existing file as it is in the folder now, never through a link: an existing file that
  // may not be written (mode bits, immutable, read-only file system) is refused before anything
  // replaces it. Nothing is changed by this open.
  int existing = openat(target.folderFd, target.finalName.c_str(),
                        O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
  if (existing < 0 && errno != ENOENT) {
    Release(target);
    return false;
  }
  if (existing >= 0) {
    if (fstat(existing, &status) != 0 || !S_ISREG(status.st_mode)) {
      close(existing);
      Release(target);
      return false;
    }
    close(existing);
    target.existed = true;
    target.mode = status.st_mode & 07777;
    target.owner = status.st_uid;
    target.group = status.st_gid;
  } else {
    target.mode = NewFileMode();
  }
  RemoveStaleTemporaries(target.folderFd, target.finalName);

  target.fd =
      CreateTemporary(target, TemporaryPrefix(target.finalName) + std::to_string(getpid()) + "-");
  if (target.fd < 0) {
    Release(target);
    return false;
  }
  target.replaced = true;
  target.writePath = FolderOf(target.finalPath) + "/" + target.temporaryName;
  if (keepContents && target.existed) {
    const int from = openat(target.folderFd, target.finalName.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    struct stat copied {};
    // The same file whose owner and mode were taken, or none at all.
    const bool same = from >= 0 && fstat(from, &copied) == 0 && copied.st_ino == status.st_ino &&
                      copied.st_dev == status.st_dev;
    const bool ready = same && CopyContents(from, target.fd);
    if (from >= 0) close(from);
    if (!ready) {
      DiscardOutput(target);
      return false;
    }
  }
  return true;
}

bool CommitOutput(OutputTarget& target) {
  if (!target.replaced) {
    Release(target);
    return true;
  }
  bool committed = fchmod(target.fd, target.mode) == 0;
  if (committed && target.existed && (target.owner != geteuid() || target.group != getegid())) {
    // Only root may give a file away; anyone else keeps what the system allows.
    if (fchown(target.fd, target.owner, target.group) == 0) {
      fchmod(target.fd, target.mode);  // chown may clear set-id bits
    }
  }
  // The temporary file's name is the folder owner's to change: only while it still names the
  // run's file is it renamed (whatever another user put in its place stays where it is).
  struct stat written {};
  struct stat named {};
  committed =
      committed && fstat(target.fd, &written) == 0 &&
      fstatat(target.folderFd, target.temporaryName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
      written.st_ino == named.st_ino && written.st_dev == named.st_dev;
  committed = committed && renameat(target.folderFd, target.temporaryName.c_str(), target.folderFd,
                                    target.finalName.c_str()) == 0;
  if (!committed) unlinkat(target.folderFd, target.temporaryName.c_str(), 0);
  RemoveStaleTemporaries(target.folderFd, target.finalName);
  Release(target);
  target.replaced = false;
  return committed;
}

void DiscardOutput(OutputTarget& target) {
  if (target.replaced) unlinkat(target.folderFd, target.temporaryName.c_str(), 0);
  Release(target);
  target.replaced = false;
}

bool SetChildGroupEndedOnTermination(pid_t group, bool ended) {
  for (std::atomic<pid_t>& slot : childGroupsToEnd) {
    pid_t expected = ended ? 0 : group;
    if (slot.compare_exchange_strong(expected, ended ? group : 0)) return true;
  }
  return false;
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

bool WriteWholeOutput(const std::string& path, std::string_view text) {
  OutputTarget target;
  if (!PrepareOutput(path, false, target)) return false;
  std::FILE* out = OpenOutputFile(target);
  bool written = out != nullptr && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out != nullptr && std::fclose(out) != 0) written = false;
  if (!written) {
    DiscardOutput(target);
    return false;
  }
  return CommitOutput(target);
}

}  // namespace quillmap
