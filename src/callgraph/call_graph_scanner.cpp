#include "callgraph/call_graph_scanner.h"

#include "callgraph/call_graph_output.h"
#include "config/paths.h"
#include "config/source_reader.h"

namespace quillmap {

namespace {

constexpr const char* kFilesSection = "files";
constexpr const char* kFileSeparatorEntry =
    "\r\n*********************+***********************************************";
constexpr const char* kFileListEmpty = "file list is empty";

// Counters are 32-bit as reported; they wrap instead of overflowing on huge trees.
void AddWrapping(int32_t& counter, uint32_t amount) {
  counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + amount);
}

std::string Format(const char* format, long long number, const std::string& text) {
  std::string result(format);
  const size_t d = result.find("%d");
  result.replace(d, 2, std::to_string(number));
  const size_t s = result.find("%s");
  if (s != std::string::npos) result.replace(s, 2, text);
  return result;
}

// The cleaned text of a line: cut at a "//" after the first character, then trimmed.
std::string CleanLine(const std::string& raw) {
  const size_t comment = raw.find("//");
  if (comment != std::string::npos && comment > 0) return Trim(std::string_view(raw).substr(0, comment));
  return Trim(raw);
}

// A reject entry as configured: the list reader turned its commas into line feeds.
StringList RejectTexts(const StringList& rejectList) {
  StringList texts;
  for (std::string text : rejectList) {
    for (char& c : text) {
      if (c == '\n') c = ',';
    }
    texts.push_back(std::move(text));
  }
  return texts;
}

// The state of one call of ScanCallGraph.
class Scan {
 public:
  Scan(ScanContext& context, CallGraphOutput& output, const StringList& callsList,
       const StringList& rejectList, ScanCounts* counts)
      : context_(context),
        output_(output),
        callsList_(callsList),
        rejectTexts_(RejectTexts(rejectList)),
        counts_(counts) {}

  // Processes one source file that is open in `reader`.
  void ScanFile(SourceReader& reader) {
    lineIndex_ = 0;
    inFunction_ = false;
    std::string raw;
    while (reader.ReadPiece(raw)) {
      std::string line = CleanLine(raw);
      if (!line.empty()) {
        const char first = raw[0];
        if (first == '{') {
          CheckDefinition();
        } else if (first == '}') {
          EndFunction();
        } else if (first != '#' && first != '/' && first != '\r' && first != '\n' &&
                   first != '\0') {
          ScanBodyLine(line);
        }
      }
      previousLine_ = std::move(line);
      if (counts_ != nullptr) {
        AddWrapping(counts_->chars, static_cast<uint32_t>(raw.size()));
        AddWrapping(counts_->lines, 1);
      }
      ++lineIndex_;
    }
  }

 private:
  void CheckDefinition() {
    const std::string& header = previousLine_;
    const size_t paren = header.find('(');
    if (paren == std::string::npos || paren == 0) return;
    inFunction_ = false;
    const size_t blank = header.find(' ');
    if (blank == std::string::npos || blank == 0) return;
    for (const std::string& filter : callsList_) {
      const size_t p = header.find(GetField(filter, 0));
      if (p == std::string::npos || p >= paren || p <= blank) continue;
      context_.Log(Format("\r\n>> Z:%d, %s", lineIndex_, header));
      inFunction_ = true;
      if (counts_ != nullptr) AddWrapping(counts_->functions, 1);
      callTexts_.clear();
      functionFilter_ = filter;
      functionText_ = Trim(std::string_view(header).substr(blank, paren - blank + 1)) + ")";
      output_.WriteDefinition(header, functionText_, functionFilter_);
      return;
    }
  }

  void EndFunction() {
    if (!inFunction_) return;
    std::string entry = "<< Z:" + std::to_string(lineIndex_);
    if (!callTexts_.empty()) entry += ", calls: " + std::to_string(callTexts_.size());
    context_.Log(entry);
    inFunction_ = false;
    output_.WriteFunctionEnd(callTexts_);
    callTexts_.clear();
  }

