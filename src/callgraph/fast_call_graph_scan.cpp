#include "callgraph/fast_call_graph_scan.h"

#include <unordered_map>

#include "callgraph/scan_entries.h"

namespace quillmap {

namespace {

// The cleaned text of a piece: cut at a "//" after the first character, then trimmed.
std::string_view CleanedView(std::string_view raw) {
  const size_t comment = raw.find("//");
  if (comment != std::string_view::npos && comment > 0) raw = raw.substr(0, comment);
  return TrimView(raw);
}

// Builds the matcher's pattern list: each distinct non-empty text once; `indexes` receives the
// pattern index of each text (-1 for the empty text, which the matcher never reports).
void AddPatterns(const StringList& texts, std::vector<std::string>& patterns,
                 std::unordered_map<std::string, int32_t>& known, std::vector<int32_t>& indexes) {
  for (const std::string& text : texts) {
    if (text.empty()) {
      indexes.push_back(-1);
      continue;
    }
    const auto [it, inserted] = known.emplace(text, static_cast<int32_t>(patterns.size()));
    if (inserted) patterns.push_back(text);
    indexes.push_back(it->second);
  }
}

std::vector<std::string> PatternsOf(const StringList& callsList, const StringList& rejectTexts,
                                    std::vector<int32_t>& filterPattern,
                                    std::vector<int32_t>& rejectPattern) {
  StringList filterPatterns;
  for (const std::string& filter : callsList) filterPatterns.push_back(GetField(filter, 0));
  std::vector<std::string> patterns;
  std::unordered_map<std::string, int32_t> known;
  AddPatterns(filterPatterns, patterns, known, filterPattern);
  AddPatterns(rejectTexts, patterns, known, rejectPattern);
  return patterns;
}

}  // namespace

FastCallGraphScan::FastCallGraphScan(ScanContext& context, CallGraphRecorder& recorder,
                                     const StringList& callsList, const StringList& rejectList,
                                     ScanCounts* counts)
    : context_(context),
      recorder_(recorder),
      callsList_(callsList),
      counts_(counts),
      matcher_(PatternsOf(callsList, RejectTexts(rejectList), filterPattern_, rejectPattern_)) {}

void FastCallGraphScan::ScanLoaded() {
  const std::string_view text = source_.text();
  inFunction_ = false;
  int lineIndex = 0;
  // The previous piece of this source, or none yet: then the last line of the source before.
  std::string_view previous;
  bool previousHere = false;
  ForEachPiece(text, [&](size_t start, size_t end) {
    const std::string_view piece = text.substr(start, end - start);
    switch (piece[0]) {
      case '{':
        CheckDefinition(previousHere ? CleanedView(previous) : std::string_view(carriedLine_),
                        lineIndex);
        break;
      case '}':
        EndFunction(lineIndex);
        break;
      case '#':
      case '/':
      case '\r':
      case '\n':
      case '\0':
        break;
      default:
        // Outside a selected function a line only matters as the previous line of the next one.
        if (inFunction_) {
          const std::string_view line = CleanedView(piece);
          if (!line.empty()) ScanBodyLine(line, lineIndex);
        }
        break;
    }
    previous = piece;
    previousHere = true;
    ++lineIndex;
  });
  if (previousHere) carriedLine_.assign(CleanedView(previous));
  if (counts_ != nullptr) {
    AddWrapping(counts_->chars, static_cast<uint32_t>(text.size()));
    AddWrapping(counts_->lines, static_cast<uint32_t>(lineIndex));
  }
}

void FastCallGraphScan::CheckDefinition(std::string_view header, int lineIndex) {
  const size_t paren = header.find('(');
  if (paren == std::string_view::npos || paren == 0) return;
  inFunction_ = false;
  const size_t blank = header.find(' ');
  if (blank == std::string_view::npos || blank == 0) return;
  matcher_.FirstOccurrences(header, starts_);
  for (size_t i = 0; i < callsList_.size(); ++i) {
    const int32_t pattern = filterPattern_[i];
    const size_t p = pattern < 0 ? 0 : starts_[static_cast<size_t>(pattern)];
    if (p == std::string_view::npos || p >= paren || p <= blank) continue;
    const std::string headerText(header);
    context_.Log(DefinitionEntry(lineIndex, headerText));
    inFunction_ = true;
    if (counts_ != nullptr) AddWrapping(counts_->functions, 1);
    callTexts_.clear();
    callTextSet_.clear();
    functionText_ = Trim(header.substr(blank, paren - blank + 1)) + ")";
    recorder_.Definition(headerText, functionText_, i, lineIndex, lineIndex);
    return;
  }
}

void FastCallGraphScan::EndFunction(int lineIndex) {
  if (!inFunction_) return;
  context_.Log(FunctionEndEntry(lineIndex, callTexts_.size()));
  inFunction_ = false;
  recorder_.FunctionEnd();
  callTexts_.clear();
  callTextSet_.clear();
}

void FastCallGraphScan::ScanBodyLine(std::string_view line, int lineIndex) {
  // Without a "(" after the first character no call can be recognised, rejected or not.
  const size_t paren = line.find('(');
  if (paren == std::string_view::npos || paren == 0) return;
  matcher_.FirstOccurrences(line, starts_);
  for (const int32_t reject : rejectPattern_) {
    if (reject < 0 || starts_[static_cast<size_t>(reject)] != std::string_view::npos) return;
  }
  for (size_t i = 0; i < callsList_.size(); ++i) {
    const int32_t pattern = filterPattern_[i];
    const size_t p = pattern < 0 ? 0 : starts_[static_cast<size_t>(pattern)];
    if (p != std::string_view::npos) RecognizeCall(line, p, i, lineIndex);
  }
}

void FastCallGraphScan::RecognizeCall(std::string_view line, size_t p, size_t filter,
                                      int lineIndex) {
  const size_t open = line.find('(', p);
  while (p > 0 && IsIdentifierChar(line[p - 1])) --p;
  if (open == std::string_view::npos || open <= p) return;
  const std::string name = Trim(line.substr(p, open - p));
  const CallArguments arguments = recorder_.ArgumentsOf(line, name, filter);
  std::string callText = name + "(" + arguments.shown + ")";
  if (!callTextSet_.insert(callText).second) return;
  context_.Log(CallLineEntry(line));
  context_.Log(CallTextEntry(callText));
  callTexts_.push_back(std::move(callText));
  recorder_.Call(name, filter, arguments, lineIndex + 1);
}

}  // namespace quillmap
