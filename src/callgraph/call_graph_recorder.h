/// Records what the call graph scan finds into the graph model: the sources in file-list order,
/// the selected definitions, their selected calls with their arguments, each filter's edge style,
/// and the sources that failed. Both scan engines report through it, so both build the same model.
#pragma once

#include <string>
#include <string_view>

#include "model/edge_style.h"
#include "model/graph_model.h"
#include "context/scan_context.h"
#include "text/text_utils.h"

namespace quillmap {

/// The arguments of a call, and the one that its edge style names (it goes into the call text).
struct CallArguments {
  StringList all;     // as written
  std::string shown;  // empty when the edge style names none
};

class CallGraphRecorder {
 public:
  /// `withEdgeStyles`: whether a call graph DOT file is configured; only then do the edge
  /// styles of `dot` go into the model (one per filter of `callsList`, the filters they were
  /// read for) and an argument into the call text.
  CallGraphRecorder(const CallGraphDotSettings& dot, const StringList& callsList,
                    bool withEdgeStyles, CallGraphModel& model);

  bool withEdgeStyles() const { return withEdgeStyles_; }
  /// The number of definitions and of calls recorded so far (the index of the next one).
  size_t functionCount() const { return model_.functions.size(); }
  size_t callCount() const { return model_.calls.size(); }
  size_t sourceCount() const { return model_.sources.size(); }

  /// A source of the file list, before it is opened.
  void AddSource(const std::string& path);
  void SourceOpened();
  /// The source could not be opened, or reading it failed part way ("error opening: ...").
  void SourceFailed(const std::string& text);

  /// A selected definition: `functionText` is its node text ("foo()"), `braceLine` the 0-based
  /// index of the line that opens its body, `line` the 1-based line where its header starts.
  void Definition(std::string_view header, std::string functionText, size_t filter, int braceLine,
                  int line);
  /// The arguments of a call of `calledName` on `lineText`, with the one that the edge style
  /// of filter `filter` names.
  CallArguments ArgumentsOf(std::string_view lineText, const std::string& calledName,
                            size_t filter);
  /// The same for a call whose arguments are known already.
  CallArguments ArgumentsFor(StringList arguments, size_t filter);
  /// A selected call of the current function.
  void Call(const std::string& calledName, size_t filter, const CallArguments& arguments, int line);
  /// The argument that the edge style of filter `filter` names ("" for none).
  std::string_view ShownArgument(const StringList& arguments, size_t filter) const;
  /// A selected call whose arguments are known already.
  void Call(std::string_view calledName, size_t filter, const StringList& arguments, int line);
  /// The end of the current function's body (the log has shown its line: no view needs it).
  void FunctionEnd();

 private:
  bool withEdgeStyles_;
  CallGraphModel& model_;
};

}  // namespace quillmap
