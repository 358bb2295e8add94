#include "rules/rule_baseline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <cctype>
#include <cstdio>
#include <unordered_map>

#include "config/profile_reader.h"
#include "files/source_file.h"
#include "rules/call_rules.h"
#include "outputs/output_replacement.h"

namespace quillmap {

namespace {
constexpr const char* kCannotRead = "cannot read ";
constexpr const char* kNotAReportLine = ": not a report line: ";
constexpr char kCommentMark = '#';
}  // namespace

std::string BaselineKey(std::string_view line) {
  if (IsCallRuleEntry(line)) return std::string(CallRuleKey(line));
  // A call's place closes with the last ")" of the line (function names hold none): drop the
  // digits of ":LINE" before it.
  const size_t close = line.rfind(')');
  if (close == std::string_view::npos) return std::string(line);
  size_t digits = close;
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(line[digits - 1]))) --digits;
  if (digits == close || digits == 0 || line[digits - 1] != ':') return std::string(line);
  std::string key(line.substr(0, digits - 1));
  key += line.substr(close);
  return key;
}

bool IsCallRuleEntry(std::string_view line) {
  return line.starts_with(kRuleViolated) &&
         line.substr(std::string_view(kRuleViolated).size()).starts_with(kForbidReachPrefix);
}

bool ReadBaseline(const std::string& path, StringList& entries, std::string& error) {
  // Read as a source is: a folder, a FIFO that stays silent or a stream without end is an
  // error with its reason, never a wait.
  std::string text;
  SourceFile file;
  if (!file.Open(path)) {
    error = kCannotRead + path;
    if (errno != ENOENT) error += std::string(" (") + std::strerror(errno) + ")";
    return false;
  }
  SourceFileBuffer buffer(file);
  std::istream in(&buffer);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!buffer.failure().empty()) {
    error = kCannotRead + path + " (" + buffer.failure() + ")";
    return false;
  }
  entries.clear();
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    if (line.empty() || line[0] == kCommentMark) continue;
    if (!line.starts_with(kRuleViolated)) {
      error = path + ":" + std::to_string(number) + kNotAReportLine + std::string(line);
      return false;
    }
    entries.emplace_back(line);
  }
  return true;
}

bool WriteBaseline(const std::string& path, const std::vector<RuleViolation>& violations) {
  // Written beside the old baseline and renamed over it when complete, as every output is.
  OutputTarget target;
  if (!PrepareOutput(path, false, target)) return false;
  std::FILE* out = OpenOutputFile(target);
  bool written = out != nullptr;
  for (const RuleViolation& violation : violations) {
    const std::string& line = violation.line;
    written = written && std::fwrite(line.data(), 1, line.size(), out) == line.size() &&
              std::fputc('\n', out) != EOF;
  }
  if (out != nullptr && std::fclose(out) != 0) written = false;
  if (!written) {
    DiscardOutput(target);
    return false;
  }
  return CommitOutput(target);
}

BaselineComparison CompareWithBaseline(const std::vector<RuleViolation>& violations,
                                       const StringList& entries) {
  // An entry accepts one violation: a baseline that lists a key twice accepts two.
  std::unordered_map<std::string, int> unused;
  for (const std::string& entry : entries) ++unused[BaselineKey(entry)];
  BaselineComparison comparison;
  for (size_t i = 0; i < violations.size(); ++i) {
    const auto it = unused.find(BaselineKey(violations[i].line));
    if (it != unused.end() && it->second > 0) {
      --it->second;
    } else {
      comparison.fresh.push_back(i);
    }
  }
  // The first entries of a key are the ones used; the last ones left over are stale.
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    int& left = unused[BaselineKey(*entry)];
    if (left > 0) {
      --left;
      comparison.stale.push_back(*entry);
    }
  }
  std::reverse(comparison.stale.begin(), comparison.stale.end());
  return comparison;
}

}  // namespace quillmap
