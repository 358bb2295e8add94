#include "modgraph/module_graph_output.h"

#include <unordered_set>

#include "config/app_identity.h"
#include "dot/dot_text.h"

namespace quillmap {

namespace {

constexpr const char* kOutFile = "out file: ";
constexpr const char* kScanningApiFor = "scanning API for";
constexpr const char* kGraphStart = "digraph callgraph {";
constexpr const char* kGraphEnd = "}";
constexpr const char* kAllFunctionsComment =
    "    // ***** public + internal fcts (enable manually)";
constexpr const char* kLinkedFunctionsComment = "    // ***** called from/to fcts";
constexpr const char* kClusterEnd = "  }";
constexpr const char* kClusterPrefix = "cluster_";

// Writes the lines of the module graph file; the first line of a run truncates it.
class GraphFile {
 public:
  GraphFile(ScanContext& context, const std::string& path) : context_(context), path_(path) {}
  void Write(const std::string& line) {
    context_.writer().WriteLine(path_, line, first_);
    first_ = false;
  }

 private:
  ScanContext& context_;
  const std::string& path_;
  bool first_ = true;
};

// `//node [label="f", attrs] mod_f;` or the same without the comment mark.
std::string NodeLine(const char* indent, const ModuleRecord& record, std::string_view function) {
  std::string line = indent;
  line += "node [label=" + QuotedDotString(function);
  if (!record.nodeAttributes.empty()) line += ", " + record.nodeAttributes;
  line += "] " + ModuleNodeId(record.moduleName, function) + ";";
  return line;
}

void WriteCluster(GraphFile& file, const ModuleRecord& record, const PackedStrings& functions,
                  const std::unordered_set<std::string>* shownFunctions) {
  file.Write("  subgraph " + DotId(kClusterPrefix + record.moduleName) + " {");
  for (const std::string& attribute : record.clusterAttributes) file.Write("    " + attribute);
  file.Write("    label=" + QuotedDotString(record.moduleName) + ";");
  file.Write(kAllFunctionsComment);
  for (const std::string_view function : functions) {
    file.Write(NodeLine("    //", record, function));
  }
  file.Write(kLinkedFunctionsComment);
  for (const std::string& function : record.linkedFunctions) {
    if (shownFunctions && !shownFunctions->count(function)) continue;
    file.Write(NodeLine("    ", record, function));
  }
  file.Write(kClusterEnd);
}

}  // namespace

int ScanModules(ScanContext& context, ModuleTable& table, ModuleScanEngine& engine) {
  AppendModuleLog(context, table, kOutFile + table.moduleDotPath);
  AppendModuleLog(context, table, kModuleLogSeparator);
  AppendModuleLog(context, table, kScanningApiFor);
  const int count = engine.CollectAllModuleFunctions(context, table);
  if (count == 0 || context.stopped()) return 0;
  engine.ScanAllModuleCalls(context, table);
  return context.stopped() ? 0 : count;
}

void WriteModuleGraphDot(ScanContext& context, const ModuleTable& table,
                         const std::vector<bool>& violatingEdges, const GraphSelection* selection,
                         const ModuleModel* model) {
  const ModuleCalls* calls = model != nullptr ? &model->calls : &table.calls;
  // The functions each module shows: those at an end of a kept edge (all without a selection).
  std::vector<std::unordered_set<std::string>> shown;
  if (selection) {
    shown.resize(static_cast<size_t>(table.moduleCount));
    for (size_t i = 0; i < calls->size(); ++i) {
      if (!selection->keepCall[i]) continue;
      const ModuleCallRecord& call = (*calls)[i];
      shown[static_cast<size_t>(call.fromModule)].emplace(calls->CallerOf(call));
      shown[static_cast<size_t>(call.toModule)].emplace(calls->CalleeOf(call));
    }
  }
  GraphFile file(context, table.moduleDotPath);
  file.Write(DotHeaderLine());
  file.Write(kGraphStart);
  for (const std::string& attribute : table.graphAttributeLines) file.Write(" " + attribute);
  for (int k = 0; k < table.moduleCount; ++k) {
    if (!table.modules[k].valid) continue;
    if (selection && !selection->keepNode[static_cast<size_t>(k)]) continue;
    const PackedStrings& functions = model != nullptr
                                         ? model->modules[static_cast<size_t>(k)].definedFunctions
                                         : table.modules[k].definedFunctions;
    WriteCluster(file, table.modules[k], functions,
                 selection ? &shown[static_cast<size_t>(k)] : nullptr);
  }
  for (size_t i = 0; i < calls->size(); ++i) {
    if (selection && !selection->keepCall[i]) continue;
    const std::string edge = EdgeLineOf(table, *calls, i);
    if (i < violatingEdges.size() && violatingEdges[i]) {
      // A second attribute list after the edge's own overrides its colour and style.
      file.Write("  " + edge.substr(0, edge.size() - 1) + " " + kViolationEdgeAttributes + ";");
    } else {
      file.Write("  " + edge);
    }
  }
  file.Write(kGraphEnd);
}

int WriteModuleGraph(ScanContext& context, ModuleTable& table, ModuleScanEngine& engine) {
  const int count = ScanModules(context, table, engine);
  if (count != 0) WriteModuleGraphDot(context, table);
  return count;
}

int WriteModuleGraph(ScanContext& context, ModuleTable& table) {
  RereadingModuleScan engine;
  return WriteModuleGraph(context, table, engine);
}

}  // namespace quillmap
