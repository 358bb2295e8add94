#include "cli/reach_command.h"

#include <ostream>

#include "config/profile_reader.h"
#include "files/paths.h"
#include "outputs/output_replacement.h"
#include "rules/call_rules.h"

namespace quillmap {

namespace {
constexpr const char* kBadCommandLine = "bad command line: ";
constexpr const char* kDirection = "direction";
constexpr const char* kCallers = "callers";
constexpr const char* kCallees = "callees";
constexpr const char* kDeadAll = "all";
constexpr const char* kDeadStatic = "static";
constexpr const char* kCsv = "csv";
constexpr const char* kJson = "json";
constexpr const char* kGithub = "github";
constexpr const char* kAnswerWritten = "answer written: ";

}  // namespace

bool ReachCommand::Parse(const std::map<std::string, std::string>& options, std::ostream& err) {
  const auto value = [&](const char* option) {
    const auto it = options.find(option);
    return it == options.end() ? std::string() : it->second;
  };
  int asked = 0;
  if (const std::string reach = value(kReachOption); !reach.empty()) {
    kind_ = Kind::kReach;
    name_ = reach;
    ++asked;
  }
  if (const std::string why = value(kWhyOption); !why.empty()) {
    kind_ = Kind::kWhy;
    const size_t comma = why.find(',');
    name_ = Trim(std::string_view(why).substr(0, comma));
    to_ = comma == std::string::npos ? "" : Trim(std::string_view(why).substr(comma + 1));
    if (name_.empty() || to_.empty()) {
      err << kBadCommandLine << "-why takes two names, A,B: " << why << '\n';
      return false;
    }
    ++asked;
  }
  if (const std::string dead = value(kDeadOption); !dead.empty()) {
    kind_ = Kind::kDead;
    if (dead != kDeadAll && dead != kDeadStatic) {
      err << kBadCommandLine << "-dead takes all or static: " << dead << '\n';
      return false;
    }
    externalEntries_ = dead == kDeadStatic;
    ++asked;
  }
  if (asked > 1) {
    err << kBadCommandLine << "-reach, -why and -dead are asked one at a time\n";
    return false;
  }
  const std::string direction = value(kDirection);
  callers_ = direction == kCallers;
  if (kind_ == Kind::kReach && !direction.empty() && direction != kCallers &&
      direction != kCallees) {
    err << kBadCommandLine << "-reach follows callees or callers: " << direction << '\n';
    return false;
  }
  const std::string format = value(kFormatOption);
  if (!format.empty() && format != kCsv && format != kJson) {
    err << kBadCommandLine << "-format is csv or json: " << format << '\n';
    return false;
  }
  format_ = format == kJson ? ReachFormat::kJson : ReachFormat::kCsv;
  answerPath_ = value(kAnswerFileOption);
  const std::string annotations = value(kAnnotationsOption);
  if (!annotations.empty() && annotations != kGithub) {
    err << kBadCommandLine << "-annotations knows github: " << annotations << '\n';
    return false;
  }
  return true;
}

int ReachCommand::Answer(ScanRun& scan, const std::string& cfgDir, std::ostream& out,
                         ActivityLog& log) const {
  const CallReachGraph& graph = scan.ReachGraph();
  ReachAnswer answer;
  switch (kind_) {
    case Kind::kReach:
      answer = AnswerReach(graph, name_, callers_, format_, cfgDir);
      break;
    case Kind::kWhy:
      answer = AnswerWhy(graph, name_, to_, format_, cfgDir);
      break;
    case Kind::kDead: {
      DeadQuery query;
      query.externalEntries = externalEntries_;
      query.entries = scan.deadEntries();
      answer = AnswerDead(graph, query, format_, cfgDir);
      break;
    }
    case Kind::kNone:
      return 0;
  }
  if (!answer.error.empty()) {
    log.AppendErrorEntry(answer.error);
    return 1;
  }
  if (answerPath_.empty()) {
    out << answer.text;
    out.flush();
    return out ? 0 : 1;
  }
  if (!scan.ClaimOutput(answerPath_) || !WriteWholeOutput(answerPath_, answer.text)) {
    log.AppendErrorEntry(ErrorWritingText(answerPath_));
    return 1;
  }
  log.AppendLog(kAnswerWritten + answerPath_, false);
  return 0;
}

void PrintAnnotations(const ScanRun& scan, const std::map<std::string, std::string>& options,
                      ActivityLog& log) {
  const auto it = options.find(kAnnotationsOption);
  if (it == options.end() || it->second != kGithub) return;
  for (const std::string& line : GithubAnnotations(scan.findings(), WorkPath())) {
    log.AppendLog(line, false);
  }
}

}  // namespace quillmap
