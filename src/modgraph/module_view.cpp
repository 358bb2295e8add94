#include "modgraph/module_view.h"

#include <tuple>
#include <unordered_set>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

namespace quillmap {

namespace {
// A source the scan never reached (it stopped first) reads as one that could not be opened.
const ScannedSource kNotScanned{};

// The edge line of a module call, held as the call's index with the line's hash: the line is
// made again only to tell apart two lines of the same hash.
struct EdgeLineKey {
  size_t hash;
  uint32_t index;
};
// An edge line looked for.
struct EdgeLineProbe {
  size_t hash;
  std::string_view text;
};

// Hashes and compares edge lines held or looked for.
struct EdgeLineText {
  using is_transparent = void;
  const ModuleTable* table;
  std::string Text(const EdgeLineKey& key) const {
    return EdgeLineOf(*table, table->calls, key.index);
  }
  std::string Text(const EdgeLineProbe& probe) const { return std::string(probe.text); }
  template <typename T>
  size_t operator()(const T& line) const {
    return line.hash;
  }
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    return a.hash == b.hash && Text(a) == Text(b);
  }
};

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
    // Sized once: a module of a large tree defines tens of thousands of functions.
    size_t definitions = 0;
    for (const std::string& file : record.files)
      definitions += SourceOf(sources_, file).definitionCount;
    record.definedFunctions.reserve(definitions);
    defined_[static_cast<size_t>(k)].reserve(definitions);
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
        record.definedFunctions.emplace_back(NameOf(definition.name));
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
  // Per module: the names in its linkedFunctions.
  std::vector<absl::flat_hash_set<NameId>> linked(modules);
  for (size_t m = 0; m < modules; ++m) {
    if (!table.modules[m].valid) continue;
    for (const NameId name : defined_[m]) ++definitions[m][name];
  }
  // The edge lines of the calls linked so far: two edges of different modules and names may
  // share a line, and only the first call of a line is kept.
  const EdgeLineText text{&table};
  absl::flat_hash_set<EdgeLineKey, EdgeLineText, EdgeLineText> edges(table.calls.size(), text,
                                                                     text);
  const absl::Hash<std::string_view> hashOf;
  for (uint32_t i = 0; i < table.calls.size(); ++i) {
    edges.insert({hashOf(EdgeLineOf(table, table.calls, i)), i});
  }
  const bool logging = !table.moduleLogPath.empty();

  // What the first call from `body` of module k to a definition of `call.callee` in module j
  // links: the edge, and both functions as linked. Later calls of the same names link nothing
  // new, so the callers pass each (k, caller, j, callee) once.
  const auto link = [&](int k, const ScannedDefinition& body, int j, const ScannedCall& call,
                        const std::string& file) {
    ModuleRecord& from = table.modules[k];
    ModuleRecord& into = table.modules[j];
    const std::string_view caller = NameOf(body.name);
    const std::string_view callee = NameOf(call.callee);
    const std::string edge = EdgeLine(from, caller, into, callee);
    const size_t hash = hashOf(edge);
    if (!edges.contains(EdgeLineProbe{hash, edge})) {
      // The call first: the set may read the line of what it holds.
      table.calls.Add({k, j, caller, callee, file, call.line});
      edges.insert({hash, static_cast<uint32_t>(table.calls.size() - 1)});
    }
    if (linked[static_cast<size_t>(j)].insert(call.callee).second) {
      into.linkedFunctions.emplace_back(callee);
    }
    if (linked[static_cast<size_t>(k)].insert(body.name).second) {
      from.linkedFunctions.emplace_back(caller);
    }
  };

