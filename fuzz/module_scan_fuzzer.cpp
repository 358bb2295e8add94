// The function header reader and the module scan: the module table read from a configuration,
// both passes of the inter-module call scan over the module sources, and the module graph,
// which the DOT syntax check must accept; the fast engine gives the same log, bytes and table.
//
// Input: parts separated by a line "%%": the module names (one a line), then the sources.
#include <map>
#include <memory>
#include <set>
#include <string>

#include "config/cached_profile_reader.h"
#include "config/scan_settings.h"
#include "fuzz_support.h"
#include "modgraph/fast_module_scan.h"
#include "modgraph/module_graph_output.h"
#include "modgraph/module_scan.h"
#include "modgraph/module_table.h"

namespace quillmap::fuzz {
namespace {

constexpr size_t kMaxFuzzedModules = 6;
constexpr size_t kMaxFuzzedSources = 6;

class RecordingLog : public ActivityLog {
 public:
  void AppendLog(const std::string& text, bool replace) override {
    if (replace) entries.clear();
    entries.push_back(text);
  }
  std::vector<std::string> entries;
};

// The output files with the time of the DOT header line left out (two runs may not share it).
std::map<std::string, std::string> WithoutTime(std::map<std::string, std::string> files) {
  const std::string prefix = "// crated on: ";
  for (auto& [path, bytes] : files) {
    const size_t with = bytes.find(" with ");
    if (bytes.starts_with(prefix) && with != std::string::npos) {
      bytes.erase(prefix.size(), with - prefix.size());
    }
  }
  return files;
}

// The fast engine on the same configuration: the same log, outputs and table.
void CheckFastEngine(const std::string& cfgPath, const RecordingLog& referenceLog,
                     const MemoryLineWriter& referenceWriter, const ModuleTable& reference) {
  static auto table = std::make_unique<ModuleTable>();
  CachedProfileReader profile;
  MemoryLineWriter writer;
  RecordingLog log;
  const ScanSettings settings = ReadScanSettings(profile, cfgPath);
  ScanContext context(settings, writer, log);
  FastModuleScan engine;
  ReadModuleConfig(context, *table, cfgPath);
  WriteModuleGraph(context, *table, engine);
  FUZZ_CHECK(log.entries == referenceLog.entries, "the fast engine logs differently");
  FUZZ_CHECK(WithoutTime(writer.files) == WithoutTime(referenceWriter.files),
             "the fast engine writes other bytes");
  FUZZ_CHECK(
      table->moduleCount == reference.moduleCount && EdgeLines(*table) == EdgeLines(reference),
      "the fast engine finds other edges");
  for (int i = 0; i < table->moduleCount; ++i) {
    const ModuleRecord& fast = table->modules[static_cast<size_t>(i)];
    const ModuleRecord& slow = reference.modules[static_cast<size_t>(i)];
    FUZZ_CHECK(fast.definedFunctions == slow.definedFunctions &&
                   fast.linkedFunctions == slow.linkedFunctions,
               "the fast engine finds other functions in " + slow.moduleName);
  }
}

void CheckHeader(const std::string& line) {
  FunctionHeader header{"unchanged", "unchanged"};
  if (!ParseFunctionHeader(line, header)) {
    FUZZ_CHECK(header.signature == "unchanged" && header.name == "unchanged", line);
    return;
  }
  const std::string trimmed = Trim(line);
  FUZZ_CHECK(!header.name.empty() && header.name == Trim(header.name), line);
  FUZZ_CHECK(header.name.find('(') == std::string::npos, line);
  FUZZ_CHECK(trimmed.starts_with(header.signature), line);
  FUZZ_CHECK(header.signature.find(')') == header.signature.size() - 1, line);
  FUZZ_CHECK(header.signature.find(header.name) != std::string::npos, line);
}

// The configuration: module i gets the sources i, i + modules, ... (or one shared source when
// there are fewer sources than modules), with plain attribute texts.
std::string ModuleConfig(const std::vector<std::string>& names, size_t sources,
                         std::vector<std::vector<size_t>>& filesOf) {
  std::string cfg = "[modules]\nlog=mod.log\ndot=mod.dot\ngraph_cfg0=rankdir=LR\n";
  filesOf.assign(names.size(), {});
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string mod = "mod_" + std::to_string(i);
    cfg += mod + "=" + names[i] + "\n";
    if (i % 2 == 0) cfg += mod + "_dot_clu_0=color=blue;\n";
    if (i % 3 == 0) cfg += mod + "_dot_node=shape=box\n";
    if (i % 2 == 1) cfg += mod + "_dot_call=[color=red]\n";
    for (size_t s = sources < names.size() ? i % sources : i; s < sources; s += names.size()) {
      cfg += mod + "_file_" + std::to_string(filesOf[i].size()) + "=m" + std::to_string(s) + ".c\n";
      filesOf[i].push_back(s);
    }
  }
  return cfg;
}

}  // namespace
}  // namespace quillmap::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmap;
  using namespace quillmap::fuzz;
  std::vector<std::string> parts =
      SplitParts(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> names = SplitLines(parts[0]);
  if (names.size() > kMaxFuzzedModules) names.resize(kMaxFuzzedModules);
  std::vector<std::string> sources(parts.begin() + 1, parts.end());
  if (sources.size() > kMaxFuzzedSources) sources.resize(kMaxFuzzedSources);
  if (sources.empty()) sources.push_back("");

  for (const std::string& source : sources) {
    for (const std::string& line : SplitLines(source)) CheckHeader(line);
  }
  for (const std::string& name : names) CheckHeader(name);

  const ScratchDir& dir = ScratchDir::Get();
  for (size_t s = 0; s < sources.size(); ++s) dir.Write("m" + std::to_string(s) + ".c", sources[s]);
  std::vector<std::vector<size_t>> filesOf;
  const std::string cfgPath = dir.Write("mod.cfg", ModuleConfig(names, sources.size(), filesOf));

  static auto table = std::make_unique<ModuleTable>();
  RereadingProfileReader profile;
  MemoryLineWriter writer;
  RecordingLog log;
  const ScanSettings settings = ReadScanSettings(profile, cfgPath);
  ScanContext context(settings, writer, log);
  const int count = ReadModuleConfig(context, *table, cfgPath);
  FUZZ_CHECK(count == table->moduleCount && count <= static_cast<int>(names.size()), cfgPath);
  if (count == 0) return 0;
  FUZZ_CHECK(WriteModuleGraph(context, *table) == count, cfgPath);
  FUZZ_CHECK(!context.errorReported(), "every source exists");
  CheckFastEngine(cfgPath, log, writer, *table);

  const auto dot = writer.files.find(table->moduleDotPath);
  FUZZ_CHECK(dot != writer.files.end(), "no module graph written");
  const std::string problem = DotFileProblem(dot->second);
  FUZZ_CHECK(problem.empty(), problem);

  // Nothing is claimed that the sources do not hold, and the lists stay free of duplicates.
  const StringList lines = EdgeLines(*table);
  const std::set<std::string> edges(lines.begin(), lines.end());
  FUZZ_CHECK(edges.size() == lines.size(), "duplicate edge line");
  for (int i = 0; i < count; ++i) {
    const ModuleRecord& record = table->modules[static_cast<size_t>(i)];
    FUZZ_CHECK(record.valid && !record.moduleName.empty(), record.moduleName);
    std::string text;
    for (size_t s : filesOf[static_cast<size_t>(i)]) text += sources[s] + "\n";
    for (const std::string_view name : record.definedFunctions) {
      const std::string function(name);
      FUZZ_CHECK(!function.empty() && function.find('(') == std::string::npos, function);
      FUZZ_CHECK(text.find(function) != std::string::npos,
                 "defined function not in the sources: " + function);
    }
    const std::set<std::string> linked(record.linkedFunctions.begin(),
                                       record.linkedFunctions.end());
    FUZZ_CHECK(linked.size() == record.linkedFunctions.size(), "duplicate linked function");
    for (const std::string& function : record.linkedFunctions) {
      FUZZ_CHECK(text.find(function) != std::string::npos,
                 "linked function not in the sources: " + function);
    }
  }
  return 0;
}
