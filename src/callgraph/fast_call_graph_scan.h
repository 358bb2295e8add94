/// The call graph scan's fast engine: each source read whole into a reused buffer, its pieces
/// walked as views without a copy, and the call filters and reject texts of a line found in
/// one pass of a multi-pattern matcher. It reports exactly what the line-by-line engine reports.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "callgraph/call_graph_recorder.h"
#include "callgraph/call_graph_scanner.h"
#include "files/source_text.h"
#include "context/scan_context.h"
#include "text/multi_pattern_matcher.h"

namespace quillmap {

class FastCallGraphScan {
 public:
  FastCallGraphScan(ScanContext& context, CallGraphRecorder& recorder, const StringList& callsList,
                    const StringList& rejectList, ScanCounts* counts);

  /// Reads a source whole; false when it cannot be opened.
  bool Load(const std::string& path) { return source_.Load(path); }
  /// True when reading the loaded source failed part way.
  bool readFailed() const { return source_.failed(); }
  /// Scans the loaded source (what was read of it).
  void ScanLoaded();

 private:
  void CheckDefinition(std::string_view header, int lineIndex);
  void EndFunction(int lineIndex);
  void ScanBodyLine(std::string_view line, int lineIndex);
  void RecognizeCall(std::string_view line, size_t p, size_t filter, int lineIndex);

  ScanContext& context_;
  CallGraphRecorder& recorder_;
  const StringList& callsList_;
  ScanCounts* counts_;
  SourceText source_;

  // One matcher over the distinct filter patterns and reject texts (filled by the matcher's
  // initialiser, so declared before it).
  std::vector<int32_t> filterPattern_;  // per filter: its pattern's index, -1 for ""
  std::vector<int32_t> rejectPattern_;  // per reject text: its index, -1 for ""
  MultiPatternMatcher matcher_;
  std::vector<size_t> starts_;  // first occurrences in the current line

  bool inFunction_ = false;
  std::string carriedLine_;  // the cleaned last line of the previous source
  std::string functionText_;
  StringList callTexts_;
  std::unordered_set<std::string> callTextSet_;
};

}  // namespace quillmap
