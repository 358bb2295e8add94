#include "scan/deferred_log.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quillmap {

namespace {
constexpr size_t kLengthBytes = sizeof(uint64_t);
constexpr size_t kReadBlock = size_t{1} << 20;
}  // namespace

DeferredLog::DeferredLog(size_t memoryBytes) : memoryBytes_(memoryBytes) {}

DeferredLog::~DeferredLog() {
  if (file_ != nullptr) std::fclose(file_);
}

void DeferredLog::AppendLog(const std::string& text, bool replace) {
  Put(replace ? kReplace : kPlain, text);
}

void DeferredLog::AppendErrorEntry(const std::string& text) { Put(kError, text); }

void DeferredLog::Put(Kind kind, std::string_view text) {
  plainEntries_ += kind == kPlain;
  held_.push_back(kind);
  const uint64_t length = text.size();
  char bytes[kLengthBytes];
  std::memcpy(bytes, &length, kLengthBytes);
  held_.append(bytes, kLengthBytes);
  held_.append(text);
  // Without a file (none could be made), everything stays in memory.
  if (held_.size() >= memoryBytes_) Spill();
}

bool DeferredLog::Spill() {
  if (file_ == nullptr && !fileFailed_) {
    file_ = std::tmpfile();
    fileFailed_ = file_ == nullptr;
  }
  if (file_ == nullptr || fileFailed_) return false;
  if (held_.empty()) return true;
  if (std::fwrite(held_.data(), 1, held_.size(), file_) != held_.size() ||
      std::fflush(file_) != 0) {
    // The disk is full: the file keeps what it held before, the rest stays in memory.
    fileFailed_ = true;
    return false;
  }
  fileBytes_ += held_.size();
  held_.clear();
  return true;
}

void DeferredLog::Give(ActivityLog& log, Kind kind, const std::string& text) {
  switch (kind) {
    case kError:
      log.AppendErrorEntry(text);
      break;
    case kReplace:
      log.AppendLog(text, true);
      break;
    case kPlain:
      log.AppendLog(text, false);
      break;
  }
}

void DeferredLog::ForEach(const std::function<void(Kind, const std::string&)>& visit) {
  std::string text;
  if (file_ != nullptr) {
    Spill();
    std::rewind(file_);
    std::vector<char> block(kReadBlock);
    std::string pending;  // a record cut by the end of a block
    size_t left = fileBytes_;
    size_t got;
    while (left > 0 &&
           (got = std::fread(block.data(), 1, std::min(left, block.size()), file_)) > 0) {
      left -= got;
      pending.append(block.data(), got);
      size_t at = 0;
      while (pending.size() - at >= 1 + kLengthBytes) {
        uint64_t length;
        std::memcpy(&length, pending.data() + at + 1, kLengthBytes);
        if (pending.size() - at - 1 - kLengthBytes < length) break;
        text.assign(pending, at + 1 + kLengthBytes, length);
        visit(static_cast<Kind>(pending[at]), text);
        at += 1 + kLengthBytes + length;
      }
      pending.erase(0, at);
    }
    std::fclose(file_);
    file_ = nullptr;
    fileBytes_ = 0;
    fileFailed_ = false;
  }
  // What memory holds comes after what the file held.
  for (size_t at = 0; at + 1 + kLengthBytes <= held_.size();) {
    uint64_t length;
    std::memcpy(&length, held_.data() + at + 1, kLengthBytes);
    text.assign(held_, at + 1 + kLengthBytes, length);
    visit(static_cast<Kind>(held_[at]), text);
    at += 1 + kLengthBytes + length;
  }
  held_.clear();
  held_.shrink_to_fit();
  plainEntries_ = 0;
}

void DeferredLog::HandOn(ActivityLog& log) {
  ForEach([&log](Kind kind, const std::string& text) { Give(log, kind, text); });
}

void DeferredLog::HandOnLast(ActivityLog& log, size_t lastPlain,
                             const std::function<std::string(size_t)>& leftOut) {
  const size_t skipped = plainEntries_ > lastPlain ? plainEntries_ - lastPlain : 0;
  size_t seen = 0;
  ForEach([&](Kind kind, const std::string& text) {
    if (kind == kPlain && seen++ < skipped) {
      if (seen == 1) Give(log, kPlain, leftOut(skipped));
      return;
    }
    Give(log, kind, text);
  });
}

}  // namespace quillmap
