/// How a scan run ended, and the exit status class of that ending: the batch mode's exit status
/// and the dialog's status line both read it from here.
#pragma once

namespace quillmap {

/// How a scan run ended: the classes behind the batch mode's exit status and the dialog's status.
struct RunOutcome {
  bool started = false;        // a configuration path was given
  bool fileError = false;      // the configuration could not be opened
  bool finished = false;       // the run appended its final entry
  bool errorReported = false;  // a filter, file list, open or write error was reported
  bool stopped = false;        // the host stopped the run; no output was written
  bool newViolations = false;  // a module rule is broken by a call the baseline does not list
};

/// A run that reported an error exits with kExitRunFailed even when it also broke a module
/// rule: a broken run cannot vouch for its rule check.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitRunFailed = 1,
  kExitUsage = 2,
  kExitRulesViolated = 3,
  kExitInternalFailure = 2,
};

/// What a front end says when the configuration path is empty.
inline constexpr const char* kNoConfigurationGiven = "no configuration file given";

/// The exit status class of a run's outcome. A run that did not start (no path) or whose
/// configuration could not be opened is kExitUsage.
constexpr ExitStatus ExitStatusOf(const RunOutcome& outcome) {
  if (!outcome.started || outcome.fileError) return kExitUsage;
  if (outcome.errorReported) return kExitRunFailed;
  return outcome.newViolations ? kExitRulesViolated : kExitSuccess;
}

}  // namespace quillmap
