#include "callgraph/call_graph_scanner.h"

#include <memory>
#include <unordered_set>

#include "callgraph/c_call_graph_scan.h"
#include "callgraph/call_graph_recorder.h"
#include "callgraph/fast_call_graph_scan.h"
#include "callgraph/scan_entries.h"
#include "config/source_lists.h"
#include "files/paths.h"
#include "files/source_reader.h"

namespace quillmap {

namespace {

constexpr const char* kFileSeparatorEntry =
    "\r\n*********************+***********************************************";
constexpr const char* kFileListEmpty = "file list is empty";

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
  if (comment != std::string::npos && comment > 0)
    return Trim(std::string_view(raw).substr(0, comment));
  return Trim(raw);
}

// The state of one call of ScanCallGraph.
class Scan {
 public:
  Scan(ScanContext& context, CallGraphRecorder& recorder, const StringList& callsList,
       const StringList& rejectList, ScanCounts* counts)
      : context_(context),
        recorder_(recorder),
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
    for (size_t filter = 0; filter < callsList_.size(); ++filter) {
      const size_t p = header.find(GetField(callsList_[filter], 0));
      if (p == std::string::npos || p >= paren || p <= blank) continue;
      context_.Log(DefinitionEntry(lineIndex_, header));
      inFunction_ = true;
      if (counts_ != nullptr) AddWrapping(counts_->functions, 1);
      callTexts_.clear();
      functionText_ = Trim(std::string_view(header).substr(blank, paren - blank + 1)) + ")";
      recorder_.Definition(header, functionText_, filter, lineIndex_, lineIndex_);
      return;
    }
  }

  void EndFunction() {
    if (!inFunction_) return;
    context_.Log(FunctionEndEntry(lineIndex_, callTexts_.size()));
    inFunction_ = false;
    recorder_.FunctionEnd();
    callTexts_.clear();
  }

  void ScanBodyLine(const std::string& line) {
    if (!inFunction_) return;
    for (const std::string& reject : rejectTexts_) {
      if (line.find(reject) != std::string::npos) return;
    }
    const size_t paren = line.find('(');
    if (paren == std::string::npos || paren == 0) return;
    for (size_t filter = 0; filter < callsList_.size(); ++filter) RecognizeCall(line, filter);
  }

  void RecognizeCall(const std::string& line, size_t filter) {
    size_t p = line.find(GetField(callsList_[filter], 0));
    if (p == std::string::npos) return;
    const size_t open = line.find('(', p);
    while (p > 0 && IsIdentifierChar(line[p - 1])) --p;
    if (open == std::string::npos || open <= p) return;
    const std::string name = Trim(std::string_view(line).substr(p, open - p));
    const CallArguments arguments = recorder_.ArgumentsOf(line, name, filter);
    const std::string callText = name + "(" + arguments.shown + ")";
    if (!AddIfAbsent(callTexts_, callText)) return;
    context_.Log(CallLineEntry(line));
    context_.Log(CallTextEntry(callText));
    recorder_.Call(name, filter, arguments, lineIndex_ + 1);
  }

  ScanContext& context_;
  CallGraphRecorder& recorder_;
  const StringList& callsList_;
  const StringList rejectTexts_;
  ScanCounts* counts_;

  int lineIndex_ = 0;
  bool inFunction_ = false;
  std::string previousLine_;
  std::string functionText_;
  StringList callTexts_;
};

// The two engines behind one face: open a source, scan it, tell whether reading it failed.
class SourceScan {
 public:
  virtual ~SourceScan() = default;
  virtual bool Open(const std::string& path) = 0;
  virtual void ScanOpened() = 0;
  virtual bool ReadFailed() const = 0;
};

class LineByLineScan : public SourceScan {
 public:
  LineByLineScan(ScanContext& context, CallGraphRecorder& recorder, const CallGraphLists& lists,
                 ScanCounts* counts)
      : scan_(context, recorder, lists.callsList, lists.rejectList, counts) {}
  bool Open(const std::string& path) override { return reader_.Open(path); }
  void ScanOpened() override {
    scan_.ScanFile(reader_);
    failed_ = reader_.failed();
    reader_.Close();
  }
  bool ReadFailed() const override { return failed_; }

 private:
  Scan scan_;
  SourceReader reader_;
  bool failed_ = false;
};

class WholeFileScan : public SourceScan {
 public:
  WholeFileScan(ScanContext& context, CallGraphRecorder& recorder, const CallGraphLists& lists,
                ScanCounts* counts)
      : scan_(context, recorder, lists.callsList, lists.rejectList, counts) {}
  bool Open(const std::string& path) override { return scan_.Load(path); }
  void ScanOpened() override { scan_.ScanLoaded(); }
  bool ReadFailed() const override { return scan_.readFailed(); }

 private:
  FastCallGraphScan scan_;
};

