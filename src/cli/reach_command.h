/// The reachability queries of the command line ("-reach NAME", "-why A,B", "-dead all|static",
/// with "-format csv|json" and "-o FILE"), answered over the model of the run they follow, and
/// the GitHub Actions annotations of "-annotations github".
#pragma once

#include <iosfwd>
#include <map>
#include <string>

#include "reach/reach_report.h"
#include "scan/scan_run.h"

namespace quillmap {

inline constexpr const char* kReachOption = "reach";
inline constexpr const char* kWhyOption = "why";
inline constexpr const char* kDeadOption = "dead";
inline constexpr const char* kFormatOption = "format";
inline constexpr const char* kAnswerFileOption = "o";
inline constexpr const char* kAnnotationsOption = "annotations";

class ReachCommand {
 public:
  /// Reads the query options; false (with the message on `err`) when they are malformed.
  bool Parse(const std::map<std::string, std::string>& options, std::ostream& err);
  /// A query was asked for.
  bool active() const { return kind_ != Kind::kNone; }
  /// The answer goes to standard output (no "-o"), so the activity log must not.
  bool AnswersToStandardOutput() const { return active() && answerPath_.empty(); }
  /// Answers over the finished run; returns the exit status of the answer (1 when a name is
  /// unknown or the answer file cannot be written).
  int Answer(ScanRun& scan, const std::string& cfgDir, std::ostream& out, ActivityLog& log) const;

 private:
  enum class Kind { kNone, kReach, kWhy, kDead };
  Kind kind_ = Kind::kNone;
  std::string name_, to_;
  bool callers_ = false;
  bool externalEntries_ = false;
  ReachFormat format_ = ReachFormat::kCsv;
  std::string answerPath_;
};

/// Prints "::error file=F,line=L::TEXT" for each new rule violation when "-annotations github"
/// is given.
void PrintAnnotations(const ScanRun& scan, const std::map<std::string, std::string>& options,
                      ActivityLog& log);

}  // namespace quillmap
