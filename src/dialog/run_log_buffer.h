/// The activity log of a run on a worker thread, held for the window: entries are joined as the
/// log joins them and handed over in batches, so that a run of many thousand entries costs the
/// window a few appends a second instead of one append each.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "context/scan_context.h"

namespace quillmap {

/// An entry that reported an error, and the line where it starts (from 0): in a Batch, counted
/// from the batch's first line; in the dialog's list, from the log's first line.
struct ErrorEntry {
  std::string text;
  size_t line = 0;
  bool operator==(const ErrorEntry&) const = default;
};

/// The progress of a run as its observer last heard it.
struct RunProgress {
  std::string stage;  // "" before the first source
  size_t done = 0;
  size_t total = 0;
};

class RunLogBuffer : public ActivityLog {
 public:
  /// `logEmpty`: whether the window's log is empty, which decides the first separator.
  explicit RunLogBuffer(bool logEmpty) : logEmpty_(logEmpty) {}

  /// Called by the run's thread.
  void AppendLog(const std::string& text, bool replace) override;
  void AppendErrorEntry(const std::string& text) override;

  /// What was appended since the last Take: `replace` when the log is to be replaced by `text`.
  struct Batch {
    bool replace = false;
    std::string text;
    std::vector<ErrorEntry> errors;
    bool empty() const { return !replace && text.empty() && errors.empty(); }
  };
  /// Called by the window's thread.
  Batch Take();

 private:
  void AppendLocked(const std::string& text, bool replace);

  std::mutex mutex_;
  Batch pending_;
  bool logEmpty_;
  size_t batchLines_ = 0;  // line feeds in the pending batch's text
};

}  // namespace quillmap
