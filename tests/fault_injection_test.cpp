// Fault injection: output writes that fail at every point of a run (open, write or close of any
// line of any output file, and real paths that cannot be written: a missing folder, a file used
// as a folder, a folder, /dev/full, a read-only folder), and source files that become unreadable
// while a run is under way. A run must go on, report what failed and end with exit status 1,
// and every file it could write must be complete.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "dialog/scan_dialog.h"
#include "outputs/line_writer.h"
#include "dot_syntax.h"
#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::MemoryWindow;
using testing::ReadFile;
using testing::TempDir;

// Two sources, both outputs of the call graph and both of the module graph.
const std::string kConfig =
    "[files]\ndot=out/calls.dot\ncsv=out/calls.csv\nfile0=src/a.c\nfile1=src/b.c\n"
    "[calls]\n0=foo,fn\n1=Send,msg,msg\n2=bar\n"
    "[dot]\ngraph_cfg0=rankdir=LR\nnode_cfgfn=[shape=box]\ncall_cfgmsg=[label=$0]\n"
    "[modules]\nlog=out/mod.log\ndot=out/mod.dot\ngraph_cfg0=rankdir=LR\n"
    "mod_0=app\nmod_0_dot_call=[color=red]\nmod_0_file_0=src/a.c\nmod_1=lib\nmod_1_file_0=src/"
    "b.c\n";
const std::string kSourceA = "int foo(int a)\n{\n  SendMsg(MSG_START, a);\n  bar();\n}\n";
const std::string kSourceB = "int bar(void)\n{\n  foo(1);\n}\n";
const char* const kOutputs[] = {"out/calls.dot", "out/calls.csv", "out/mod.dot", "out/mod.log"};

// The DOT header's timestamp replaced, so that runs in different seconds compare equal.
std::string WithoutTimestamp(const std::string& text) {
  static const std::regex timestamp(R"(// crated on: [0-9.]+, [0-9:.]+ with)");
  return std::regex_replace(text, timestamp, "// crated on: TIME with");
}

void WriteTree(const TempDir& dir) {
  dir.Write("scan.cfg", kConfig);
  dir.Write("src/a.c", kSourceA);
  dir.Write("src/b.c", kSourceB);
  mkdir((dir / "out").c_str(), 0700);
}

// ---------------------------------------------------------------------------------------------
// Every line of every output, failing at its open, its write or its close.

enum class Step { kOpen, kWrite, kClose };
const char* StepName(Step step) {
  return step == Step::kOpen ? "open" : step == Step::kWrite ? "write" : "close";
}

// The real per-line writer with one step of one line made to fail: the open finds no file, the
// write stops halfway through the line (as on a full disk), or the close reports an error after
// the line reached the file. Records every line it is asked to write.
class FailingStepWriter : public PerLineWriter {
 public:
  FailingStepWriter(int failingLine, Step step) : failingLine_(failingLine), step_(step) {}

  struct Line {
    std::string path;
    std::string bytes;  // as they go to the file
  };
  std::vector<Line> lines;

 protected:
  bool WriteLineTo(const std::string& path, std::string_view text, bool truncate) override {
    lines.push_back({path, OnDiskLine(text)});
    return PerLineWriter::WriteLineTo(path, text, truncate);
  }
  std::FILE* OpenFile(const std::string& path, bool truncate) override {
    if (Failing(Step::kOpen)) {
      errno = EACCES;
      return nullptr;
    }
    return PerLineWriter::OpenFile(path, truncate);
  }
  bool WriteBytes(std::FILE* file, std::string_view bytes) override {
    if (!Failing(Step::kWrite)) return PerLineWriter::WriteBytes(file, bytes);
    PerLineWriter::WriteBytes(file, bytes.substr(0, bytes.size() / 2));
    return false;
  }
  bool CloseFile(std::FILE* file) override {
    const bool closed = PerLineWriter::CloseFile(file);
    return closed && !Failing(Step::kClose);
  }

 private:
  bool Failing(Step step) const {
    return step == step_ && static_cast<int>(lines.size()) - 1 == failingLine_;
  }
  int failingLine_;
  Step step_;
};

