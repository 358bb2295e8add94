#include "modgraph/module_view.h"

#include <tuple>
#include <unordered_set>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

namespace quillmap {

namespace {
// A source the scan never reached (it stopped first) reads as one that could not be opened.
const ScannedSource kNotScanned{};

const ScannedSource& SourceOf(const ModuleSources& sources, const std::string& path) {
  const ScannedSource* source = sources.Find(path);
  return source != nullptr && source->scanned ? *source : kNotScanned;
}
}  // namespace

int ModuleSourcesView::CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) {
  std::unordered_set<std::string> unopenable;
  std::unordered_set<std::string> unreadable;
  defined_.assign(static_cast<size_t>(table.moduleCount), {});
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
      const ScannedSource& source = SourceOf(sources_, file);
      if (!source.opened) {
        if (unopenable.insert(file).second) context.LogError(ErrorOpeningText(file));
        continue;
      }
      for (uint32_t d = 0; d < source.definitionCount; ++d) {
        const ScannedDefinition& definition = sources_.definitions[source.firstDefinition + d];
        if (!table.moduleLogPath.empty()) {
          AppendModuleLog(context, table,
                          std::string(kSignatureLine).append(sources_.HeaderOf(definition)));
        }
        record.definedFunctions.emplace_back(sources_.names[definition.name]);
        defined_[static_cast<size_t>(k)].push_back(definition.name);
      }
      if (source.readFailed) ReportModuleReadFailure(context, table, file, unreadable);
    }
    ++count;
  }
  return count;
}

void ModuleSourcesView::ScanAllModuleCalls(ScanContext& context, ModuleTable& table) {
  const size_t modules = static_cast<size_t>(table.moduleCount);
  defined_.resize(modules);
  // Per module: how often each name stands in its definedFunctions (a name defined twice is
  // matched twice, as in the line mode).
  std::vector<absl::flat_hash_map<NameId, uint32_t>> definitions(modules);
  std::vector<absl::flat_hash_set<NameId>> linked(modules);
  for (size_t m = 0; m < modules; ++m) {
    if (!table.modules[m].valid) continue;
    for (const NameId name : defined_[m]) ++definitions[m][name];
  }
  // An edge is known by its modules and names; its line, which two such tuples may share, is
  // made only for a tuple not seen before.
  absl::flat_hash_set<std::tuple<int, NameId, int, NameId>> edgeTuples;
  std::unordered_set<std::string> edges(table.edgeLines.begin(), table.edgeLines.end());
  const bool logging = !table.moduleLogPath.empty();

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
      const auto& intoDefinitions = definitions[static_cast<size_t>(j)];
      for (const std::string& file : from.files) {
        if (context.StopRequested()) return;
        if (logging) AppendModuleLog(context, table, kFileLine + file);
        const ScannedSource& source = SourceOf(sources_, file);
        for (uint32_t d = 0; d < source.definitionCount; ++d) {
          const ScannedDefinition& body = sources_.definitions[source.firstDefinition + d];
          const std::string_view caller = sources_.names[body.name];
          if (logging) {
            AppendModuleLog(context, table,
                            std::string(kBodyStartLine) + from.moduleName + ":" += caller);
          }
          for (uint32_t c = 0; c < body.callCount; ++c) {
            const ScannedCall& call = sources_.calls[body.firstCall + c];
            const auto found = intoDefinitions.find(call.callee);
            if (found == intoDefinitions.end()) continue;
            const std::string_view callee = sources_.names[call.callee];
            if (edgeTuples.insert({k, body.name, j, call.callee}).second) {
              std::string edge = EdgeLine(from, std::string(caller), into, std::string(callee));
              if (edges.insert(edge).second) {
                table.edgeLines.push_back(std::move(edge));
                table.calls.push_back(
                    {k, j, std::string(caller), std::string(callee), file, call.line});
              }
            }
            if (linked[static_cast<size_t>(j)].insert(call.callee).second) {
              into.linkedFunctions.emplace_back(callee);
            }
            if (linked[static_cast<size_t>(k)].insert(body.name).second) {
              from.linkedFunctions.emplace_back(caller);
            }
            if (logging) {
              const std::string line = std::string(kCallLine) + into.moduleName + ":" += callee;
              for (uint32_t n = found->second; n > 0; --n) AppendModuleLog(context, table, line);
            }
          }
          if (logging) AppendModuleLog(context, table, kBodyEndLine);
        }
      }
      activity += separator + into.moduleName;
      separator = kNextTargetSeparator;
    }
    context.Log(activity);
  }
}

}  // namespace quillmap