  void ScanBodyLine(const std::string& line) {
    if (!inFunction_) return;
    for (const std::string& reject : rejectTexts_) {
      if (line.find(reject) != std::string::npos) return;
    }
    const size_t paren = line.find('(');
    if (paren == std::string::npos || paren == 0) return;
    for (const std::string& filter : callsList_) RecognizeCall(line, filter);
  }

  void RecognizeCall(const std::string& line, const std::string& filter) {
    size_t p = line.find(GetField(filter, 0));
    if (p == std::string::npos) return;
    const size_t open = line.find('(', p);
    while (p > 0 && IsIdentifierChar(line[p - 1])) --p;
    if (open == std::string::npos || open <= p) return;
    const std::string name = Trim(std::string_view(line).substr(p, open - p));
    EdgeAttributes edge;
    if (output_.dotEnabled()) edge = output_.EdgeAttributesOf(line, name, filter);
    const std::string callText = name + "(" + edge.argument + ")";
    if (!AddIfAbsent(callTexts_, callText)) return;
    context_.Log("  C: " + line);
    context_.Log("     --> " + callText);
    output_.WriteCall(functionText_, callText, filter, edge.attributes);
  }

  ScanContext& context_;
  CallGraphOutput& output_;
  const StringList& callsList_;
  const StringList rejectTexts_;
  ScanCounts* counts_;

  int lineIndex_ = 0;
  bool inFunction_ = false;
  std::string previousLine_;
  std::string functionText_;
  std::string functionFilter_;
  StringList callTexts_;
};

}  // namespace

int ScanCallGraph(ScanContext& context, const std::string& cfgPath, CallGraphLists lists,
                  ScanCounts* counts, std::string* scanMessage) {
  if (counts != nullptr) *counts = ScanCounts{};
  if (scanMessage != nullptr) scanMessage->clear();
  lists.fileList.clear();
  if (cfgPath.empty()) return 0;

  const std::string cfgDir = DirectoryOf(cfgPath);
  auto readFiles = [&](const std::string& key) {
    return ResolvePath(ReadProfileString(context.profile(), cfgPath, kFilesSection, key), cfgDir);
  };
  const std::string dotPath = readFiles("dot");
  const std::string csvPath = readFiles("csv");
  for (int n = 0;; ++n) {
    std::string source = readFiles("file" + std::to_string(n));
    if (source.empty()) break;
    lists.fileList.push_back(std::move(source));
  }

  context.Log("path: " + cfgDir);
  if (!dotPath.empty()) context.Log("OUT: " + dotPath);
  if (!csvPath.empty()) context.Log("OUT: " + csvPath);

  CallGraphOutput output(context, cfgPath, dotPath, csvPath);
  output.WriteDotHeader();
  output.WriteCsvHeader();
  if (lists.fileList.empty()) {
    context.NoteError();
    if (scanMessage != nullptr) *scanMessage = kFileListEmpty;
  }

  Scan scan(context, output, lists.callsList, lists.rejectList, counts);
  int openedFiles = 0;
  SourceReader reader;
  for (size_t i = 0; i < lists.fileList.size(); ++i) {
    const std::string& source = lists.fileList[i];
    context.Log(kFileSeparatorEntry);
    context.Log(Format("IN[%d]:  %s", static_cast<long long>(i), source));
    // A source that cannot be opened, or whose reading fails, ends the run with its error.
    const auto reportFailure = [&](const std::string& message) {
      openedFiles = 0;
      context.Log(message);
      context.NoteError();
      if (scanMessage != nullptr) *scanMessage = message;
      output.WriteSourceFailure(message);
    };
    if (!reader.Open(source)) {
      reportFailure(ErrorOpeningText(source));
      continue;
    }
    if (!csvPath.empty()) {
      output.WriteFileRow(source);
      ++openedFiles;
    }
    scan.ScanFile(reader);
    if (reader.failed()) reportFailure(ErrorReadingText(source));
    reader.Close();
  }
  output.WriteDotTrailer();
  return openedFiles;
}

}  // namespace quillmap
