#include "outputs/line_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "text/line_feeds.h"
#include "files/paths.h"

namespace quillmap {

std::string OnDiskLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  AppendOnDiskLine(line, text);
  return line;
}

void AppendOnDiskLine(std::string& out, std::string_view text) {
  size_t copied = 0;
  ForEachLineFeed(text, [&](size_t lineFeed) {
    out.append(text.substr(copied, lineFeed - copied));
    out += "\r\n";
    copied = lineFeed + 1;
  });
  out.append(text.substr(copied));
  out += "\r\n";
}

bool LineWriter::WriteLine(const std::string& path, std::string_view text, bool truncate) {
  if (path.empty()) return false;
  ++lineSequence_;
  if ((protecting_ && IsProtected(path)) || !WriteLineTo(path, text, truncate)) {
    RecordFailure(path, lineSequence_);
    return false;
  }
  return true;
}

bool LineWriter::WriteOnDiskLines(const std::string& path, std::string_view lines) {
  if (path.empty()) return false;
  ++lineSequence_;
  if ((protecting_ && IsProtected(path)) || !WriteOnDiskLinesTo(path, lines)) {
    RecordFailure(path, lineSequence_);
    return false;
  }
  return true;
}

bool LineWriter::WriteOnDiskLinesTo(const std::string& path, std::string_view lines) {
  bool written = true;
  for (size_t end; (end = lines.find("\r\n")) != std::string_view::npos;) {
    written = WriteLineTo(path, lines.substr(0, end), false) && written;
    lines.remove_prefix(end + 2);
  }
  return written;
}

void LineWriter::BeginRun() {
  lineSequence_ = 0;
  failures_.clear();
  failedPaths_.clear();
  Protect({});
}

void LineWriter::RecordFailure(const std::string& path, uint64_t sequence) {
  auto known = std::find_if(failures_.begin(), failures_.end(),
                            [&](const Failure& failure) { return failure.path == path; });
  if (known != failures_.end()) {
    if (known->sequence <= sequence) return;
    failures_.erase(known);
  }
  const auto at = std::upper_bound(
      failures_.begin(), failures_.end(), sequence,
      [](uint64_t wanted, const Failure& failure) { return wanted < failure.sequence; });
  failures_.insert(at, Failure{sequence, path});
  failedPaths_.clear();
  for (const Failure& failure : failures_) failedPaths_.push_back(failure.path);
}

void LineWriter::Protect(const StringList& paths) {
  protecting_ = false;
  protectedFiles_.clear();
  protectedMissingPaths_.clear();
  protectedByPath_.clear();
  lastJudged_ = nullptr;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    protecting_ = true;
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
      protectedFiles_.insert({status.st_dev, status.st_ino});
    } else {
      protectedMissingPaths_.insert(CanonicalFilePath(path));
    }
  }
}

bool LineWriter::IsProtected(const std::string& path) {
  // Consecutive lines mostly go to the same output.
  if (lastJudged_ != nullptr && *lastJudged_ == path) return lastJudgement_;
  const auto known = protectedByPath_.find(path);
  if (known != protectedByPath_.end()) {
    lastJudged_ = &known->first;
    lastJudgement_ = known->second;
    return known->second;
  }
  struct stat status {};
  const bool found = stat(path.c_str(), &status) == 0
                         ? protectedFiles_.count({status.st_dev, status.st_ino}) != 0
                         : !protectedMissingPaths_.empty() &&
                               protectedMissingPaths_.count(CanonicalFilePath(path)) != 0;
  // A path is judged once per run: the first line of an output may create the file, and a
  // created file must not change the answer for its later lines.
  lastJudged_ = &protectedByPath_.emplace(path, found).first->first;
  lastJudgement_ = found;
  return found;
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
