/// The resolution stage: binds each call of the scanned model to the definitions it reaches. A
/// direct call binds by scope (its own file's static definition, else the one external one); a
/// call through a slot (a struct member, a variable, a parameter) binds to the functions that
/// flow into that slot anywhere in the sources, narrowed by the struct type where both sides
/// know it. The model's calls are rewritten in place: one record per target, each naming its
/// callee definition, with its kind and the dispatch expression. Static functions whose name is
/// defined in other files too get node names of their own ("helper@dir/file.c").
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "absl/container/flat_hash_set.h"
#include "model/graph_model.h"
#include "model/name_table.h"
#include "resolve/c_facts.h"
#include "resolve/macro_table.h"

namespace quillmap {

/// What resolution found, for the run's summary.
struct ResolveCounts {
  uint64_t direct = 0;       // direct calls bound to a definition
  uint64_t unresolved = 0;   // direct calls of a name defined nowhere (a library function)
  uint64_t ambiguous = 0;    // direct calls of a name with several external definitions
  uint64_t dispatches = 0;   // calls through a slot
  uint64_t unbound = 0;      // of them, with no known target
  uint64_t pointerEdges = 0;  // records of calls through a slot with a target
  uint64_t macroCalls = 0;    // calls made by the expansion of a macro
};

/// "N direct, N pointer edges from N dispatches (N without a target), N unresolved, N ambiguous"
std::string ResolveSummary(const ResolveCounts& counts);

class CallResolver {
 public:
  CallResolver();
  ~CallResolver();
  CallResolver(const CallResolver&) = delete;
  CallResolver& operator=(const CallResolver&) = delete;

  /// The facts of a source (`source` indexes the model's sources), before its calls are marked.
  void AddFile(int32_t source, const CFileFacts& facts);
  /// The linkage and parameters of its definitions: `modelFunctions[r]` is the model index of
  /// the definition at range r, or -1 when no filter selected it.
  void AddDefinitions(const CFileFacts& facts, const std::vector<int32_t>& modelFunctions);
  /// The dispatch site `dispatch` of the last file (an index into its facts' dispatches, which
  /// must live until the next AddFile) is the model's call `call`.
  void MarkDispatch(uint32_t call, size_t dispatch);
  /// The model's call `call` is made by the expansion of macro `macro`.
  void MarkMacro(uint32_t call, std::string_view macro);

  /// The macros of the project's headers, read before the sources; every source sees them.
  MacroTable& headerMacros() { return headerMacros_; }
  const MacroTable& headerMacros() const { return headerMacros_; }
  /// How definitions named by macros no table knows are named (the built-in rules first).
  std::vector<MacroNameRule>& nameRules() { return nameRules_; }
  /// The names one source's build defines beyond the headers' ("NAME" or "NAME=VALUE", as -D
  /// gives them), by source path; set before the scan.
  void SetSourceDefines(std::unordered_map<std::string, std::vector<std::string>> defines) {
    sourceDefines_ = std::move(defines);
  }
  /// Those of `path`, null when it has none (from any thread).
  const std::vector<std::string>* DefinesOf(const std::string& path) const {
    if (sourceDefines_.empty()) return nullptr;
    const auto it = sourceDefines_.find(path);
    return it == sourceDefines_.end() ? nullptr : &it->second;
  }

  /// Rewrites the model's calls; the model is resolved afterwards (CallGraphModel::resolved).
  /// Once per resolver: what the files gave is let go on the way.
  /// When `stopped` says so before the calls are written again (it is asked now and then, from
  /// the thread that resolves), returns with the model's calls as they were and the model not
  /// resolved.
  ResolveCounts Resolve(CallGraphModel& model, const std::function<bool()>& stopped = nullptr);

 private:
  struct Flow {
    uint32_t to;
    uint32_t from;
    int32_t file;  // where it stands: a function name binds from there
  };
  struct Dispatch {
    uint32_t slot;
    uint32_t via;  // index into vias_
    int32_t file;
    int32_t arguments;
    uint32_t passedBegin;  // its arguments that may be functions: passed_[begin, end)
    uint32_t passedEnd;
  };
  struct StructDef {
    int32_t file;
    std::vector<CMember> members;
  };

  // The id of a slot's text (see SlotId) in texts_.
  uint32_t SlotId(const CSlot& slot, int32_t firstFunction);
  std::string KeyOf(std::string_view slot, int32_t file) const;
  const CMember* Member(const std::string& type, std::string_view member, int32_t file) const;
  std::string Canonical(std::string type) const;

  // The texts of slots and, once resolving, of the keys they walk to, each once: a whole tree
  // has millions of slots that share far fewer texts. Id 0 is the empty text.
  NameTable texts_;
  std::string slotText_;  // the slot being looked up
  absl::flat_hash_set<uint64_t> fileFlows_;  // the flows of the file being added
  std::vector<Flow> flows_;
  std::vector<Dispatch> dispatches_;  // those that became calls
  std::vector<std::pair<int32_t, uint32_t>> passed_;  // position, slot
  absl::flat_hash_map<std::string, uint32_t> viaIds_;
  std::vector<std::string> vias_;  // by id
  // Few calls are marked: the marked ones, by model call, in the order marked.
  static void Mark(std::vector<std::pair<uint32_t, int32_t>>& marks, uint32_t call, int32_t value);
  std::vector<std::pair<uint32_t, int32_t>> callDispatch_;  // index into dispatches_
  std::vector<std::pair<uint32_t, int32_t>> callMacro_;     // the macro: index into vias_
  MacroTable headerMacros_;
  std::unordered_map<std::string, std::vector<std::string>> sourceDefines_;
  std::vector<MacroNameRule> nameRules_ = BuiltInMacroNameRules();
  // The last file's dispatch sites, until the next file.
  const std::vector<CDispatch>* fileDispatches_ = nullptr;
  int32_t fileSource_ = -1;
  int32_t fileLocalBase_ = 0;
  std::vector<int8_t> functionStatic_;      // by model function
  std::vector<int16_t> functionParameters_;  // by model function, -1 unknown
  std::unordered_map<std::string, std::vector<StructDef>> structs_;
  std::unordered_map<std::string, std::string> typedefs_;
  int32_t localBase_ = 0;  // numbers the functions of all files for the keys of their locals
};

}  // namespace quillmap
