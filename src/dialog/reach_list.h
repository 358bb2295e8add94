/// The dialog's reachability queries, free of any toolkit: what a function reaches and what
/// reaches it (with depths), the shortest chain of calls from one function to another, and the
/// functions that no entry point reaches, each as a list whose rows lead into the code. The
/// rows keep the search's nodes; their texts are made for the rows in sight only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dialog/calls_tree.h"
#include "query/function_index.h"
#include "query/graph_query.h"
#include "reach/call_reach.h"
#include "reach/reach_report.h"

namespace quillmap {

enum class ReachQueryKind { kNone, kReaches, kReachedBy, kWhy, kDead };

/// A query as the user asks it: `name` is the function (a name, a glob pattern or NAME@FILE),
/// `from` the start of the chain that kWhy looks for.
struct ReachQuery {
  ReachQueryKind kind = ReachQueryKind::kNone;
  std::string name;
  std::string from;
};

/// The columns of a reach list, in their order.
enum class ReachColumn { kDepth, kFunction, kDefinedAt, kStep, kKind };
inline constexpr const char* kReachColumnTitles[] = {"depth", "function", "defined at", "call",
                                                     "kind"};

inline constexpr const char* kWhatReaches = "what %s reaches: %n functions";
inline constexpr const char* kWhatReachesIt = "what reaches %s: %n functions";
inline constexpr const char* kWhyReachable = "why %s is reachable from %f: %n calls";
inline constexpr const char* kDeadFunctions = "dead functions: %n that no entry reaches (%s)";
inline constexpr const char* kNoRunToAsk = "no finished scan to ask";

/// The name that asks about exactly `function`: its own, or NAME@FILE where namesakes in other
/// files would answer too (a resolved model names those with their files already).
std::string ReachNameOf(const FunctionIndex& index, uint32_t function);

class ReachList {
 public:
  /// The list of no query.
  ReachList() = default;
  /// A query that could not be asked, and why.
  explicit ReachList(std::string why) : heading_(std::move(why)), failed_(true) {}
  /// Answers `query` over `graph`; `deadEntries` are the patterns that "[rules] entry" adds to
  /// `main` for kDead. An unknown name gives an empty list whose heading says so.
  ReachList(const CallReachGraph& graph, const ReachQuery& query,
            const std::vector<std::string>& deadEntries);

  const ReachQuery& query() const { return query_; }
  /// What the list shows: "what main reaches: 12 functions", "not reachable: a -> b",
  /// "unknown name: x".
  const std::string& heading() const { return heading_; }
  /// The query could not be answered (an unknown name, or no run).
  bool failed() const { return failed_; }
  size_t rows() const { return rows_.size(); }
  /// The text of a row's cell; "" past the end.
  std::string CellText(size_t row, ReachColumn column) const;
  /// Where a row leads: a step of a chain to its call, any other row to its function's
  /// definition (to the call that reached it for a library function); none past the end.
  std::optional<SourceSite> SiteOf(size_t row) const;
  /// The function a row names ("" past the end).
  std::string NameAt(size_t row) const;

 private:
  std::optional<SourceSite> DefinitionOf(int32_t node) const;
  SourceSite CallSiteOf(int32_t edge) const;

  const CallReachGraph* graph_ = nullptr;
  ReachQuery query_;
  std::vector<ReachedNode> rows_;  // kWhy: the root, then each step's callee and its edge
  std::string heading_;
  bool failed_ = false;
};

}  // namespace quillmap