struct InjectedRun {
  std::vector<std::string> entries;
  std::vector<FailingStepWriter::Line> lines;
  bool errorReported = false;
};

InjectedRun RunWithFault(const TempDir& dir, int failingLine, Step step) {
  for (const char* output : kOutputs) std::remove((dir / output).c_str());
  MemoryWindow window;
  ScanDialog dialog(window);
  auto writer = std::make_unique<FailingStepWriter>(failingLine, step);
  FailingStepWriter& lines = *writer;
  dialog.scanRun().SetLineWriter(std::move(writer));
  window.texts[kPathEdit] = dir / "scan.cfg";
  dialog.RunScan();
  return {window.entries, lines.lines, dialog.lastRun().errorReported};
}

TEST(OutputFaults, EveryLineOfEveryOutputMayFailAtOpenWriteOrClose) {
  TempDir dir;
  WriteTree(dir);
  const InjectedRun reference = RunWithFault(dir, -1, Step::kOpen);
  ASSERT_FALSE(reference.errorReported) << reference.entries.back();
  ASSERT_GT(reference.lines.size(), 40u);
  std::map<std::string, int> linesPerOutput;
  for (const auto& line : reference.lines) ++linesPerOutput[line.path];
  ASSERT_EQ(linesPerOutput.size(), 4u);

  for (int k = 0; k < static_cast<int>(reference.lines.size()); ++k) {
    for (Step step : {Step::kOpen, Step::kWrite, Step::kClose}) {
      const std::string& failing = reference.lines[static_cast<size_t>(k)].path;
      SCOPED_TRACE("line " + std::to_string(k) + " (" + failing + "), " + StepName(step));
      const InjectedRun run = RunWithFault(dir, k, step);

      // The run went on as before, told which output failed just before its last entry, and
      // counts as failed (exit status 1 in the batch mode).
      std::vector<std::string> expectedEntries = reference.entries;
      expectedEntries.insert(expectedEntries.end() - 1, "error writing: " + failing);
      EXPECT_EQ(run.entries, expectedEntries);
      EXPECT_TRUE(run.errorReported);
      ASSERT_EQ(run.lines.size(), reference.lines.size());
      for (size_t i = 0; i < run.lines.size(); ++i) {
        EXPECT_EQ(run.lines[i].path, reference.lines[i].path);
        EXPECT_EQ(WithoutTimestamp(run.lines[i].bytes), WithoutTimestamp(reference.lines[i].bytes));
      }

      // Every output holds exactly its lines; the failing one lacks what did not reach it.
      std::map<std::string, std::string> expected;
      for (size_t i = 0; i < run.lines.size(); ++i) {
        std::string bytes = run.lines[i].bytes;
        if (static_cast<int>(i) == k && step == Step::kOpen) bytes.clear();
        if (static_cast<int>(i) == k && step == Step::kWrite) bytes.resize(bytes.size() / 2);
        expected[run.lines[i].path] += bytes;
      }
      for (const auto& [path, bytes] : expected) EXPECT_EQ(ReadFile(path), bytes) << path;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Real paths that cannot be written, in the real program.

// A folder in which no file can be created, also for root, whom mode bits do not stop: the mode
// bits when they hold (not root), else the immutable attribute (it binds root too, where the
// file system has it and the process may set it), else /sys/, where the kernel lets nobody
// create a file.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& path) : path_(path + "/") {
    mkdir(path.c_str(), 0700);
    chmod(path.c_str(), 0500);
    if (Refuses()) {
      how_ = "mode 0500";
      return;
    }
    chmod(path.c_str(), 0700);
    fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      if (ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0 && Refuses()) {
        how_ = "immutable attribute";
        return;
      }
    }
    path_ = "/sys/";
    how_ = Refuses() ? "/sys" : "";
  }
  ~ReadOnlyFolder() {
    if (fd_ >= 0) {
      int flags = 0;
      if (ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd_, FS_IOC_SETFLAGS, &flags);
      }
      close(fd_);
    }
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

  /// The folder, ending in "/".
  const std::string& path() const { return path_; }
  /// How the folder was made read-only; empty when no way worked.
  const std::string& how() const { return how_; }

 private:
  bool Refuses() const {
    const std::string probe = path_ + "quillmap-probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return true;
    close(fd);
    unlink(probe.c_str());
    return false;
  }

  std::string path_;
  std::string how_;
  int fd_ = -1;
};

