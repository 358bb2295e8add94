#include "support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace quillmap::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/quillmap-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Give back permissions that a test may have taken away, so that everything can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    chmod(it->path().c_str(), 0700);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& contents) const {
  const std::string full = path_ + name;
  std::filesystem::create_directories(std::filesystem::path(full).parent_path());
  WriteFile(full, contents);
  return full;
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

namespace {

constexpr std::string_view kDotHeaderStart = "// crated on: ";
constexpr std::string_view kDotHeaderTimeEnd = " with";
constexpr std::string_view kDotHeaderTail = " with quillmap V1.0.0.2 BETA!!!\r\n";
constexpr std::string_view kDotTimeForm = "dd.dd.dddd, dd:dd.dd";

bool IsTimeCharacter(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == ',' || c == ':' || c == ' ';
}

}  // namespace

std::string WithoutDotTimes(const std::string& text) {
  std::string result;
  size_t done = 0;
  for (size_t at = text.find(kDotHeaderStart); at != std::string::npos;
       at = text.find(kDotHeaderStart, at + 1)) {
    const size_t time = at + kDotHeaderStart.size();
    const size_t end = text.find(kDotHeaderTimeEnd, time);
    if (end == std::string::npos || end == time) continue;
    if (!std::all_of(text.begin() + time, text.begin() + end, IsTimeCharacter)) continue;
    result.append(text, done, time - done).append("TIME");
    done = end;
  }
  return result.append(text, done);
}

bool SplitDotHeader(const std::string& contents, std::string& rest) {
  rest = contents;
  const std::string_view text = contents;
  if (!text.starts_with(kDotHeaderStart)) return false;
  const std::string_view time = text.substr(kDotHeaderStart.size(), kDotTimeForm.size());
  if (time.size() != kDotTimeForm.size()) return false;
  for (size_t i = 0; i < time.size(); ++i) {
    const bool digit = time[i] >= '0' && time[i] <= '9';
    if (kDotTimeForm[i] == 'd' ? !digit : time[i] != kDotTimeForm[i]) return false;
  }
  const std::string_view tail = text.substr(kDotHeaderStart.size() + time.size());
  if (!tail.starts_with(kDotHeaderTail)) return false;
  rest = std::string(tail.substr(kDotHeaderTail.size()));
  return true;
}

std::string ReplacedAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

bool FileExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

ProgramResult RunQuillmap(const std::vector<std::string>& args, const std::string& workingDir) {
  TempDir capture;
  const std::string outPath = capture / "stdout";
  const std::string errPath = capture / "stderr";
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    if (chdir(workingDir.c_str()) != 0) _exit(127);
    // The batch mode must never need a display.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    std::vector<char*> argv;
    std::string program = QUILLMAP_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  ProgramResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

void ExpectGraphvizAccepts(const std::string& dotPath) {
  EXPECT_TRUE(ArchiveDotFile(dotPath)) << "cannot archive " << dotPath;
  if (std::system("command -v dot > /dev/null 2>&1") != 0) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") ADD_FAILURE() << "graphviz (dot) is missing";
    return;
  }
  const std::string errors = dotPath + ".dot-errors";
  const std::string command = "dot -Tsvg -o /dev/null '" + dotPath + "' 2> '" + errors + "'";
  const int status = std::system(command.c_str());
  EXPECT_EQ(status, 0) << "dot rejects " << dotPath << ":\n"
                       << ReadFile(errors) << "\n"
                       << ReadFile(dotPath);
  std::remove(errors.c_str());
}

bool ArchiveDotFile(const std::string& path) {
  const char* archive = std::getenv("QUILLMAP_DOT_ARCHIVE");
  if (archive == nullptr || *archive == '\0') return true;
  std::string prefix;
  if (const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info()) {
    prefix = std::string(test->test_suite_name()) + "." + test->name() + "-";
  }
  for (char& c : prefix) {
    if (c == '/') c = '_';  // parameterised test names
  }
  std::string name = std::string(archive) + "/" + prefix +
                     std::filesystem::path(path).stem().string() + "-XXXXXX.dot";
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0) return false;
  close(fd);
  std::error_code error;
  std::filesystem::copy_file(path, name, std::filesystem::copy_options::overwrite_existing, error);
  if (error) std::remove(name.c_str());
  return !error;
}

std::vector<std::string> CrLfLines(const std::string& contents) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < contents.size()) {
    const size_t end = contents.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(contents.substr(start) + "<no line end>");
      break;
    }
    lines.push_back(contents.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

MemoryWindow::MemoryWindow()
    : texts{{kCfgFileButton, "CFG File"},
            {kPathEdit, ""},
            {kLogEdit, ""},
            {kScanButton, "SCAN"},
            {kNewCfgButton, "New CFG"},
            {kCancelButton, "Cancel"}} {}

std::string MemoryWindow::GetItemText(int id) const {
  const auto it = texts.find(id);
  return it == texts.end() ? std::string() : it->second;
}

bool MemoryWindow::SetItemText(int id, const std::string& text) {
  if (!HasItem(id)) return false;
  texts[id] = text;
  return true;
}

void MemoryWindow::EnableItem(int id, bool enable) {
  if (HasItem(id)) enabled[id] = enable;
}

void MemoryWindow::OnLogEntry(const std::string& text, bool replace) {
  if (replace) {
    entries.clear();
    if (!text.empty()) entries.push_back(text);
  } else {
    entries.push_back(text);
  }
}

}  // namespace quillmap::testing
