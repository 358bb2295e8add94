#include "support/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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
    : texts{{kCfgFileButton, "CFG File"}, {kPathEdit, ""}, {kLogEdit, ""}, {kScanButton, "SCAN"}} {}

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
