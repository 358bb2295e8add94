#include "model/graph_model.h"

#include <algorithm>
#include <cctype>

namespace quillmap {

void CallGraphModel::AddFunction(std::string_view name, std::string_view header, int32_t filter,
                                 int32_t braceLine, int32_t line) {
  FunctionRecord function;
  function.name = names.Intern(name);
  function.file = static_cast<int32_t>(sources.size()) - 1;
  function.firstCall = static_cast<uint32_t>(calls.size());
  // The filter counts from 1 there, so that 0 stays "none".
  const uint32_t numbers[] = {static_cast<uint32_t>(line), static_cast<uint32_t>(braceLine),
                              static_cast<uint32_t>(filter + 1)};
  function.details = functionDetails.Add(header, numbers);
  functions.push_back(function);
}

void CallGraphModel::AddCall(std::string_view writtenName, std::string_view callee, int32_t filter,
                             const std::vector<std::string>& callArguments, int32_t line) {
  CallRecord call;
  call.callee = names.Intern(callee);
  // The filter counts from 1 there, so that 0 stays "none".
  const uint32_t numbers[] = {static_cast<uint32_t>(line), static_cast<uint32_t>(filter + 1)};
  const TextRef details = callDetails.AddList(callArguments, numbers);
  call.detailsLow = static_cast<uint32_t>(details);
  call.detailsHigh = static_cast<uint32_t>(details >> 32);
  if (writtenName != callee) {
    writtenNames.emplace_back(static_cast<uint32_t>(calls.size()), names.Intern(writtenName));
  }
  ++functions.back().callCount;
  calls.push_back(call);
}

FunctionDetails CallGraphModel::DetailsOf(const FunctionRecord& function) const {
  uint32_t numbers[3];
  FunctionDetails details;
  details.header = functionDetails.Text(function.details, numbers);
  details.line = static_cast<int32_t>(numbers[0]);
  details.braceLine = static_cast<int32_t>(numbers[1]);
  details.filter = static_cast<int32_t>(numbers[2]) - 1;
  return details;
}

void CallGraphModel::AddResolvedCall(NameId writtenName, NameId callee, const CallDetails& details,
                                     const TextList& callArguments) {
  CallRecord call;
  call.callee = callee;
  const uint32_t numbers[] = {static_cast<uint32_t>(details.line),
                              static_cast<uint32_t>(details.filter + 1),
                              static_cast<uint32_t>(details.kind),
                              static_cast<uint32_t>(details.calleeIndex + 1), details.via};
  const TextRef ref = callDetails.AddList(callArguments, numbers);
  call.detailsLow = static_cast<uint32_t>(ref);
  call.detailsHigh = static_cast<uint32_t>(ref >> 32);
  if (writtenName != callee) {
    writtenNames.emplace_back(static_cast<uint32_t>(calls.size()), writtenName);
  }
  calls.push_back(call);
}

CallDetails CallGraphModel::DetailsOf(const CallRecord& call) const {
  uint32_t numbers[5] = {};
  CallDetails details;
  details.arguments =
      callDetails.List(call.details(), std::span<uint32_t>(numbers, resolved ? 5 : 2));
  details.line = static_cast<int32_t>(numbers[0]);
  details.filter = static_cast<int32_t>(numbers[1]) - 1;
  details.kind = static_cast<CallKind>(numbers[2]);
  details.calleeIndex = static_cast<int32_t>(numbers[3]) - 1;
  details.via = numbers[4];
  return details;
}

std::string_view CallGraphModel::ShownArgumentOf(const CallDetails& details) const {
  if (details.filter < 0 || static_cast<size_t>(details.filter) >= edgeStyles.size()) return {};
  return edgeStyles[static_cast<size_t>(details.filter)].ArgumentOf(details.arguments);
}

std::string CallGraphModel::CallTextOf(size_t call) const {
  const CallRecord& record = calls[call];
  NameId written = record.callee;
  const auto exception = std::lower_bound(writtenNames.begin(), writtenNames.end(),
                                          std::pair<uint32_t, NameId>(call, 0));
  if (exception != writtenNames.end() && exception->first == call) written = exception->second;
  std::string text(NameOf(written));
  text += '(';
  text += ShownArgumentOf(DetailsOf(record));
  text += ')';
  return text;
}

std::string_view DispatchMemberOf(std::string_view via) {
  size_t end = via.size();
  while (end > 0 && (via[end - 1] == ')' || via[end - 1] == ']' || via[end - 1] == ' ')) {
    if (via[end - 1] == ']') {
      const size_t open = via.rfind('[', end - 1);
      end = open == std::string_view::npos ? 0 : open;
    } else {
      --end;
    }
  }
  size_t start = end;
  while (start > 0 && (std::isalnum(static_cast<unsigned char>(via[start - 1])) ||
                       via[start - 1] == '_' || via[start - 1] == '$')) {
    --start;
  }
  return via.substr(start, end - start);
}

std::string CallGraphModel::EdgeStyleOf(const CallRecord& call) const {
  return EdgeStyleOf(DetailsOf(call));
}

std::string CallGraphModel::EdgeStyleOf(const CallDetails& details) const {
  if (details.filter < 0 || static_cast<size_t>(details.filter) >= edgeStyles.size()) return {};
  return edgeStyles[static_cast<size_t>(details.filter)].Apply(ShownArgumentOf(details));
}

}  // namespace quillmap
