#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dot_syntax.h"

namespace quillmap::fuzz {

std::vector<std::string> SplitParts(std::string_view input) {
  std::vector<std::string> parts;
  for (;;) {
    const size_t at = input.find(kPartSeparator);
    parts.emplace_back(input.substr(0, at));
    if (at == std::string_view::npos) return parts;
    input.remove_prefix(at + kPartSeparator.size());
  }
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t lf = text.find('\n');
    lines.emplace_back(text.substr(0, lf));
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return lines;
}

void Fail(const char* property, const std::string& detail) {
  std::fprintf(stderr, "\n==== property violated: %s\n%s\n====\n", property, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

ScratchDir& ScratchDir::Get() {
  static ScratchDir dir;
  return dir;
}

ScratchDir::ScratchDir() {
  std::string base = "/dev/shm";
  if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp) base = tmp;
  if (access(base.c_str(), W_OK) != 0) base = "/tmp";
  std::string pattern = base + "/quillmap-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp", pattern);
  path_ = pattern + "/";
  static std::string removeAtExit;
  removeAtExit = path_;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(removeAtExit, ignored);
  });
}

std::string ScratchDir::Write(const std::string& name, std::string_view contents) const {
  const std::string full = path_ + name;
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  if (!out) Fail("scratch file written", full);
  return full;
}

void ScratchDir::Remove(const std::string& name) const { unlink((path_ + name).c_str()); }

std::string ReadFileBytes(const std::string& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  if (exists != nullptr) *exists = static_cast<bool>(in);
  std::ostringstream contents;
  if (in) contents << in.rdbuf();
  return contents.str();
}

FuzzWindow::FuzzWindow()
    : texts_{{kCfgFileButton, "CFG File"}, {kPathEdit, ""}, {kLogEdit, ""}, {kScanButton, "SCAN"}} {
}

std::string FuzzWindow::GetItemText(int id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

bool FuzzWindow::SetItemText(int id, const std::string& text) {
  if (!HasItem(id)) return false;
  if (id == kLogEdit) {
    logEmpty_ = text.empty();
  } else {
    texts_[id] = text;
  }
  return true;
}

bool FuzzWindow::AppendItemText(int id, const std::string& text) {
  if (id != kLogEdit) return WindowSystem::AppendItemText(id, text);
  logEmpty_ = logEmpty_ && text.empty();
  return true;
}

bool FuzzWindow::IsItemTextEmpty(int id) const {
  return id == kLogEdit ? logEmpty_ : GetItemText(id).empty();
}

void FuzzWindow::OnLogEntry(const std::string& text, bool replace) {
  if (replace) entries.clear();
  if (!replace || !text.empty()) entries.push_back(text);
}

bool MemoryLineWriter::PrepareTarget(const std::string& path, bool, OutputTarget& target) {
  target = OutputTarget{};
  target.writePath = path;
  return true;
}

bool MemoryLineWriter::WriteLineTo(Output& output, std::string_view text, bool truncate) {
  std::string& contents = files[*output.path];
  if (truncate) contents.clear();
  contents += OnDiskLine(text);
  return true;
}

std::string DotFileProblem(const std::string& contents) {
  if (const auto error = FindDotSyntaxError(contents)) {
    return "DOT syntax error, " + DescribeDotSyntaxError(*error) + ", in:\n" + contents;
  }
  if (!contents.ends_with("}\r\n")) return "DOT file does not end in \"}\" CR LF:\n" + contents;
  return {};
}

}  // namespace quillmap::fuzz
