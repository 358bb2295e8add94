/// The baseline of known rule violations: a text file of report lines, one a line, that a run
/// accepts without failing; entries that no longer match a violation are stale.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rules/module_rules.h"

namespace quillmap {

/// What a violation and a baseline entry are compared by: the line without the line number of
/// its call, so that edits which only move a call do not make a known violation new; for a call
/// rule, the line without its witness chain.
std::string BaselineKey(std::string_view line);

/// An entry of a call rule ("rule violated: forbid_reach_N ..."); the other entries are the
/// module rules'. One baseline holds both.
bool IsCallRuleEntry(std::string_view line);

/// Reads the entries of the baseline at `path`: every line that is not empty and does not begin
/// with '#' must be a report line. False with `error` set when the file cannot be read or a line
/// is malformed.
bool ReadBaseline(const std::string& path, StringList& entries, std::string& error);

/// Writes the report lines of `violations`, one a line. False when the file cannot be written.
bool WriteBaseline(const std::string& path, const std::vector<RuleViolation>& violations);

struct BaselineComparison {
  std::vector<size_t> fresh;  // indexes of the violations that the baseline does not list
  StringList stale;           // entries that match no violation, in file order
};
BaselineComparison CompareWithBaseline(const std::vector<RuleViolation>& violations,
                                       const StringList& entries);

}  // namespace quillmap
