#include "dialog/run_log_buffer.h"

#include <algorithm>

namespace quillmap {

namespace {
constexpr const char* kEntrySeparator = "\r\n";
}  // namespace

void RunLogBuffer::AppendLocked(const std::string& text, bool replace) {
  if (replace) {
    pending_ = Batch{};
    pending_.replace = true;
    pending_.text = text;
    batchLines_ = 0;
    logEmpty_ = text.empty();
  } else {
    std::string& out = pending_.text;
    if (!logEmpty_) {
      out += kEntrySeparator;
      ++batchLines_;
    }
    out += text;
    logEmpty_ = logEmpty_ && text.empty();
  }
  batchLines_ += static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

void RunLogBuffer::AppendLog(const std::string& text, bool replace) {
  std::lock_guard<std::mutex> lock(mutex_);
  AppendLocked(text, replace);
}

void RunLogBuffer::AppendErrorEntry(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  AppendLocked(text, false);
  // The entry starts on the line its own line feeds end on, counted back.
  const size_t own = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  pending_.errors.push_back({text, batchLines_ - own});
}

RunLogBuffer::Batch RunLogBuffer::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  Batch taken = std::move(pending_);
  pending_ = Batch{};
  batchLines_ = 0;
  return taken;
}

}  // namespace quillmap
