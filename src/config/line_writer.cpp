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
  std::FILE* file = OpenFile(path, truncate);
  if (file == nullptr) return false;
  const bool written = WriteBytes(file, OnDiskLine(text));
  const bool closed = CloseFile(file);
  return written && closed;
}

std::FILE* PerLineWriter::OpenFile(const std::string& path, bool truncate) {
  return std::fopen(path.c_str(), truncate ? "wb" : "ab");
}

bool PerLineWriter::WriteBytes(std::FILE* file, std::string_view bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = std::fflush(file) == 0;
  return written && flushed;
}

bool PerLineWriter::CloseFile(std::FILE* file) { return std::fclose(file) == 0; }

}  // namespace quillmap
