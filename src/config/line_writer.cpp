#include "config/line_writer.h"

#include <cstdio>

namespace quillmap {

std::string OnDiskLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\n') line += '\r';
    line += c;
  }
  line += "\r\n";
  return line;
}

bool LineWriter::WriteLine(const std::string& path, std::string_view text, bool truncate) {
  if (path.empty()) return false;
  if (WriteLineTo(path, text, truncate)) return true;
  RecordFailure(path);
  return false;
}

void LineWriter::BeginRun() {
  failedPaths_.clear();
  failedSet_.clear();
}

void LineWriter::RecordFailure(const std::string& path) {
  if (failedSet_.insert(path).second) failedPaths_.push_back(path);
}

bool PerLineWriter::WriteLineTo(const std::string& path, std::string_view text, bool truncate) {
  std::FILE* file = std::fopen(path.c_str(), truncate ? "wb" : "ab");
  if (file == nullptr) return false;
  const std::string line = OnDiskLine(text);
  const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  return written && flushed && closed;
}

}  // namespace quillmap
