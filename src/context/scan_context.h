/// What a scan borrows from its host: the run's settings, the output line writer and the activity
/// log, plus the record of errors the run reported.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "config/scan_settings.h"
#include "config/source_lists.h"
#include "files/file_error.h"
#include "outputs/line_writer.h"

namespace quillmap {

/// Log entry (and output text) for a source file whose reading failed after it was opened.
inline std::string ErrorReadingText(const std::string& path) { return "error reading: " + path; }
/// Log entry for an output file that could not be written.
inline std::string ErrorWritingText(const std::string& path) { return "error writing: " + path; }

/// The one reporting channel of every subsystem.
class ActivityLog {
 public:
  virtual ~ActivityLog() = default;
  /// Appends one entry (after CR LF when the log is not empty), or replaces the whole log.
  virtual void AppendLog(const std::string& text, bool replace) = 0;
  /// Appends an entry that reports an error of the run, so that a host can list the errors.
  virtual void AppendErrorEntry(const std::string& text) { AppendLog(text, false); }
};

/// What a host watches of a run under way: the progress from source to source, and its wish to
/// stop the run.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  /// A stage of the run (kModulesStage, kCallGraphStage) starts its source `done` of `total`
  /// (0-based), or has finished all (`done` == `total`).
  virtual void OnProgress(std::string_view /*stage*/, size_t /*done*/, size_t /*total*/) {}
  /// Polled at every source boundary; true stops the run there.
  virtual bool StopRequested() { return false; }
};

inline constexpr std::string_view kModulesStage = "modules";
inline constexpr std::string_view kCallGraphStage = "call graph";

class ScanContext {
 public:
  /// `settings` are the run's, read when it started; they stay where they are for the run.
  ScanContext(const ScanSettings& settings, LineWriter& writer, ActivityLog& log,
              RunObserver* observer = nullptr)
      : settings_(settings), writer_(writer), log_(&log), observer_(observer) {}

  /// Reports the progress of `stage` and asks the host whether to go on. Returns true when the
  /// run is to stop here (and from then on).
  bool StopAtSource(std::string_view stage, size_t done, size_t total) {
    if (observer_ == nullptr) return false;
    observer_->OnProgress(stage, done, total);
    if (!stopped_ && observer_->StopRequested()) stopped_ = true;
    return stopped_;
  }
  bool stopped() const { return stopped_; }
  /// Asks the host whether to stop without reporting progress, for the loops inside a stage's
  /// sources. True when the run is to stop (and from then on).
  bool StopRequested() {
    if (!stopped_ && observer_ != nullptr && observer_->StopRequested()) stopped_ = true;
    return stopped_;
  }

  const ScanSettings& settings() const { return settings_; }
  /// Sends the entries from here on to `log` (one that holds them back for a while); returns
  /// the log they went to so far.
  ActivityLog& SwapLog(ActivityLog& log) {
    ActivityLog& previous = *log_;
    log_ = &log;
    return previous;
  }
  LineWriter& writer() { return writer_; }
  void Log(const std::string& entry) { log_->AppendLog(entry, false); }
  /// Logs an entry that reports an error, and records the error.
  void LogError(const std::string& entry) {
    log_->AppendErrorEntry(entry);
    NoteError();
  }

  /// Records that the run reported an error (it then does not count as a success).
  void NoteError() { errorReported_ = true; }
  bool errorReported() const { return errorReported_; }
  void ResetErrors() { errorReported_ = false; }

  /// The run's source lists, each resolved once.
  SourceListCache& sourceLists() {
    // Walking a large tree's patterns takes seconds: a cancel ends the walk too.
    sourceLists_.SetStop([this] { return StopRequested(); });
    return sourceLists_;
  }
  /// The paths of `list`. Its problems are logged as errors, each entry once per run however
  /// often the list is asked for.
  const StringList& Reported(const SourceList& list) {
    for (const std::string& problem : list.problems) {
      if (!reportedProblems_.insert(problem).second) continue;
      Log(problem);
      NoteError();
    }
    return list.paths;
  }

 private:
  const ScanSettings& settings_;
  LineWriter& writer_;
  ActivityLog* log_;
  RunObserver* observer_;
  bool errorReported_ = false;
  bool stopped_ = false;
  SourceListCache sourceLists_;
  std::set<std::string> reportedProblems_;
};

}  // namespace quillmap
