#include "callgraph/call_graph_recorder.h"

#include <climits>

#include "dot/dot_text.h"

namespace quillmap {

namespace {

constexpr const char* kDotSection = "dot";
constexpr const char* kCallCfgKey = "call_cfg";
constexpr const char* kMissingArgument = "#?#";
constexpr size_t kMaxSkippedDigits = 5;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number at the start of `text` read as the C library's atoi reads it (saturating).
long long AtoiValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::string_view(" \t\n\v\f\r").find(text[i]) != std::string_view::npos)
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (value < INT_MAX) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::string SubstituteArgument(const std::string& attributes, const StringList& args,
                               std::string& argument) {
  argument.clear();
  const size_t dollar = attributes.find('$');
  if (dollar == std::string::npos || dollar == 0) return attributes;
  const std::string_view after = std::string_view(attributes).substr(dollar + 1);
  const long long n = AtoiValue(after);
  argument = n >= 0 && n < static_cast<long long>(args.size()) ? args[static_cast<size_t>(n)]
                                                               : kMissingArgument;
  size_t skipped = 0;
  while (skipped < kMaxSkippedDigits && skipped < after.size() && IsDigit(after[skipped]))
    ++skipped;
  std::string inserted;
  switch (DotContextAt(attributes, dollar)) {
    case DotTextContext::kQuoted:
      inserted = EscapeDotString(argument);
      break;
    case DotTextContext::kHtml:
      inserted = EscapeHtmlText(argument);
      break;
    case DotTextContext::kBare:
      inserted = DotId(argument);
      break;
  }
  return attributes.substr(0, dollar) + inserted + std::string(after.substr(skipped));
}

CallGraphRecorder::CallGraphRecorder(ScanContext& context, std::string cfgPath,
                                     const StringList& callsList, bool withEdgeStyles,
                                     CallGraphModel& model)
    : context_(context),
      cfgPath_(std::move(cfgPath)),
      callsList_(callsList),
      withEdgeStyles_(withEdgeStyles),
      model_(model) {}

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
  FunctionRecord function;
  function.name = NodeNameOf(functionText);
  function.header = header;
  function.callText = std::move(functionText);
  function.file = static_cast<int32_t>(model_.sources.size()) - 1;
  function.line = line;
  function.braceLine = braceLine;
  function.filter = static_cast<int32_t>(filter);
  model_.functions.push_back(std::move(function));
}

EdgeAttributes CallGraphRecorder::EdgeAttributesOf(std::string_view lineText,
                                                   const std::string& calledName, size_t filter) {
  StringList arguments;
  SplitArguments(std::string(lineText), calledName + "(", arguments);
  return EdgeAttributesFor(std::move(arguments), filter);
}

EdgeAttributes CallGraphRecorder::EdgeAttributesFor(StringList arguments, size_t filter) {
  EdgeAttributes result;
  result.arguments = std::move(arguments);
  // Without a DOT file no edge style is read, and the call text holds no argument.
  if (!withEdgeStyles_) return result;
  const std::string style = ReadProfileString(context_.profile(), cfgPath_, kDotSection,
                                              kCallCfgKey + GetField(callsList_[filter], 2));
  result.attributes = SubstituteArgument(style, result.arguments, result.argument);
  return result;
}

void CallGraphRecorder::Call(const std::string& calledName, std::string callText, size_t filter,
                             EdgeAttributes edge, std::string_view lineText, int line) {
  CallRecord call;
  call.caller = static_cast<int32_t>(model_.functions.size()) - 1;
  call.callee = NodeNameOf(calledName);
  call.callText = std::move(callText);
  call.arguments = std::move(edge.arguments);
  call.lineText = lineText;
  call.line = line;
  call.filter = static_cast<int32_t>(filter);
  call.edgeStyle = std::move(edge.attributes);
  model_.functions.back().calls.push_back(static_cast<int32_t>(model_.calls.size()));
  model_.calls.push_back(std::move(call));
}

void CallGraphRecorder::FunctionEnd(int endLine) {
  FunctionRecord& function = model_.functions.back();
  function.closed = true;
  function.endLine = endLine;
}

}  // namespace quillmap
