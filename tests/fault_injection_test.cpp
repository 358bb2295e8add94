// Fault injection: output writes that fail at every point of a run (open, write or close of any
// line of any output file, and real paths that cannot be written: a missing folder, a file used
// as a folder, a folder, /dev/full, a read-only folder), and source files that become unreadable
// while a run is under way. A run must go on, report what failed and end with exit status 1,
// and every file it could write must be complete; one it could not write keeps its old bytes.
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
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "dialog/scan_dialog.h"
#include "dot_syntax.h"
#include "outputs/line_writer.h"
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
  return testing::WithoutDotTimes(text);
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
  bool WriteLineTo(Output& output, std::string_view text, bool truncate) override {
    lines.push_back({*output.path, OnDiskLine(text)});
    return PerLineWriter::WriteLineTo(output, text, truncate);
  }
  std::FILE* OpenFile(const OutputTarget& target, bool truncate) override {
    if (Failing(Step::kOpen)) {
      errno = EACCES;
      return nullptr;
    }
    return PerLineWriter::OpenFile(target, truncate);
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
      // After its failure an output is given up: none of its later lines is tried.
      std::vector<FailingStepWriter::Line> expectedLines;
      for (size_t i = 0; i < reference.lines.size(); ++i) {
        if (static_cast<int>(i) <= k || reference.lines[i].path != failing) {
          expectedLines.push_back(reference.lines[i]);
        }
      }
      ASSERT_EQ(run.lines.size(), expectedLines.size());
      for (size_t i = 0; i < run.lines.size(); ++i) {
        EXPECT_EQ(run.lines[i].path, expectedLines[i].path);
        EXPECT_EQ(WithoutTimestamp(run.lines[i].bytes), WithoutTimestamp(expectedLines[i].bytes));
      }

      // Every other output holds exactly its lines; the failing one replaced nothing (it was
      // removed before the run), and no temporary file is left.
      std::map<std::string, std::string> expected;
      for (const auto& line : run.lines) {
        if (line.path != failing) expected[line.path] += line.bytes;
      }
      EXPECT_FALSE(testing::FileExists(failing));
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"),
                              std::filesystem::directory_iterator()),
                3);
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

// Where the program's standard output goes.
enum class StandardOutput { kFile, kPipeClosedEarly, kDevFull, kClosed };

// The program started in the background, with its output kept in files. With
// `obeyModeBits`, a program started by root runs without the capabilities that let root read
// and search past mode bits (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), so that a file of mode 0
// stops it as it stops anyone else; it stays root otherwise and reaches every path the test's
// folder and build tree are in.
class BackgroundRun {
 public:
  struct Options {
    bool obeyModeBits = false;
    StandardOutput out = StandardOutput::kFile;
    std::string outPath = "";  // for kFile: where standard output goes ("" = a private file)
    std::string engine = "";   // QUILLMAP_ENGINE, when not empty
  };