enum class Unwritable { kMissingFolder, kFileAsFolder, kFolder, kDevFull, kReadOnlyFolder };

struct OutputFailureCase {
  const char* key;  // "section.key" of the output
  Unwritable kind;
};

std::string CaseName(const ::testing::TestParamInfo<OutputFailureCase>& info) {
  static const char* const kinds[] = {"MissingFolder", "FileAsFolder", "Folder", "DevFull",
                                      "ReadOnlyFolder"};
  std::string key = info.param.key;
  key.erase(std::remove(key.begin(), key.end(), '.'), key.end());
  return key + "_" + kinds[static_cast<int>(info.param.kind)];
}

class RealOutputFailure : public ::testing::TestWithParam<OutputFailureCase> {};

TEST_P(RealOutputFailure, RunGoesOnReportsTheOutputAndExitsOne) {
  TempDir dir;
  WriteTree(dir);
  const auto reference = testing::RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  ASSERT_EQ(reference.status, 0) << reference.out;
  std::map<std::string, std::string> referenceFiles;
  for (const char* output : kOutputs) referenceFiles[output] = ReadFile(dir / output);

  std::unique_ptr<ReadOnlyFolder> readOnly;
  std::string value;
  switch (GetParam().kind) {
    case Unwritable::kMissingFolder:
      value = "missing/out.txt";
      break;
    case Unwritable::kFileAsFolder:
      dir.Write("plain", "a file, not a folder\n");
      value = "plain/out.txt";
      break;
    case Unwritable::kFolder:
      mkdir((dir / "folder").c_str(), 0700);
      value = "folder";
      break;
    case Unwritable::kDevFull:
      value = "/dev/full";
      break;
    case Unwritable::kReadOnlyFolder:
      readOnly = std::make_unique<ReadOnlyFolder>(dir / "readonly");
      if (readOnly->how().empty()) GTEST_SKIP() << "no way to make a folder read-only here";
      std::cout << "read-only folder by " << readOnly->how() << "\n";
      value = readOnly->path() + "out.txt";
      break;
  }
  const std::string failing = value[0] == '/' ? value : dir / value;

  // The configuration with the one output moved to the path that cannot be written.
  const std::string key = GetParam().key;
  const std::string section = key.substr(0, key.find('.'));
  const std::string name = key.substr(key.find('.') + 1);
  const std::string normal = name == "log"        ? "out/mod.log"
                             : name == "csv"      ? "out/calls.csv"
                             : section == "files" ? "out/calls.dot"
                                                  : "out/mod.dot";
  std::string config = kConfig;
  const std::string sectionStart = "[" + section + "]\n";
  const size_t line = config.find(name + "=" + normal, config.find(sectionStart));
  config.replace(line, name.size() + 1 + normal.size(), name + "=" + value);
  dir.Write("scan.cfg", config);
  for (const char* output : kOutputs) std::remove((dir / output).c_str());

  const auto result = testing::RunQuillmap({"-cfg", "scan.cfg"}, dir.path());
  EXPECT_EQ(result.status, 1);
  // The same log, with the failed output reported just before the summary.
  std::string expectedOut = reference.out;
  const std::string normalPath = dir / normal;
  for (size_t at = 0; (at = expectedOut.find(normalPath, at)) != std::string::npos;) {
    expectedOut.replace(at, normalPath.size(), failing);
    at += failing.size();
  }
  const size_t summary = expectedOut.rfind("\n\n");
  ASSERT_NE(summary, std::string::npos);
  expectedOut.insert(summary + 1, "error writing: " + failing + "\n");
  EXPECT_EQ(result.out, expectedOut);

  // The outputs that could be written are complete: as in the run without the failure, apart
  // from the path of the moved output where they name it.
  for (const char* output : kOutputs) {
    if (output == normal) {
      EXPECT_FALSE(testing::FileExists(dir / output));
      continue;
    }
    std::string expected = referenceFiles[output];
    for (size_t at = 0; (at = expected.find(normalPath, at)) != std::string::npos;) {
      expected.replace(at, normalPath.size(), failing);
      at += failing.size();
    }
    EXPECT_EQ(WithoutTimestamp(ReadFile(dir / output)), WithoutTimestamp(expected)) << output;
  }
  if (GetParam().kind == Unwritable::kFolder) {
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryOutputEveryKind, RealOutputFailure, ::testing::ValuesIn([] {
      std::vector<OutputFailureCase> cases;
      for (const char* key : {"files.dot", "files.csv", "modules.dot", "modules.log"}) {
        for (Unwritable kind :
             {Unwritable::kMissingFolder, Unwritable::kFileAsFolder, Unwritable::kFolder,
              Unwritable::kDevFull, Unwritable::kReadOnlyFolder}) {
          cases.push_back({key, kind});
        }
      }
      return cases;
    }()),
    CaseName);

// ---------------------------------------------------------------------------------------------
// Sources that become unreadable while the run is under way.

// The capabilities' numbers (linux/capability.h).
constexpr int kCapDacOverride = 1;
constexpr int kCapDacReadSearch = 2;

// The program started in the background, with its output kept in files. With
// `obeyModeBits`, a program started by root runs without the capabilities that let root read
// and search past mode bits (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), so that a file of mode 0
// stops it as it stops anyone else; it stays root otherwise and reaches every path the test's
// folder and build tree are in.
class BackgroundRun {
 public:
  BackgroundRun(const std::vector<std::string>& args, const std::string& dir,
                bool obeyModeBits = false)
      : outPath_(capture_ / "stdout") {
    pid_ = fork();
    if (pid_ == 0) {
      const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open((capture_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0) {
        _exit(127);
      }
      // Dropped from the bounding set, the capabilities do not come back with the exec.
      if (obeyModeBits && geteuid() == 0 &&
          (prctl(PR_CAPBSET_DROP, kCapDacOverride, 0, 0, 0) != 0 ||
           prctl(PR_CAPBSET_DROP, kCapDacReadSearch, 0, 0, 0) != 0)) {
        _exit(126);
      }
      std::vector<std::string> copies(args);
      std::string program = QUILLMAP_BINARY;
      std::vector<char*> argv{program.data()};
      for (std::string& arg : copies) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~BackgroundRun() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  int Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string Out() const { return ReadFile(outPath_); }

 private:
  TempDir capture_;
  std::string outPath_;
  pid_t pid_ = -1;
  bool waited_ = false;
};

// A FIFO that stands for a source: the program blocks when it opens it, which lets a test act at
// a known point of the run, and then reads what the test feeds it.
class SourceFifo {
 public:
  explicit SourceFifo(const std::string& path) : path_(path) {
    created_ = mkfifo(path.c_str(), 0600) == 0;
    // The program's closing of its read end tells when it is done with one opening.
    inotify_ = inotify_init1(IN_CLOEXEC);
    if (inotify_ >= 0) inotify_add_watch(inotify_, path.c_str(), IN_CLOSE_NOWRITE);
  }
  ~SourceFifo() {
    if (inotify_ >= 0) close(inotify_);
  }
  SourceFifo(const SourceFifo&) = delete;
  SourceFifo& operator=(const SourceFifo&) = delete;

  bool ready() const { return created_ && inotify_ >= 0; }

  // Waits until the program opens the FIFO, lets `whileOpen` change the tree, feeds `contents`
  // and waits until the program has closed the FIFO again. False when either did not happen.
  bool Feed(const std::string& contents, const std::function<void()>& whileOpen) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int fd = -1;
    while ((fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
      if (errno != ENXIO || std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    whileOpen();
    fcntl(fd, F_SETFL, 0);
    const bool written =
        write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    close(fd);
    pollfd events{inotify_, POLLIN, 0};
    if (poll(&events, 1, 20000) != 1) return false;
    char buffer[4096];
    return read(inotify_, buffer, sizeof buffer) > 0 && written;
  }

 private:
  std::string path_;
  bool created_ = false;
  int inotify_ = -1;
};

enum class Unreadable { kPermissionRemoved, kRemoved, kFolder, kDanglingLink, kReadError };

std::string UnreadableName(const ::testing::TestParamInfo<Unreadable>& info) {
  static const char* const names[] = {"PermissionRemoved", "Removed", "ReplacedByAFolder",
                                      "ReplacedByADanglingLink", "ReplacedByAFileThatFailsToRead"};
  return names[static_cast<int>(info.param)];
}

// Makes `path` unreadable in the given way. False when that way cannot work here.
bool MakeUnreadable(const std::string& path, Unreadable how) {
  switch (how) {
    case Unreadable::kPermissionRemoved:
      return chmod(path.c_str(), 0) == 0;
    case Unreadable::kRemoved:
      return unlink(path.c_str()) == 0;
    case Unreadable::kFolder:
      return unlink(path.c_str()) == 0 && mkdir(path.c_str(), 0700) == 0;
    case Unreadable::kDanglingLink:
      return unlink(path.c_str()) == 0 && symlink((path + ".gone").c_str(), path.c_str()) == 0;
    case Unreadable::kReadError:
      // The process's own memory file opens, but reading it at offset 0 is an I/O error.
      return unlink(path.c_str()) == 0 && symlink("/proc/self/mem", path.c_str()) == 0;
  }
  return false;
}

class SourceFailsMidRun : public ::testing::TestWithParam<Unreadable> {};

// The first source is a FIFO: the run blocks on it after it has read its file list, and the test
// makes the second source unreadable right then, before the run reaches it.
TEST_P(SourceFailsMidRun, CallGraphScanReportsItAndExitsOne) {
  TempDir dir;
  dir.Write("scan.cfg",
            "[files]\ndot=calls.dot\ncsv=calls.csv\nfile0=a.c\nfile1=b.c\nfile2=c.c\n"
            "[calls]\n0=foo\n1=bar\n2=baz\n");
  SourceFifo fifo(dir / "a.c");
  ASSERT_TRUE(fifo.ready());
  dir.Write("b.c", "int bar(void)\n{\n}\n");
  dir.Write("c.c", "int baz(void)\n{\n  foo();\n}\n");

  BackgroundRun run({"-cfg", "scan.cfg"}, dir.path(), GetParam() == Unreadable::kPermissionRemoved);
  bool madeUnreadable = false;
  ASSERT_TRUE(fifo.Feed("int foo(void)\n{\n  bar();\n}\n",
                        [&] { madeUnreadable = MakeUnreadable(dir / "b.c", GetParam()); }));
  const int status = run.Wait();
  ASSERT_TRUE(madeUnreadable);

  const std::string b = dir / "b.c";
  const std::string error =
      (GetParam() == Unreadable::kReadError ? "error reading: " : "error opening: ") + b;
  const std::string out = run.Out();
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("IN[1]:  " + b + "\n" + error + "\n"), std::string::npos) << out;
  // The run went on: the source after it was scanned, and the summary closes the log.
  EXPECT_NE(out.find(">> Z:1, int baz(void)\n"), std::string::npos) << out;
  EXPECT_TRUE(out.ends_with("\n\n8 lines, 54 chars, 2 fcts\n")) << out;
  const std::string dot = ReadFile(dir / "calls.dot");
  EXPECT_NE(dot.find("\r\n// " + error + "\r\n"), std::string::npos) << dot;
  const auto syntaxError = FindDotSyntaxError(dot);
  EXPECT_FALSE(syntaxError) << DescribeDotSyntaxError(*syntaxError) << "\n" << dot;
  testing::ExpectGraphvizAccepts(dir / "calls.dot");
  EXPECT_NE(ReadFile(dir / "calls.csv").find("\r\n" + error + "\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EveryWay, SourceFailsMidRun,
                         ::testing::Values(Unreadable::kPermissionRemoved, Unreadable::kRemoved,
                                           Unreadable::kFolder, Unreadable::kDanglingLink,
                                           Unreadable::kReadError),
                         UnreadableName);

}  // namespace
}  // namespace quillmap
