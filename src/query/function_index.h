/// The functions of a call graph as the dialog lists and browses them: where each is defined,
/// how many functions call it and how many names it calls, and, for the calls tree, the calls
/// of it (callers) and its own calls (callees) with the functions that define a called name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "model/graph_model.h"

namespace quillmap {

/// A call from a function: the calling function's index and the call's index in the model.
struct CallSite {
  uint32_t caller = 0;
  uint32_t call = 0;
  bool operator==(const CallSite&) const = default;
};

class FunctionIndex {
 public:
  /// Indexes `model`, which must outlive the index and stay unchanged.
  explicit FunctionIndex(const CallGraphModel& model);

  const CallGraphModel& model() const { return model_; }
  size_t size() const { return model_.functions.size(); }
  std::string_view NameOf(uint32_t function) const {
    return model_.NameOf(model_.functions[function].name);
  }
  /// The source path of a function ("" when it has none).
  std::string_view FileOf(uint32_t function) const;
  /// The 1-based line of its header.
  int32_t LineOf(uint32_t function) const { return lines_[function]; }
  /// How many distinct functions call its name.
  uint32_t CallerCount(uint32_t function) const {
    return CallerCountOf(model_.functions[function].name);
  }
  /// How many distinct functions call `name`.
  uint32_t CallerCountOf(NameId name) const { return callerCounts_[name]; }
  /// How many distinct names it calls.
  uint32_t CalleeCount(uint32_t function) const { return calleeCounts_[function]; }

  /// The calls of a name from the functions that call it, in call order.
  std::vector<CallSite> CallersOf(NameId name) const;
  /// A function's own calls, in the order found.
  std::vector<CallSite> CalleesOf(uint32_t function) const;
  /// The functions that define `name` (none for a name that is only called).
  std::vector<uint32_t> DefinitionsOf(NameId name) const;
  /// The function whose body holds the call `call`.
  uint32_t CallerOf(uint32_t call) const;
  /// The 1-based line of a call.
  int32_t LineOfCall(uint32_t call) const { return model_.DetailsOf(model_.calls[call]).line; }

  /// The first function (by file order) defining `name`; none when no function does.
  std::optional<uint32_t> Find(std::string_view name) const;
  /// The function indexes sorted by name (then by file order).
  const std::vector<uint32_t>& byName() const { return byName_; }

 private:
  const CallGraphModel& model_;
  std::vector<int32_t> lines_;
  std::vector<uint32_t> calleeCounts_;  // by function
  std::vector<uint32_t> callerCounts_;  // by name
  // Calls of each name: callsOfName_[callOffsets_[name], callOffsets_[name + 1]).
  std::vector<uint32_t> callOffsets_;
  std::vector<uint32_t> callsOfName_;
  // Definitions of each name, likewise.
  std::vector<uint32_t> definitionOffsets_;
  std::vector<uint32_t> definitionsOfName_;
  std::vector<uint32_t> byName_;
};

}  // namespace quillmap
