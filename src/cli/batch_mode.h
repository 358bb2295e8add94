/// The batch mode: the start-up steps and one scan run without any window, the activity log
/// printed to standard output as it grows, and an exit status for scripts.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "scan/scan_run.h"

namespace quillmap {

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

/// The exit status class of a run's outcome: the batch mode's exit status and the dialog's status.
/// A run that did not start (no path) or whose configuration could not be opened is kExitUsage.
ExitStatus ExitStatusOf(const RunOutcome& outcome);

/// The usage text printed by --help and on a malformed command line.
std::string UsageText();

/// Runs the batch mode on the program's arguments (without the program name); the log goes to
/// `out`, messages to `err`. Returns the exit status.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// Handles --help, -h and --version. Returns true (with the status in `status`) when it did.
bool HandleInfoOption(const std::vector<std::string>& args, std::ostream& out, int& status);

}  // namespace quillmap
