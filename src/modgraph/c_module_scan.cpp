#include "modgraph/c_module_scan.h"

#include <unordered_set>

#include "csource/c_source_scanner.h"
#include "files/source_text.h"

namespace quillmap {

namespace {

class BodyCollector : public CSourceVisitor {
 public:
  BodyCollector(std::string_view text, std::vector<std::string>& headers,
                std::vector<CModuleScan::Body>& bodies)
      : text_(text), headers_(headers), bodies_(bodies) {}
  void OnFunctionStart(const CFunction& function) override {
    headers_.push_back(CHeaderText(text_, function));
    bodies_.push_back({std::string(function.name), {}, {}});
  }
  void OnCall(const CFunction&, const CCall& call) override {
    bodies_.back().callees.emplace_back(call.name);
    bodies_.back().calleeLines.push_back(call.line);
  }
  void OnFunctionEnd(const CFunction&) override {}

 private:
  std::string_view text_;
  std::vector<std::string>& headers_;
  std::vector<CModuleScan::Body>& bodies_;
};

}  // namespace

const CModuleScan::Source& CModuleScan::Load(const std::string& path) {
  auto [it, inserted] = sources_.try_emplace(path);
  if (!inserted) return *it->second;
  it->second = std::make_unique<Source>();
  Source& source = *it->second;
  SourceText text;
  if (!text.Load(path)) return source;
  source.opened = true;
  source.readFailed = text.failed();
  BodyCollector collector(text.text(), source.headers, source.bodies);
  CSourceScanner().Scan(text.text(), collector);
  return source;
}

int CModuleScan::CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) {
  sources_.clear();
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
      const Source& source = Load(file);
      if (!source.opened) {
        if (unopenable.insert(file).second) {
          context.LogError(ErrorOpeningText(file));
        }
        continue;
      }
      for (size_t i = 0; i < source.bodies.size(); ++i) {
        AppendModuleLog(context, table, kSignatureLine + source.headers[i]);
        record.definedFunctions.push_back(source.bodies[i].caller);
      }
      if (source.readFailed) ReportModuleReadFailure(context, table, file, unreadable);
    }
    ++count;
  }
  return count;
}

void CModuleScan::ScanAllModuleCalls(ScanContext& context, ModuleTable& table) {
  // Per module: where each of its function names stands in its definedFunctions.
  std::vector<std::unordered_map<std::string, std::vector<size_t>>> positions(table.moduleCount);
  std::vector<std::unordered_set<std::string>> linked(table.moduleCount);
  for (int m = 0; m < table.moduleCount; ++m) {
    const ModuleRecord& record = table.modules[m];
    if (!record.valid) continue;
    for (size_t p = 0; p < record.definedFunctions.size(); ++p) {
      positions[m][record.definedFunctions[p]].push_back(p);
    }
    linked[m].insert(record.linkedFunctions.begin(), record.linkedFunctions.end());
  }
  std::unordered_set<std::string> edges(table.edgeLines.begin(), table.edgeLines.end());

  ModuleProgress progress(context, table, 1);
  for (int k = 0; k < table.moduleCount; ++k) {
    ModuleRecord& from = table.modules[k];
    if (!from.valid) continue;
    if (progress.NextFiles(from.files.size())) return;
    AppendModuleLog(context, table, kModuleLogSeparator);
    AppendModuleLog(context, table, kScanningCallsFrom + from.moduleName);
    std::string activity = kScanningCallsFrom + from.moduleName + kActivityTargets;
    const char* separator = kFirstTargetSeparator;
    for (int j = 0; j < table.moduleCount; ++j) {
      ModuleRecord& into = table.modules[j];
      if (j == k || !into.valid) continue;
      AppendModuleLog(context, table, kTargetLine + into.moduleName);
      for (const std::string& file : from.files) {
        if (context.StopRequested()) return;
        AppendModuleLog(context, table, kFileLine + file);
        for (const Body& body : Load(file).bodies) {
          AppendModuleLog(context, table, kBodyStartLine + from.moduleName + ":" + body.caller);
          for (size_t c = 0; c < body.callees.size(); ++c) {
            const std::string& callee = body.callees[c];
            const auto found = positions[j].find(callee);
            if (found == positions[j].end()) continue;
            // A name defined twice in the module is matched twice, as in the line mode.
            for (size_t n = found->second.size(); n > 0; --n) {
              std::string edge = EdgeLine(from, body.caller, into, callee);
              if (edges.insert(edge).second) {
                table.edgeLines.push_back(std::move(edge));
                table.calls.push_back({k, j, body.caller, callee, file, body.calleeLines[c]});
              }
              if (linked[j].insert(callee).second) into.linkedFunctions.push_back(callee);
              if (linked[k].insert(body.caller).second) from.linkedFunctions.push_back(body.caller);
              AppendModuleLog(context, table, kCallLine + into.moduleName + ":" + callee);
            }
          }
          AppendModuleLog(context, table, kBodyEndLine);
        }
      }
      activity += separator + into.moduleName;
      separator = kNextTargetSeparator;
    }
    context.Log(activity);
  }
  sources_.clear();
}

}  // namespace quillmap
