#include "callgraph/call_graph_output.h"

#include <climits>

#include "config/app_identity.h"
#include "dot/dot_text.h"

namespace quillmap {

namespace {

constexpr int kCsvFields = 32;
constexpr const char* kDotSection = "dot";
constexpr const char* kGraphCfgKey = "graph_cfg";
constexpr const char* kNodeCfgKey = "node_cfg";
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

std::string PadCsvRow(std::string row, int fields) {
  if (fields < kCsvFields) row.append(static_cast<size_t>(kCsvFields - fields), ';');
  return row;
}

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

CallGraphOutput::CallGraphOutput(ScanContext& context, std::string cfgPath, std::string dotPath,
                                 std::string csvPath)
    : context_(context),
      cfgPath_(std::move(cfgPath)),
      dotPath_(std::move(dotPath)),
      csvPath_(std::move(csvPath)) {}

std::string CallGraphOutput::ReadDot(const std::string& key) {
  return ReadProfileString(context_.profile(), cfgPath_, kDotSection, key);
}

void CallGraphOutput::WriteDotHeader() {
  if (dotPath_.empty()) return;
  context_.writer().WriteLine(dotPath_, DotHeaderLine(), true);
  Dot("");
  Dot("digraph G");
  Dot("{");
  for (int n = 0;; ++n) {
    const std::string value = ReadDot(kGraphCfgKey + std::to_string(n));
    if (value.empty()) break;
    Dot("  " + value);
  }
}

void CallGraphOutput::WriteCsvHeader() {
  if (csvPath_.empty()) return;
  context_.writer().WriteLine(csvPath_, PadCsvRow(cfgPath_, 1), true);
}

void CallGraphOutput::WriteFileRow(const std::string& sourcePath) {
  if (!csvPath_.empty()) Csv(PadCsvRow(sourcePath, 1));
}

void CallGraphOutput::WriteDefinition(const std::string& header, const std::string& functionText,
                                      const std::string& filter) {
  if (!csvPath_.empty()) Csv(PadCsvRow(header, 1));
  WriteNode(functionText, filter);
}

void CallGraphOutput::WriteNode(const std::string& text, const std::string& filter) {
  if (dotPath_.empty()) return;
  std::string name = NodeNameOf(text);
  if (name.empty()) return;
  for (const std::string& known : nodeNames_) {
    if (known == name) return;
  }
  std::string line(2, ' ');
  line += DotId(name);
  const std::string nodeSuffix = GetField(filter, 1);
  if (!nodeSuffix.empty()) {
    line += ' ';
    line += ReadDot(kNodeCfgKey + nodeSuffix);
  }
  Dot(line);
  nodeNames_.push_back(std::move(name));
}

EdgeAttributes CallGraphOutput::EdgeAttributesOf(const std::string& line,
                                                 const std::string& calledName,
                                                 const std::string& filter) {
  StringList args;
  SplitArguments(line, calledName + "(", args);
  EdgeAttributes result;
  result.attributes =
      SubstituteArgument(ReadDot(kCallCfgKey + GetField(filter, 2)), args, result.argument);
  return result;
}

void CallGraphOutput::WriteCall(const std::string& functionText, const std::string& callText,
                                const std::string& filter, const std::string& edgeAttributes) {
  WriteNode(callText, filter);
  if (dotPath_.empty()) return;
  Dot("  " + DotId(NodeNameOf(functionText)) + " -> " + DotId(NodeNameOf(callText)) + " " +
      edgeAttributes);
}

void CallGraphOutput::WriteFunctionEnd(const StringList& callTexts) {
  if (!csvPath_.empty()) {
    std::string row = "CALLS(" + std::to_string(callTexts.size()) + "):";
    for (const std::string& callText : callTexts) row += ";" + callText;
    Csv(PadCsvRow(std::move(row), static_cast<int>(callTexts.size()) + 1));
    Csv(PadCsvRow("", 1));
  }
  if (!dotPath_.empty()) Dot("");
}

void CallGraphOutput::WriteSourceFailure(const std::string& text) {
  if (!dotPath_.empty()) Dot("// " + text);
  if (!csvPath_.empty()) Csv(text);
}

void CallGraphOutput::WriteDotTrailer() {
  if (!dotPath_.empty()) Dot("}");
}

}  // namespace quillmap
