#include "callgraph/call_graph_recorder.h"

namespace quillmap {

CallGraphRecorder::CallGraphRecorder(const CallGraphDotSettings& dot, const StringList& callsList,
                                     bool withEdgeStyles, CallGraphModel& model)
    : withEdgeStyles_(withEdgeStyles), model_(model) {
  // Without a DOT file no edge style is taken, and the call text holds no argument.
  model_.edgeStyles.clear();
  for (size_t f = 0; f < callsList.size(); ++f) {
    model_.edgeStyles.emplace_back(withEdgeStyles && f < dot.callStyles.size() ? dot.callStyles[f]
                                                                               : std::string());
  }
}

void CallGraphRecorder::AddSource(const std::string& path) {
  SourceRecord source;
  source.path = path;
  model_.sources.push_back(std::move(source));
}

void CallGraphRecorder::SourceOpened() { model_.sources.back().opened = true; }

void CallGraphRecorder::SourceFailed(const std::string& text) {
  model_.sources.back().failure = text;
}

void CallGraphRecorder::Definition(std::string_view header, std::string functionText, size_t filter,
                                   int braceLine, int line) {
  model_.AddFunction(NodeNameOf(functionText), header, static_cast<int32_t>(filter), braceLine,
                     line);
}

CallArguments CallGraphRecorder::ArgumentsOf(std::string_view lineText,
                                             const std::string& calledName, size_t filter) {
  StringList arguments;
  SplitArguments(std::string(lineText), calledName + "(", arguments);
  return ArgumentsFor(std::move(arguments), filter);
}

CallArguments CallGraphRecorder::ArgumentsFor(StringList arguments, size_t filter) {
  CallArguments result;
  result.all = std::move(arguments);
  result.shown = model_.edgeStyles[filter].ArgumentOf(result.all);
  return result;
}

void CallGraphRecorder::Call(const std::string& calledName, size_t filter,
                             const CallArguments& arguments, int line) {
  Call(std::string_view(calledName), filter, arguments.all, line);
}

std::string_view CallGraphRecorder::ShownArgument(const StringList& arguments, size_t filter) const {
  return model_.edgeStyles[filter].ArgumentOf(arguments);
}

void CallGraphRecorder::Call(std::string_view calledName, size_t filter,
                             const StringList& arguments, int line) {
  // Most names are their node's name already ("a.b" and "f(x)" are not).
  if (calledName.find_first_of(".(") == std::string_view::npos) {
    model_.AddCall(calledName, calledName, static_cast<int32_t>(filter), arguments, line);
  } else {
    model_.AddCall(calledName, NodeNameOf(calledName), static_cast<int32_t>(filter), arguments,
                   line);
  }
}

void CallGraphRecorder::FunctionEnd() { model_.functions.back().closed = true; }

}  // namespace quillmap
