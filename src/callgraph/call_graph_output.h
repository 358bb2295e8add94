/// Writes the function call graph: the DOT file ("digraph G") and the CSV report, one line at a
/// time through the line writer, as the source scanner reports what it finds.
#pragma once

#include <string>
#include <string_view>

#include "scan/scan_context.h"
#include "text/text_utils.h"

namespace quillmap {

/// Edge attribute text of a call and the argument text that goes into its call text.
struct EdgeAttributes {
  std::string attributes;
  std::string argument;
};

/// Either output is off when its path is empty.
class CallGraphOutput {
 public:
  CallGraphOutput(ScanContext& context, std::string cfgPath, std::string dotPath,
                  std::string csvPath);

  bool dotEnabled() const { return !dotPath_.empty(); }

  void WriteDotHeader();
  void WriteCsvHeader();
  void WriteFileRow(const std::string& sourcePath);
  /// The CSV row of the header line, then the node of the function.
  void WriteDefinition(const std::string& header, const std::string& functionText,
                       const std::string& filter);
  /// The edge attributes of a call of `calledName` on `line` for the filter, with its "$N"
  /// replaced by argument N of the call.
  EdgeAttributes EdgeAttributesOf(const std::string& line, const std::string& calledName,
                                  const std::string& filter);
  /// The callee's node (unless written before), then the edge from the function to it.
  void WriteCall(const std::string& functionText, const std::string& callText,
                 const std::string& filter, const std::string& edgeAttributes);
  void WriteFunctionEnd(const StringList& callTexts);
  /// The error text of a source that could not be opened or read: a comment in the DOT file, a
  /// row of the CSV report.
  void WriteSourceFailure(const std::string& text);
  void WriteDotTrailer();

 private:
  void WriteNode(const std::string& text, const std::string& filter);
  std::string ReadDot(const std::string& key);
  void Dot(std::string_view line) { context_.writer().WriteLine(dotPath_, line, false); }
  void Csv(std::string_view line) { context_.writer().WriteLine(csvPath_, line, false); }

  ScanContext& context_;
  std::string cfgPath_;
  std::string dotPath_;
  std::string csvPath_;
  StringList nodeNames_;
};

/// Pads a CSV row with ";" to 32 fields when it holds fewer than `fields`.
std::string PadCsvRow(std::string row, int fields);

/// The edge attribute text with its first "$N" (after the first character) replaced by argument
/// N of `args`, or by "#?#" when there is no such argument. Returns the argument text (empty when
/// nothing was replaced) through `argument`. The inserted text is written so that DOT can read it.
std::string SubstituteArgument(const std::string& attributes, const StringList& args,
                               std::string& argument);

}  // namespace quillmap