  BackgroundRun(const std::vector<std::string>& args, const std::string& dir,
                bool obeyModeBits = false)
      : BackgroundRun(args, dir, Options{obeyModeBits}) {}
  BackgroundRun(const std::vector<std::string>& args, const std::string& dir,
                const Options& options)
      : outPath_(options.outPath.empty() ? capture_ / "stdout" : options.outPath) {
    int pipeEnds[2] = {-1, -1};
    if (options.out == StandardOutput::kPipeClosedEarly && pipe(pipeEnds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      int out = -1;
      switch (options.out) {
        case StandardOutput::kFile:
          out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
          break;
        case StandardOutput::kPipeClosedEarly:
          out = pipeEnds[1];
          close(pipeEnds[0]);
          break;
        case StandardOutput::kDevFull:
          out = open("/dev/full", O_WRONLY);
          break;
        case StandardOutput::kClosed:
          break;
      }
      const int err = open((capture_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (err < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0) _exit(127);
      if (options.out == StandardOutput::kClosed) {
        close(1);
      } else if (out < 0 || dup2(out, 1) < 0) {
        _exit(127);
      }
      // Dropped from the bounding set, the capabilities do not come back with the exec.
      if (options.obeyModeBits && geteuid() == 0 &&
          (prctl(PR_CAPBSET_DROP, kCapDacOverride, 0, 0, 0) != 0 ||
           prctl(PR_CAPBSET_DROP, kCapDacReadSearch, 0, 0, 0) != 0)) {
        _exit(126);
      }
      if (options.engine.empty()) {
        unsetenv("QUILLMAP_ENGINE");
      } else {
        setenv("QUILLMAP_ENGINE", options.engine.c_str(), 1);
      }
      std::vector<std::string> copies(args);
      std::string program = QUILLMAP_BINARY;
      std::vector<char*> argv{program.data()};
      for (std::string& arg : copies) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    if (options.out == StandardOutput::kPipeClosedEarly) {
      // The reader of `quillmap ... | head -n 1`: one line, then gone.
      close(pipeEnds[1]);
      char c = 0;
      while (read(pipeEnds[0], &c, 1) == 1 && c != '\n') {
      }
      close(pipeEnds[0]);
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
  // Waits at most `seconds`; a run that takes longer is killed and counts as hanging (-1).
  int WaitAtMost(int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        Wait();
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Signal(int signal) const { kill(pid_, signal); }
  pid_t pid() const { return pid_; }
  std::string Out() const { return ReadFile(outPath_); }
  std::string Err() const { return ReadFile(capture_ / "stderr"); }

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

// ---------------------------------------------------------------------------------------------
// Runs that are stopped, lose their log or run side by side: every output is either the old
// file or the whole new one, and no temporary file stays.

const std::vector<std::string> kBigOutputs = {"out/calls.dot", "out/calls.csv", "out/mod.dot",
                                              "out/mod.log"};
// The outputs of a run that draws its call graph.
const std::vector<std::string> kDrawnOutputs = {"out/calls.dot", "out/calls.json", "out/calls.svg"};

// Sources of `void Foo_i(void) { Foo_<i+1>(); }`, in two modules: a run long enough to be
// stopped part way.
void WriteBigTree(const TempDir& dir, int sources) {
  std::string config = "[files]\ndot=out/calls.dot\ncsv=out/calls.csv\n";
  std::string modules = "[modules]\nlog=out/mod.log\ndot=out/mod.dot\nmod_0=even\nmod_1=odd\n";
  for (int i = 0; i < sources; ++i) {
    const std::string name = "src/f" + std::to_string(i) + ".c";
    dir.Write(name, "void Foo_" + std::to_string(i) + "(void)\n{\n  Foo_" + std::to_string(i + 1) +
                        "();\n}\n");
    config += "file" + std::to_string(i) + "=" + name + "\n";
    modules +=
        "mod_" + std::to_string(i % 2) + "_file_" + std::to_string(i / 2) + "=" + name + "\n";
  }
  dir.Write("scan.cfg", config + "[calls]\n0=Foo_\n" + modules);
  mkdir((dir / "out").c_str(), 0700);
}

std::string OldContents(const std::string& output) {
  return output.ends_with(".dot") ? "digraph old {\r\n}\r\n" : "old\r\n";
}

void WriteOldOutputs(const TempDir& dir, const std::vector<std::string>& outputs = kBigOutputs) {
  for (const std::string& output : outputs) testing::WriteFile(dir / output, OldContents(output));
}

std::map<std::string, std::string> ReadOutputs(
    const TempDir& dir, const std::vector<std::string>& outputs = kBigOutputs) {
  std::map<std::string, std::string> files;
  for (const std::string& output : outputs) {
    files[output] = WithoutTimestamp(ReadFile(dir / output));
  }
  return files;
}

// The hidden temporary files in the outputs' folder; of one process only, when given.
std::vector<std::string> TemporaryFiles(const TempDir& dir, pid_t pid = 0) {
  const std::string mark = pid == 0 ? ".quillmap-" : ".quillmap-" + std::to_string(pid) + "-";
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) {
    const std::string name = entry.path().filename();
    if (name.find(mark) != std::string::npos) names.push_back(name);
  }
  return names;
}

// Each output is the old file or the complete new one, and its DOT parses.
void ExpectOldOrNew(const TempDir& dir, const std::map<std::string, std::string>& newFiles,
                    const std::vector<std::string>& outputs = kBigOutputs) {
  for (const auto& [output, contents] : ReadOutputs(dir, outputs)) {
    EXPECT_TRUE(contents == OldContents(output) || contents == newFiles.at(output))
        << output << " is cut: " << contents.size() << " bytes";
    if (output.ends_with(".dot")) {
      const auto error = FindDotSyntaxError(contents);
      EXPECT_FALSE(error) << output << ": " << DescribeDotSyntaxError(*error);
    }
  }
}

class StoppedRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBigTree(dir, 600);
    const auto start = std::chrono::steady_clock::now();
    BackgroundRun run({"-cfg", "scan.cfg"}, dir.path());
    ASSERT_EQ(run.WaitAtMost(60), 0) << run.Err();
    runTime = std::chrono::steady_clock::now() - start;
    newFiles = ReadOutputs(dir);
    for (const std::string& output : kBigOutputs) ASSERT_NE(newFiles[output], OldContents(output));
  }

  TempDir dir;
  std::chrono::steady_clock::duration runTime{};
  std::map<std::string, std::string> newFiles;
};

// The processes whose current folder is `dir`: the runs started there and their children.
std::vector<pid_t> ProcessesIn(const TempDir& dir) {
  std::vector<pid_t> found;
  const std::filesystem::path folder = std::filesystem::path(dir.path()).parent_path();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code unreadable;
    if (std::filesystem::read_symlink(entry.path() / "cwd", unreadable) == folder) {
      found.push_back(std::stoi(name));
    }
  }
  return found;
}

// Runs killed (SIGKILL) or stopped (SIGTERM) at random moments: every output is old or whole,
// no process of the run (the layout child) outlives it, a stopped run leaves no temporary file,
// and the next complete run removes those of the killed ones.
void KillAtRandom(const TempDir& dir, const std::vector<std::string>& outputs,
                  std::chrono::steady_clock::duration runTime,
                  const std::map<std::string, std::string>& newFiles, int rounds) {
  std::mt19937 random(20261207);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(runTime).count();
  for (int round = 0; round < rounds; ++round) {
    const int signal = round % 2 ? SIGTERM : SIGKILL;
    const auto delay = std::chrono::microseconds(static_cast<int64_t>(random() % (span + 1)));
    SCOPED_TRACE("round " + std::to_string(round) + ", " + strsignal(signal) + " after " +
                 std::to_string(delay.count()) + " us");
    WriteOldOutputs(dir, outputs);
    BackgroundRun run({"-cfg", "scan.cfg"}, dir.path());
    std::this_thread::sleep_for(delay);
    run.Signal(signal);
    const int status = run.WaitAtMost(20);
    EXPECT_TRUE(status == 0 || status == 128 + signal) << status << "\n" << run.Err();
    ExpectOldOrNew(dir, newFiles, outputs);
    // A stopped run removes its temporary files; only a killed one cannot.
    if (signal == SIGTERM) {
      EXPECT_EQ(TemporaryFiles(dir, run.pid()), std::vector<std::string>{});
    }
    // The layout child ends with the run (the kernel's death signal is sent at once; its
    // delivery, and the exit of a sanitizer build on a busy machine, may take a while).
    for (int wait = 0; wait < 400 && !ProcessesIn(dir).empty(); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(ProcessesIn(dir), std::vector<pid_t>{});
  }
  // What killed runs left behind goes with the next run.
  BackgroundRun last({"-cfg", "scan.cfg"}, dir.path());
  EXPECT_EQ(last.WaitAtMost(60), 0);
  EXPECT_EQ(ReadOutputs(dir, outputs), newFiles);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

TEST_F(StoppedRuns, AKilledRunLeavesEveryOutputOldOrWholeAtAnyMoment) {
  KillAtRandom(dir, kBigOutputs, runTime, newFiles, 12);
}

TEST_F(StoppedRuns, AKilledRunThatDrawsLeavesNoLayoutProcessAndNoPictureCut) {
  // 60 functions of 6 calls each at random: a layout of most of a second, the larger part of
  // the run.
  std::mt19937 random(7);
  std::string source;
  for (int i = 0; i < 60; ++i) {
    source += "void Foo_" + std::to_string(i) + "(void)\n{\n";
    for (int call = 0; call < 6; ++call)
      source += "  Foo_" + std::to_string(random() % 60) + "();\n";
    source += "}\n";
  }
  dir.Write("src/mesh.c", source);
  dir.Write("scan.cfg",
            "[files]\ndot=out/calls.dot\njson=out/calls.json\nfile0=src/mesh.c\n[calls]\n0=Foo_\n"
            "[dot]\nrender=svg\n");
  const auto start = std::chrono::steady_clock::now();
  BackgroundRun run({"-cfg", "scan.cfg"}, dir.path());
  ASSERT_EQ(run.WaitAtMost(60), 0) << run.Err();
  const auto drawnRunTime = std::chrono::steady_clock::now() - start;
  KillAtRandom(dir, kDrawnOutputs, drawnRunTime, ReadOutputs(dir, kDrawnOutputs), 4);
}

TEST_F(StoppedRuns, ConcurrentRunsEachLeaveCompleteOutputs) {
  WriteOldOutputs(dir);
  std::vector<std::unique_ptr<BackgroundRun>> runs;
  for (int i = 0; i < 3; ++i) {
    runs.push_back(std::make_unique<BackgroundRun>(StringList{"-cfg", "scan.cfg"}, dir.path()));
  }
  for (auto& run : runs) EXPECT_EQ(run->WaitAtMost(60), 0) << run->Err();
  EXPECT_EQ(ReadOutputs(dir), newFiles);
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

// The log cannot be written: the outputs are still completed, the failure is told on stderr,
// and the exit status is 1.
class LostLog : public StoppedRuns, public ::testing::WithParamInterface<StandardOutput> {};

TEST_P(LostLog, OutputsCompleteLogFailureReportedExitOne) {
  WriteOldOutputs(dir);
  BackgroundRun::Options options;
  options.out = GetParam();
  BackgroundRun run({"-cfg", "scan.cfg"}, dir.path(), options);
  EXPECT_EQ(run.WaitAtMost(60), 1);
  EXPECT_EQ(run.Err(), "error writing the activity log to standard output\n");
  EXPECT_EQ(ReadOutputs(dir), newFiles);
}

std::string StandardOutputName(const ::testing::TestParamInfo<StandardOutput>& info) {
  static const char* const names[] = {"File", "PipeClosedEarly", "DevFull", "Closed"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryWay, LostLog,
                         ::testing::Values(StandardOutput::kPipeClosedEarly,
                                           StandardOutput::kDevFull, StandardOutput::kClosed),
                         StandardOutputName);

// ---------------------------------------------------------------------------------------------
// Inputs and outputs that are not plain files, paths that cannot be used, outputs that collide:
// each ends the run in bounded time with its message, and no old output is lost.

struct HostileCase {
  const char* name;
  // Changes the small tree (kConfig, with its outputs holding old contents); returns what the
  // run must print (in the log, or on stderr for status 2).
  std::function<std::string(const TempDir&, std::string& config)> arrange;
  int status;
  const char* engine = "";
  bool stdoutIsCallGraph = false;  // standard output redirected onto out/calls.dot
  // The call graph DOT names a failed source in a comment; bytes that end a DOT comment (a NUL
  // of the path) are the call graph writer's to escape.
  bool dotCommentsPlain = true;
  bool firstOutputKeeps = false;  // all outputs share one path
};

std::string ReplaceValue(std::string& config, const std::string& key, const std::string& value) {
  const size_t at = config.find("\n" + key + "=") + 1;
  const size_t end = config.find('\n', at);
  config.replace(at, end - at, key + "=" + value);
  return value;
}

// A configuration in folders nested so deep that its relative path stays within the system's
// limit and its absolute one does not; made level by level, as no single path reaches it.
std::string WriteDeepConfiguration(const TempDir& dir, const std::string& contents) {
  const std::string level(200, 'd');
  std::string relative;
  int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (dir.path().size() + relative.size() + 8 < 4100) {
    relative += level + "/";
    mkdirat(fd, level.c_str(), 0700);
    const int next = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  const int file = openat(fd, "scan.cfg", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  EXPECT_EQ(write(file, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
  close(file);
  close(fd);
  return relative + "scan.cfg";
}

std::vector<HostileCase> HostileCases() {
  const auto source = [](const std::string& value, const std::string& message) {
    return [=](const TempDir& dir, std::string& config) {
      ReplaceValue(config, "file1", value);
      return message + (value[0] == '/' ? value : dir / value);
    };
  };
  const auto moduleSource = [](const std::string& value) {
    return [=](const TempDir&, std::string& config) {
      return "error reading: " + ReplaceValue(config, "mod_1_file_0", value);
    };
  };
  const auto fifo = [](const char* key, const char* message) {
    return [=](const TempDir& dir, std::string& config) {
      mkfifo((dir / "fifo").c_str(), 0600);
      ReplaceValue(config, key, "fifo");
      return message + (dir / "fifo");
    };
  };
  // A compilation database of the call graph; `told` as the entry names it (the tree's paths
  // relative to the tree).
  const auto database = [](const std::string& value, const std::string& told) {
    return [=](const TempDir& dir, std::string& config) {
      config.insert(config.find("[files]\n") + 8, "compile_commands=" + value + "\n");
      return "error reading compilation database: " + (told[0] == '/' ? told : dir / told);
    };
  };
  const std::string longValue = "out/" + std::string(3000, 'x') + ".dot";
  const std::string nulValue = std::string("out/cut\0.dot", 12);
  return {
      {"DevZeroAsSource", source("/dev/zero", "error reading: "), 1},
      {"DevZeroAsModuleSource", moduleSource("/dev/zero"), 1},
      {"FailingModuleSource", moduleSource("/proc/self/mem"), 1},
      {"FailingModuleSourceReference", moduleSource("/proc/self/mem"), 1, "reference"},
      {"FailingModuleSourceCSyntax",
       [=](const TempDir& dir, std::string& config) {
         config += "[scan]\nsyntax=c\n";
         return moduleSource("/proc/self/mem")(dir, config);
       },
       1},
      {"FifoWithoutWriterAsSource", fifo("file1", "error reading: "), 1},
      {"FifoWithoutReaderAsOutput", fifo("csv", "error writing: "), 1},
      {"FolderAsCompilationDatabase", database("src", "src (a folder)"), 1},
      {"ProcSelfMemAsCompilationDatabase",
       database("/proc/self/mem", "/proc/self/mem (Input/output error)"), 1},
      {"FifoWithoutWriterAsCompilationDatabase",
       [=](const TempDir& dir, std::string& config) {
         mkfifo((dir / "db.fifo").c_str(), 0600);
         return database("db.fifo", "db.fifo (nothing to read for 3 s)")(dir, config);
       },
       1},
      {"DevZeroAsConfiguration",
       [](const TempDir&, std::string&) {
         return std::string("error opening: /dev/zero (not a regular file)");
       },
       2},
      {"FifoAsConfiguration",
       [](const TempDir& dir, std::string&) {
         mkfifo((dir / "cfg.fifo").c_str(), 0600);
         return std::string("error opening: cfg.fifo (not a regular file)");
       },
       2},
      {"ConfigurationPathTooLong",
       [](const TempDir& dir, std::string& config) {
         const std::string deep = WriteDeepConfiguration(dir, config);
         return "The path of " + deep + " is too long for the system.";
       },
       2},
      {"OutputValueAtTheLengthLimit",
       [=](const TempDir& dir, std::string& config) {
         ReplaceValue(config, "dot", longValue);
         return "error writing: " + (dir / longValue.substr(0, 2999));
       },
       1},
      {"JsonValueAtTheLengthLimit",
       [=](const TempDir& dir, std::string& config) {
         // Cut, the value names out/cut, a file that could be made.
         std::string value = "out/";
         while (value.size() < 2994) value += "./";
         value += "cut.json";
         config.insert(config.find("[files]\n") + 8, "json=" + value + "\n");
         return "error writing: " + (dir / value.substr(0, 2999));
       },
       1},
      {"OutputValueWithNul",
       [=](const TempDir& dir, std::string& config) {
         ReplaceValue(config, "dot", nulValue);
         return "error writing: " + (dir / nulValue);
       },
       1},
      {"SourceValueAtTheLengthLimit",
       [](const TempDir& dir, std::string& config) {
         const std::string value = "src/" + std::string(3000, 'y') + ".c";
         ReplaceValue(config, "file1", value);
         return "error opening: " + (dir / value.substr(0, 2999));
       },
       1},
      {"SourceValueWithNul", source(std::string("src/b.c\0.h", 10), "error opening: "), 1, "",
       false, false},
      {"AllOutputsOnePath",
       [](const TempDir& dir, std::string& config) {
         for (const char* key : {"dot", "csv", "log"}) ReplaceValue(config, key, "out/mod.dot");
         const size_t modules = config.find("[modules]");
         const size_t dot = config.find("\ndot=", modules) + 1;
         config.replace(dot, config.find('\n', dot) - dot, "dot=out/mod.dot");
         return "error writing: " + (dir / "out/mod.dot");
       },
       1, "", false, true, true},
      {"StandardOutputIsTheCallGraph",
       [](const TempDir& dir, std::string&) { return "error writing: " + (dir / "out/calls.dot"); },
       1, "", true},
  };
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, EndsInBoundedTimeWithItsMessageAndKeepsOldOutputs) {
  TempDir dir;
  WriteTree(dir);
  std::string config = kConfig;
  const std::string expected = GetParam().arrange(dir, config);
  dir.Write("scan.cfg", config);
  for (const char* output : kOutputs) testing::WriteFile(dir / output, OldContents(output));
  std::string cfgArgument = "scan.cfg";
  if (GetParam().status == 2) {
    const std::string name = GetParam().name;
    cfgArgument = name == "DevZeroAsConfiguration" ? "/dev/zero"
                  : name == "FifoAsConfiguration"  ? "cfg.fifo"
                                                   : expected.substr(12, expected.find(" is") - 12);
  }
  BackgroundRun::Options options;
  options.engine = GetParam().engine;
  if (GetParam().stdoutIsCallGraph) options.outPath = dir / "out/calls.dot";
  BackgroundRun run({"-cfg", cfgArgument}, dir.path(), options);
  ASSERT_EQ(run.WaitAtMost(30), GetParam().status) << run.Out() << run.Err();
  const std::string told = GetParam().status == 2 ? run.Err() : run.Out();
  EXPECT_NE(told.find(expected + "\n"), std::string::npos) << told;
  if (std::string(GetParam().name).find("ModuleSource") != std::string::npos) {
    EXPECT_NE(ReadFile(dir / "out/mod.log").find("\r\n" + expected + "\r\n"), std::string::npos);
  }
  // Outputs that were refused keep their old bytes; nothing was made at a cut path.
  for (const char* output : kOutputs) {
    const std::string contents = ReadFile(dir / output);
    const bool refused = expected == "error writing: " + (dir / output) || GetParam().status == 2;
    if (GetParam().firstOutputKeeps) {
      // The module log, the run's first output, keeps the file that all outputs name.
      if (output == std::string("out/mod.dot")) {
        EXPECT_TRUE(contents.starts_with("reading CFG from: ")) << contents;
        EXPECT_EQ(contents.find("digraph"), std::string::npos) << contents;
      }
    } else if (refused && !GetParam().stdoutIsCallGraph) {
      EXPECT_EQ(contents, OldContents(output)) << output;
    }
    if (!refused && std::string(output).ends_with(".dot") && GetParam().dotCommentsPlain) {
      const auto error = FindDotSyntaxError(contents);
      EXPECT_FALSE(error) << output << ": " << DescribeDotSyntaxError(*error);
    }
  }
  EXPECT_FALSE(testing::FileExists(dir / "out/cut"));
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EveryCase, HostileInput, ::testing::ValuesIn(HostileCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Every file a run writes outside the line outputs (the JSON export, the baseline, the pictures)
// obeys their rule: it never names the configuration, a source, another output of the run or
// the file standard output goes to. The run says "error writing: PATH" and exits with 1; the
// file keeps what it held (or what the run's first output wrote to it).

struct OutputClash {
  const char* name;
  const char* filesKeys;   // added to [files]
  const char* moduleKeys;  // appended to [modules]
  const char* dotKeys;     // added to [dot]
  const char* baseline;    // -write-baseline FILE, when not empty
  const char* refused;     // the path reported: relative to the tree, or "=PATH" as given
  const char* keeps;       // the file that another writer keeps...
  const char* holds;       // ...and a text it holds afterwards (empty: its bytes before the run)
  bool stdoutIsRefused = false;  // standard output goes to `refused`
};

const OutputClash kOutputClashes[] = {
    {"JsonOntoConfiguration", "json=scan.cfg\n", "", "", "", "scan.cfg", "scan.cfg", ""},
    {"JsonOntoSource", "json=src/a.c\n", "", "", "", "src/a.c", "src/a.c", ""},
    {"JsonOntoCallGraph", "json=out/calls.dot\n", "", "", "", "out/calls.dot", "out/calls.dot",
     "digraph G"},
    {"JsonOntoStandardOutput", "json=out/run.log\n", "", "", "", "out/run.log", "out/run.log",
     "error writing: ", true},
    {"BaselineOntoConfiguration", "", "rule_0=lib !-> app\n", "", "scan.cfg", "=scan.cfg",
     "scan.cfg", ""},
    {"BaselineOntoSource", "", "rule_0=lib !-> app\n", "", "src/b.c", "=src/b.c", "src/b.c", ""},
    {"BaselineOntoModuleGraph", "", "rule_0=lib !-> app\n", "", "out/mod.dot", "out/mod.dot",
     "out/mod.dot", "rule violated: lib !-> app"},
    {"BothPicturesOneFile", "", "render=svg\ndot=out/calls.gv\n", "render=svg\n", "",
     "out/calls.svg", "out/calls.svg", "cluster_app"},
    {"PictureOntoJsonExport", "json=out/calls.json\n", "", "render=json\n", "", "out/calls.json",
     "out/calls.json", "\"moduleCalls\""},
};

class OutputClashes : public ::testing::TestWithParam<OutputClash> {};

TEST_P(OutputClashes, TheSecondWriterIsRefusedAndTheFileKeepsItsBytes) {
  const OutputClash& clash = GetParam();
  TempDir dir;
  WriteTree(dir);
  std::string config = kConfig;
  config.insert(config.find("[files]\n") + 8, clash.filesKeys);
  config.insert(config.find("[dot]\n") + 6, clash.dotKeys);
  // The first key of a name in a section wins.
  config.insert(config.find("[modules]\n") + 10, clash.moduleKeys);
  dir.Write("scan.cfg", config);
  const std::string kept = dir / clash.keeps;
  const std::string before = ReadFile(kept);
  BackgroundRun::Options options;
  if (clash.stdoutIsRefused) options.outPath = kept;
  StringList args{"-cfg", "scan.cfg"};
  if (*clash.baseline != '\0') args.insert(args.end(), {"-write-baseline", clash.baseline});
  BackgroundRun run(args, dir.path(), options);
  ASSERT_EQ(run.WaitAtMost(30), 1) << run.Out() << run.Err();
  const std::string log = clash.stdoutIsRefused ? ReadFile(kept) : run.Out();
  const std::string refused = *clash.refused == '=' ? clash.refused + 1 : dir / clash.refused;
  EXPECT_NE(log.find("error writing: " + refused + "\n"), std::string::npos) << log;
  const std::string after = ReadFile(kept);
  if (*clash.holds == '\0') {
    EXPECT_EQ(after, before);
  } else {
    EXPECT_NE(after.find(clash.holds), std::string::npos) << after.substr(0, 400);
  }
  EXPECT_EQ(TemporaryFiles(dir), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, OutputClashes, ::testing::ValuesIn(kOutputClashes),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Root writes into a folder that another user owns, who swaps every temporary file of the run
// for a link to a root-only file, as fast as he can: the root-only file keeps its owner, mode
// and bytes (the temporary files are handled through their descriptors, never by name again).

constexpr uid_t kNobody = 65534;

// A process of `nobody` that, until it is killed, replaces every temporary file in `folder`
// with a symbolic link to `target`.
pid_t StartLinkSwapper(const std::string& folder, const std::string& target) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
  const std::string link = folder + "/swap-link";
  for (;;) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename();
      if (name.find(".quillmap-") == std::string::npos) continue;
      unlink(link.c_str());
      if (symlink(target.c_str(), link.c_str()) == 0) rename(link.c_str(), entry.path().c_str());
    }
  }
}

TEST(TemporaryFileRaces, AFolderOwnerSwappingTemporaryFilesForLinksGainsNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, who may give files away";
  TempDir dir;
  WriteTree(dir);
  std::string config = kConfig;
  config.insert(config.find("[files]\n") + 8, "json=out/calls.json\n");
  config.insert(config.find("[dot]\n") + 6, "render=svg\n");
  dir.Write("scan.cfg", config);
  const std::string secret = dir.Write("secret", "root only\n");
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
  // The outputs are the folder owner's, so that root gives each replacement to him.
  for (const char* output : {"out/calls.dot", "out/calls.csv", "out/calls.json", "out/calls.svg",
                             "out/mod.dot", "out/mod.log"}) {
    testing::WriteFile(dir / output, "old\r\n");
    ASSERT_EQ(chown((dir / output).c_str(), kNobody, kNobody), 0);
  }
  // A link of his own in place of an output is not followed either.
  unlink((dir / "out/calls.csv").c_str());
  ASSERT_EQ(symlink(secret.c_str(), (dir / "out/calls.csv").c_str()), 0);
  ASSERT_EQ(lchown((dir / "out/calls.csv").c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(chown((dir / "out").c_str(), kNobody, kNobody), 0);
  const pid_t swapper = StartLinkSwapper(dir / "out", secret);
  for (int run = 0; run < 10; ++run) {
    BackgroundRun scan({"-cfg", "scan.cfg"}, dir.path());
    const int status = scan.WaitAtMost(30);
    EXPECT_TRUE(status == 0 || status == 1) << status << scan.Out();
  }
  kill(swapper, SIGKILL);
  waitpid(swapper, nullptr, 0);
  struct stat status {};
  ASSERT_EQ(stat(secret.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 0u);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadFile(secret), "root only\n");
}

}  // namespace
}  // namespace quillmap