  // Without a module log nothing needs the pairs of modules read one by one: each module's calls
  // are read once, the first call of each caller and callee name put in the list of each other
  // module that defines the callee, and the lists taken in module order give the edges in the
  // order the pairs would.
  struct Match {
    const ScannedDefinition* body;
    const ScannedCall* call;
    const std::string* file;
  };
  // The modules that define a name with id n: definers[firstDefiner[n], firstDefiner[n + 1]),
  // in module order.
  std::vector<uint32_t> firstDefiner;
  std::vector<int> definers;
  std::vector<std::vector<Match>> matches;
  absl::flat_hash_set<uint64_t> pairs;  // caller and callee names seen in the module read
  if (!logging) {
    firstDefiner.assign(sources_.names().size() + 1, 0);
    for (size_t m = 0; m < modules; ++m) {
      for (const auto& [name, count] : definitions[m]) ++firstDefiner[name + 1];
    }
    for (size_t n = 1; n < firstDefiner.size(); ++n) firstDefiner[n] += firstDefiner[n - 1];
    definers.resize(firstDefiner.back());
    std::vector<uint32_t> next(firstDefiner.begin(), firstDefiner.end() - 1);
    for (size_t m = 0; m < modules; ++m) {
      for (const auto& [name, count] : definitions[m]) definers[next[name]++] = static_cast<int>(m);
    }
    matches.resize(modules);
  }
  // With a log, the same caller and callee names are met again for every other module.
  absl::flat_hash_set<std::tuple<int, NameId, int, NameId>> edgeTuples;

  ModuleProgress progress(context, table, 1);
  for (int k = 0; k < table.moduleCount; ++k) {
    ModuleRecord& from = table.modules[k];
    if (!from.valid) continue;
    if (progress.NextFiles(from.files.size())) return;
    AppendModuleLog(context, table, kModuleLogSeparator);
    AppendModuleLog(context, table, kScanningCallsFrom + from.moduleName);
    std::string activity = kScanningCallsFrom + from.moduleName + kActivityTargets;
    const char* separator = kFirstTargetSeparator;
    if (!logging) {
      for (std::vector<Match>& list : matches) list.clear();
      pairs.clear();
      for (const std::string& file : from.files) {
        if (context.StopRequested()) return;
        const ScannedSource& source = SourceOf(sources_, file);
        for (uint32_t d = 0; d < source.definitionCount; ++d) {
          const ScannedDefinition& body = sources_.definitions[source.firstDefinition + d];
          for (uint32_t c = 0; c < body.callCount; ++c) {
            const ScannedCall& call = sources_.calls[body.firstCall + c];
            const uint32_t first = firstDefiner[call.callee];
            const uint32_t last = firstDefiner[call.callee + 1];
            // Only the module itself defines it (or nobody does): it links nothing.
            if (first == last || (last - first == 1 && definers[first] == k)) continue;
            if (!pairs.insert(uint64_t{body.name} << 32 | call.callee).second) continue;
            for (uint32_t i = first; i < last; ++i) {
              const int j = definers[i];
              if (j != k) matches[static_cast<size_t>(j)].push_back({&body, &call, &file});
            }
          }
        }
      }
    }
    for (int j = 0; j < table.moduleCount; ++j) {
      ModuleRecord& into = table.modules[j];
      if (j == k || !into.valid) continue;
      if (!logging) {
        for (const Match& match : matches[static_cast<size_t>(j)]) {
          link(k, *match.body, j, *match.call, *match.file);
        }
      } else {
        AppendModuleLog(context, table, kTargetLine + into.moduleName);
        const auto& intoDefinitions = definitions[static_cast<size_t>(j)];
        for (const std::string& file : from.files) {
          if (context.StopRequested()) return;
          AppendModuleLog(context, table, kFileLine + file);
          const ScannedSource& source = SourceOf(sources_, file);
          for (uint32_t d = 0; d < source.definitionCount; ++d) {
            const ScannedDefinition& body = sources_.definitions[source.firstDefinition + d];
            AppendModuleLog(
                context, table,
                std::string(kBodyStartLine) + from.moduleName + ":" += NameOf(body.name));
            for (uint32_t c = 0; c < body.callCount; ++c) {
              const ScannedCall& call = sources_.calls[body.firstCall + c];
              const auto found = intoDefinitions.find(call.callee);
              if (found == intoDefinitions.end()) continue;
              if (edgeTuples.insert({k, body.name, j, call.callee}).second) {
                link(k, body, j, call, file);
              }
              const std::string line = std::string(kCallLine) + into.moduleName + ":" +=
                  NameOf(call.callee);
              for (uint32_t n = found->second; n > 0; --n) AppendModuleLog(context, table, line);
            }
            AppendModuleLog(context, table, kBodyEndLine);
          }
        }
      }
      activity += separator + into.moduleName;
      separator = kNextTargetSeparator;
    }
    context.Log(activity);
  }
}

}  // namespace quillmap
