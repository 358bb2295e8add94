/// Records what the call graph scan finds into the graph model: the sources in file-list order,
/// the selected definitions, their selected calls with the edge style of each, and the sources
/// that failed. Both scan engines report through it, so both build the same model.
#pragma once

#include <string>
#include <string_view>

#include "model/graph_model.h"
#include "scan/scan_context.h"
#include "text/text_utils.h"

namespace quillmap {

/// Edge attribute text of a call and the argument text that goes into its call text.
struct EdgeAttributes {
  std::string attributes;
  std::string argument;
  StringList arguments;  // all arguments of the call, as written
};

class CallGraphRecorder {
 public:
  /// `withEdgeStyles`: whether a call graph DOT file is configured; only then are the edge
  /// styles read and an argument put into the call text.
  CallGraphRecorder(ScanContext& context, std::string cfgPath, const StringList& callsList,
                    bool withEdgeStyles, CallGraphModel& model);

  bool withEdgeStyles() const { return withEdgeStyles_; }

  /// A source of the file list, before it is opened.
  void AddSource(const std::string& path);
  void SourceOpened();
  /// The source could not be opened, or reading it failed part way ("error opening: ...").
  void SourceFailed(const std::string& text);

  /// A selected definition: `functionText` is its node text ("foo()"), `braceLine` the 0-based
  /// index of the line that opens its body, `line` the 1-based line where its header starts.
  void Definition(std::string_view header, std::string functionText, size_t filter, int braceLine,
                  int line);
  /// The arguments of a call of `calledName` on `lineText` and, with edge styles, the edge
  /// attributes of filter `filter` with their "$N" replaced by argument N of the call.
  EdgeAttributes EdgeAttributesOf(std::string_view lineText, const std::string& calledName,
                                  size_t filter);
  /// The same for a call whose arguments are known already.
  EdgeAttributes EdgeAttributesFor(StringList arguments, size_t filter);
  /// A selected call of the current function.
  void Call(const std::string& calledName, std::string callText, size_t filter, EdgeAttributes edge,
            std::string_view lineText, int line);
  /// The end of the current function's body, on the line with 0-based index `endLine`.
  void FunctionEnd(int endLine);

 private:
  ScanContext& context_;
  std::string cfgPath_;
  const StringList& callsList_;
  bool withEdgeStyles_;
  CallGraphModel& model_;
};

/// The edge attribute text with its first "$N" (after the first character) replaced by argument
/// N of `args`, or by "#?#" when there is no such argument. Returns the argument text (empty when
/// nothing was replaced) through `argument`. The inserted text is written so that DOT can read it.
std::string SubstituteArgument(const std::string& attributes, const StringList& args,
                               std::string& argument);

}  // namespace quillmap
