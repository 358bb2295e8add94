#include "modgraph/module_scan.h"

#include <unordered_set>

#include "files/source_reader.h"

namespace quillmap {

std::string_view LineText(const std::string& piece) { return std::string_view(piece.c_str()); }

bool ParseFunctionHeader(std::string_view line, FunctionHeader& header) {
  const std::string t = Trim(line);
  const size_t sp = t.find(' ');
  const size_t op = t.find('(');
  const size_t cp = t.find(')');
  if (sp == std::string::npos || sp == 0 || op == std::string::npos || op <= sp ||
      cp == std::string::npos || cp <= op) {
    return false;
  }
  // An empty name ("if (x)") would occur in every line and so be "called" from everywhere.
  std::string name = Trim(std::string_view(t).substr(sp, op - sp));
  if (name.empty()) return false;
  header.name = std::move(name);
  header.signature = t.substr(0, cp + 1);
  return true;
}

int RereadingModuleScan::CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) {
  return quillmap::CollectAllModuleFunctions(context, table);
}

void RereadingModuleScan::ScanAllModuleCalls(ScanContext& context, ModuleTable& table) {
  quillmap::ScanAllModuleCalls(context, table);
}

ModuleProgress::ModuleProgress(ScanContext& context, const ModuleTable& table, int pass)
    : context_(context) {
  for (int k = 0; k < table.moduleCount; ++k) {
    if (table.modules[k].valid) total_ += table.modules[k].files.size();
  }
  done_ = pass * total_;
  total_ *= 2;
}

bool ModuleProgress::NextFiles(size_t files) {
  const bool stop = context_.StopAtSource(kModulesStage, done_, total_);
  done_ += files;
  return stop;
}

int CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) {
  std::unordered_set<std::string> unopenable;
  std::unordered_set<std::string> unreadable;
  int count = 0;
  ModuleProgress progress(context, table, 0);
  for (int k = 0; k < table.moduleCount; ++k) {
    ModuleRecord& record = table.modules[k];
    record.definedFunctions.clear();
    record.linkedFunctions.clear();
    if (context.stopped() || !record.valid) continue;
    AppendModuleLog(context, table, record.moduleName);
    for (const std::string& file : record.files) {
      if (progress.NextFiles()) break;
      AppendModuleLog(context, table, file);
      const SourceReading reading =
          CollectModuleFunctions(context, table, file, record.definedFunctions);
      if (reading == SourceReading::kNotOpened && unopenable.insert(file).second) {
        context.LogError(ErrorOpeningText(file));
      } else if (reading == SourceReading::kFailed) {
        ReportModuleReadFailure(context, table, file, unreadable);
      }
    }
    ++count;
  }
  return count;
}

void ReportModuleReadFailure(ScanContext& context, const ModuleTable& table,
                             const std::string& path, std::unordered_set<std::string>& reported) {
  if (!reported.insert(path).second) return;
  const std::string message = ErrorReadingText(path);
  context.LogError(message);
  AppendModuleLog(context, table, message);
}

SourceReading CollectModuleFunctions(ScanContext& context, const ModuleTable& table,
                                     const std::string& path, PackedStrings& functions) {
  SourceReader reader;
  if (!reader.Open(path)) return SourceReading::kNotOpened;
  // Every non-empty line becomes the previous line, so a comment or a blank line between a
  // header and its "{" hides the function from this pass.
  std::string piece;
  std::string previous;
  FunctionHeader header;
  while (reader.ReadPiece(piece)) {
    const std::string_view line = LineText(piece);
    if (line.empty()) continue;
    if (line[0] == '{' && ParseFunctionHeader(previous, header)) {
      AppendModuleLog(context, table, kSignatureLine + header.signature);
      functions.push_back(header.name);
    }
    previous.assign(line);
  }
  return reader.failed() ? SourceReading::kFailed : SourceReading::kRead;
}

void ScanAllModuleCalls(ScanContext& context, ModuleTable& table) {
  StringList edgeLines = EdgeLines(table);
  ModuleProgress progress(context, table, 1);
  for (int k = 0; k < table.moduleCount; ++k) {
    if (!table.modules[k].valid) continue;
    if (progress.NextFiles(table.modules[k].files.size())) return;
    std::vector<ModuleRecord*> others;
    for (int j = 0; j < table.moduleCount; ++j) {
      if (j != k && table.modules[j].valid) others.push_back(&table.modules[j]);
    }
    ScanCallsFromModule(context, table, table.modules[k], others, edgeLines);
  }
}

void ScanCallsFromModule(ScanContext& context, ModuleTable& table, ModuleRecord& from,
                         const std::vector<ModuleRecord*>& others, StringList& edgeLines) {
  AppendModuleLog(context, table, kModuleLogSeparator);
  AppendModuleLog(context, table, kScanningCallsFrom + from.moduleName);
  std::string activity = kScanningCallsFrom + from.moduleName + kActivityTargets;
  const char* separator = kFirstTargetSeparator;
  for (ModuleRecord* into : others) {
    if (context.StopRequested()) return;
    ScanCallsInto(context, table, from, *into, edgeLines);
    activity += separator + into->moduleName;
    separator = kNextTargetSeparator;
  }
  context.Log(activity);
}

void ScanCallsInto(ScanContext& context, ModuleTable& table, ModuleRecord& from, ModuleRecord& into,
                   StringList& edgeLines) {
  AppendModuleLog(context, table, kTargetLine + into.moduleName);
  // Unlike pass 1, comment, preprocessor and empty lines do not become the previous line. The
  // previous line and the caller carry over from one file to the next.
  std::string previous;
  std::string caller;
  std::string piece;
  FunctionHeader header;
  SourceReader reader;
  const int32_t fromIndex = static_cast<int32_t>(&from - table.modules.data());
  const int32_t intoIndex = static_cast<int32_t>(&into - table.modules.data());
  for (const std::string& file : from.files) {
    if (context.StopRequested()) return;
    AppendModuleLog(context, table, kFileLine + file);
    if (!reader.Open(file)) continue;
    bool inBody = false;
    // Lines count the line feeds before a piece, so a long line's pieces share its number.
    int32_t lineNumber = 0;
    bool pieceEndedLine = true;
    while (reader.ReadPiece(piece)) {
      if (pieceEndedLine) ++lineNumber;
      pieceEndedLine = piece.back() == '\n';
      const std::string_view line = LineText(piece);
      if (line.empty()) continue;
      switch (line[0]) {
        case '#':
        case '/':
        case '\r':
        case '\n':
          break;
        case '{':
          if (ParseFunctionHeader(previous, header)) {
            caller = header.name;
            inBody = true;
            AppendModuleLog(context, table, kBodyStartLine + from.moduleName + ":" + caller);
          }
          break;
        case '}':
          AppendModuleLog(context, table, kBodyEndLine);
          inBody = false;
          break;
        default:
          previous.assign(line);
          if (!inBody) break;
          for (const std::string_view found : into.definedFunctions) {
            if (line.find(found) == std::string_view::npos) continue;
            const std::string callee(found);
            if (AddIfAbsent(edgeLines, EdgeLine(from, caller, into, callee))) {
              table.calls.Add({fromIndex, intoIndex, caller, callee, file, lineNumber});
            }
            AddIfAbsent(into.linkedFunctions, callee);
            AddIfAbsent(from.linkedFunctions, caller);
            AppendModuleLog(context, table, kCallLine + into.moduleName + ":" + callee);
          }
          break;
      }
    }
    reader.Close();
  }
}

}  // namespace quillmap
