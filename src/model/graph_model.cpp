#include "model/graph_model.h"

#include <algorithm>

namespace quillmap {

void CallGraphModel::AddFunction(std::string_view name, std::string_view header, int32_t filter,
                                 int32_t braceLine, int32_t line) {
  FunctionRecord function;
  function.name = names.Intern(name);
  function.header = texts.Add(header);
  function.file = static_cast<int32_t>(sources.size()) - 1;
  function.line = line;
  function.braceLine = braceLine;
  function.filter = filter;
  function.firstCall = static_cast<uint32_t>(calls.size());
  functions.push_back(function);
}

void CallGraphModel::AddCall(std::string_view writtenName, std::string_view callee, int32_t filter,
                             const std::vector<std::string>& arguments, int32_t line) {
  CallRecord call;
  call.caller = static_cast<int32_t>(functions.size()) - 1;
  call.callee = names.Intern(callee);
  call.line = line;
  call.filter = filter;
  call.arguments = texts.AddList(arguments);
  if (writtenName != callee) {
    writtenNames.emplace_back(static_cast<uint32_t>(calls.size()), names.Intern(writtenName));
  }
  ++functions.back().callCount;
  calls.push_back(call);
}

std::string_view CallGraphModel::ShownArgumentOf(const CallRecord& call) const {
  if (call.filter < 0 || static_cast<size_t>(call.filter) >= edgeStyles.size()) return {};
  return edgeStyles[static_cast<size_t>(call.filter)].ArgumentOf(ArgumentsOf(call));
}

std::string CallGraphModel::CallTextOf(size_t call) const {
  const CallRecord& record = calls[call];
  NameId written = record.callee;
  const auto exception = std::lower_bound(writtenNames.begin(), writtenNames.end(),
                                          std::pair<uint32_t, NameId>(call, 0));
  if (exception != writtenNames.end() && exception->first == call) written = exception->second;
  std::string text(NameOf(written));
  text += '(';
  text += ShownArgumentOf(record);
  text += ')';
  return text;
}

std::string CallGraphModel::EdgeStyleOf(const CallRecord& call) const {
  if (call.filter < 0 || static_cast<size_t>(call.filter) >= edgeStyles.size()) return {};
  const EdgeStyle& style = edgeStyles[static_cast<size_t>(call.filter)];
  return style.Apply(style.ArgumentOf(ArgumentsOf(call)));
}

}  // namespace quillmap
