/// Answers of the reachability queries of the command line as CSV or JSON: what a function
/// reaches (or what reaches it), the shortest call chain from one function to another, and the
/// functions that no entry point reaches.
#pragma once

#include <string>
#include <vector>

#include "reach/call_reach.h"

namespace quillmap {

enum class ReachFormat { kCsv, kJson };

/// Entry points of the unreached functions: `main` and the patterns of "[rules] entry"; with
/// `externalEntries`, every function that is not static too (for a library, whose callers are
/// elsewhere).
struct DeadQuery {
  std::vector<std::string> entries;
  bool externalEntries = false;
};

/// The entry nodes of a DeadQuery: the definitions that `main` and its patterns match, every
/// function that is not static with `externalEntries`, and every function that a call through
/// a pointer may reach (registered in a dispatch table or passed as a value).
std::vector<int32_t> DeadEntryNodes(const CallReachGraph& graph, const DeadQuery& query);

/// "direct" or "pointer": how a call goes, as the answers write it.
const char* CallKindText(CallKind kind);

struct ReachAnswer {
  std::string text;   // the answer in the chosen format
  std::string error;  // "unknown name: X" and the like; then `text` is empty
};

/// "-reach NAME": every function reachable from NAME (or reaching it, with `callers`), with
/// its depth. NAME may be a glob pattern or NAME@FILE.
ReachAnswer AnswerReach(const CallReachGraph& graph, const std::string& name, bool callers,
                        ReachFormat format, const std::string& cfgDir);

/// "-why A,B": the shortest chain of calls from A to B, or "not reachable".
ReachAnswer AnswerWhy(const CallReachGraph& graph, const std::string& from, const std::string& to,
                      ReachFormat format, const std::string& cfgDir);

/// "-dead": the definitions that no entry point reaches, in function order.
ReachAnswer AnswerDead(const CallReachGraph& graph, const DeadQuery& query, ReachFormat format,
                       const std::string& cfgDir);

/// Whether a definition is static, from its header as written.
bool IsStaticDefinition(const CallGraphModel& model, const FunctionRecord& function);

/// The text "not reachable" that -why answers when no chain exists.
inline constexpr const char* kNotReachable = "not reachable";

}  // namespace quillmap
