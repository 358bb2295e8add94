/// The calls tree of the chosen function, free of any toolkit: its callers (and theirs, as far
/// as the user expands) and its callees (and theirs), each entry with the call site it stands
/// for, expanded one level at a time so that a large graph costs only what is opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "query/function_index.h"

namespace quillmap {

/// Where a call stands, or a function's header: a source and a 1-based line.
struct SourceSite {
  std::string file;
  int32_t line = 0;
  bool operator==(const SourceSite&) const = default;
};

/// One entry of the tree.
struct CallsTreeNode {
  enum class Kind : uint8_t { kCallers, kCallees, kCaller, kCallee };
  Kind kind = Kind::kCallers;
  uint32_t function = 0;  // the chosen function (kCallers, kCallees), or the caller's function
  uint32_t call = 0;      // the call this entry stands for (kCaller, kCallee)
};

inline constexpr const char* kCallersOf = "callers of ";
inline constexpr const char* kCalleesOf = "callees of ";

/// The two top entries for `function`: its callers and its callees.
std::vector<CallsTreeNode> CallsTreeRoots(uint32_t function);
/// The entries one level below `node`: the calls of a caller's function, the calls that the
/// definitions of a callee make. Each caller or callee comes once per call site.
std::vector<CallsTreeNode> CallsTreeChildren(const FunctionIndex& index, const CallsTreeNode& node);
/// Whether `node` has entries below it (without making them).
bool CallsTreeHasChildren(const FunctionIndex& index, const CallsTreeNode& node);
/// Before the dispatch expression of a call through a pointer.
inline constexpr const char* kCallVia = " via ";

/// "callers of f (3)", or "name  file:line" with the call site, followed in a resolved model by
/// how the call goes: "  direct", "  pointer via ops->open".
std::string CallsTreeLabel(const FunctionIndex& index, const CallsTreeNode& node);
/// Where the entry's call stands (the header of the chosen function for a top entry).
SourceSite CallsTreeSite(const FunctionIndex& index, const CallsTreeNode& node);

}  // namespace quillmap
