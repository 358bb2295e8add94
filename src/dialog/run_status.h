/// What the dialog's status bar says about the last run: under way (file n of N), finished
/// without errors, finished with N errors, stopped, or not run; with the batch mode's exit
/// status class of the same outcome.
#pragma once

#include <cstddef>
#include <string>

#include "scan/run_outcome.h"
#include "dialog/run_log_buffer.h"
#include "scan/scan_run.h"

namespace quillmap {

inline constexpr const char* kStatusIdle = "no scan run yet";
inline constexpr const char* kStatusRunning = "running";
inline constexpr const char* kStatusFileOf = ", file ";
inline constexpr const char* kStatusOf = " of ";
inline constexpr const char* kStatusStopping = " (stopping)";
inline constexpr const char* kStatusNoErrors = "finished without errors";
inline constexpr const char* kStatusViolations =
    "finished without errors, with new rule violations";
inline constexpr const char* kStatusWithErrors = "finished with ";
inline constexpr const char* kStatusOneError = " error";
inline constexpr const char* kStatusErrors = " errors";
inline constexpr const char* kStatusStopped =
    "stopped: no output written, the previous outputs are kept";
inline constexpr const char* kStatusNotRun = "not run: ";
inline constexpr const char* kStatusExitClass = " (exit status ";

struct RunStatus {
  enum class State { kIdle, kRunning, kFinished, kStopped, kNotRun };
  State state = State::kIdle;
  std::string text = kStatusIdle;
  int gaugePercent = -1;  // 0..100 while a run knows its files, else -1 (no gauge)
  int exitStatus = -1;    // the batch mode's exit status for the same outcome; -1 for none
  size_t errorCount = 0;
};

/// A run under way, as its observer last reported it.
RunStatus RunningStatus(const RunProgress& progress, bool stopping);
/// A run that ended: finished (with the number of error entries listed), or stopped.
RunStatus EndedStatus(const RunOutcome& outcome, size_t errorEntries);
/// A run that could not start, with the message that says why.
RunStatus NotRunStatus(const std::string& message);

}  // namespace quillmap