class CSyntaxScan : public SourceScan {
 public:
  CSyntaxScan(ScanContext& context, CallGraphRecorder& recorder, const CallGraphLists& lists,
              ScanCounts* counts, CallResolver* resolver, ModuleSources* moduleSources)
      : sources_(WithModuleSources(lists.fileList, moduleSources)),
        callGraphSources_(lists.fileList.size()),
        scan_(context, recorder, lists.callsList, lists.rejectList, counts, sources_,
              CSourcePipeline::DefaultWorkers(), resolver, moduleSources) {}
  // The sources come in the order of the file list, which is the order they are opened in.
  bool Open(const std::string&) override { return scan_.LoadNext(); }
  void ScanOpened() override { scan_.ScanLoaded(); }
  bool ReadFailed() const override { return scan_.readFailed(); }
  // The sources that only the modules list, after the call graph's. False when stopped.
  bool ScanModuleOnlySources(ScanContext& context) {
    for (size_t i = callGraphSources_; i < sources_.size(); ++i) {
      if (context.StopRequested()) return false;
      scan_.TakeModuleSource();
    }
    return true;
  }

 private:
  static StringList WithModuleSources(const StringList& fileList,
                                      const ModuleSources* moduleSources) {
    StringList sources = fileList;
    if (moduleSources == nullptr) return sources;
    const std::unordered_set<std::string> listed(fileList.begin(), fileList.end());
    for (const std::string& path : moduleSources->paths()) {
      if (!listed.count(path)) sources.push_back(path);
    }
    return sources;
  }

  StringList sources_;
  size_t callGraphSources_;
  CCallGraphScan scan_;
};

}  // namespace

int ScanCallGraph(ScanContext& context, const std::string& cfgPath, CallGraphLists lists,
                  CallGraphModel& model, ScanCounts* counts, std::string* scanMessage,
                  CallGraphEngine engine, SourceSyntax syntax, CallResolver* resolver,
                  ModuleSources* moduleSources) {
  model = CallGraphModel{};
  if (counts != nullptr) *counts = ScanCounts{};
  if (scanMessage != nullptr) scanMessage->clear();
  lists.fileList.clear();
  if (cfgPath.empty()) return 0;

  const std::string cfgDir = DirectoryOf(cfgPath);
  const CallGraphOutputPaths outputs =
      ResolveCallGraphOutputPaths(context.settings().outputs, cfgDir);
  lists.fileList = context.Reported(context.sourceLists().CallGraph(context.settings(), cfgDir));

  context.Log("path: " + cfgDir);
  if (!outputs.dot.empty()) context.Log("OUT: " + outputs.dot);
  if (!outputs.csv.empty()) context.Log("OUT: " + outputs.csv);

  CallGraphRecorder recorder(context.settings().dot, lists.callsList, !outputs.dot.empty(),
                             model);
  if (lists.fileList.empty()) {
    context.NoteError();
    if (scanMessage != nullptr) *scanMessage = kFileListEmpty;
  }

  std::unique_ptr<SourceScan> scan;
  CSyntaxScan* cScan = nullptr;
  if (syntax == SourceSyntax::kC) {
    auto owned = std::make_unique<CSyntaxScan>(context, recorder, lists, counts, resolver,
                                               moduleSources);
    cScan = owned.get();
    scan = std::move(owned);
  } else if (engine == CallGraphEngine::kFast) {
    scan = std::make_unique<WholeFileScan>(context, recorder, lists, counts);
  } else {
    scan = std::make_unique<LineByLineScan>(context, recorder, lists, counts);
  }
  int openedFiles = 0;
  for (size_t i = 0; i < lists.fileList.size(); ++i) {
    if (context.StopAtSource(kCallGraphStage, i, lists.fileList.size())) break;
    const std::string& source = lists.fileList[i];
    context.Log(kFileSeparatorEntry);
    context.Log(Format("IN[%d]:  %s", static_cast<long long>(i), source));
    recorder.AddSource(source);
    // A source that cannot be opened, or whose reading fails, ends the run with its error.
    const auto reportFailure = [&](const std::string& message) {
      openedFiles = 0;
      context.LogError(message);
      if (scanMessage != nullptr) *scanMessage = message;
      recorder.SourceFailed(message);
    };
    if (!scan->Open(source)) {
      reportFailure(ErrorOpeningText(source));
      continue;
    }
    recorder.SourceOpened();
    if (!outputs.csv.empty()) ++openedFiles;
    scan->ScanOpened();
    if (scan->ReadFailed()) reportFailure(ErrorReadingText(source));
  }
  if (!context.stopped() && cScan != nullptr) cScan->ScanModuleOnlySources(context);
  context.StopAtSource(kCallGraphStage, lists.fileList.size(), lists.fileList.size());
  return openedFiles;
}

}  // namespace quillmap
