/// The batch mode: the start-up steps and one scan run without any window, the activity log
/// printed to standard output as it grows, and an exit status for scripts.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "scan/scan_run.h"

namespace quillmap {

/// The usage text printed by --help and on a malformed command line.
std::string UsageText();

/// Runs the batch mode on the program's arguments (without the program name); the log goes to
/// `out`, messages to `err`. Returns the exit status.
int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

/// Handles --help, -h and --version. Returns true (with the status in `status`) when it did.
bool HandleInfoOption(const std::vector<std::string>& args, std::ostream& out, int& status);

}  // namespace quillmap
