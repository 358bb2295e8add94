/// The difference between two JSON exports of the graph model, for reviews of a change: the
/// functions and calls that appeared, those that disappeared and those that stayed.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "model/name_table.h"

namespace quillmap {

/// What the difference needs of one export: where each function is defined and who calls what.
/// Files are given below the folder that holds all of the export's files. Every name, file and
/// call text is stored once in `texts` and named by its id (0 is ""), so that a call costs 16
/// bytes however often its texts recur.
struct ExportedFunction {
  NameId name = 0;
  NameId file = 0;  // 0 when the export has none
};
struct ExportedCall {
  NameId caller = 0;
  NameId callerFile = 0;  // the caller's file, 0 when the export has none
  NameId callee = 0;
  NameId callText = 0;  // "bar(ARG)": calls of one name with other arguments differ
};
struct ExportedGraph {
  NameTable texts;
  // Deques: a list grows without a spare half.
  std::deque<ExportedFunction> functions;
  std::deque<ExportedCall> calls;
  std::string_view Text(NameId id) const { return texts[id]; }
};

/// The export read from a file, or the error that says why it could not be (then `error` is
/// not empty).
struct ExportReading {
  ExportedGraph graph;
  std::string error;
};

/// Reads the export at `path`. Keeps only what the difference needs while parsing, so that a
/// whole-tree export is not held twice.
ExportReading ReadGraphExport(const std::string& path);
/// The same for export text already in memory; `path` only names it in errors.
ExportReading ParseGraphExport(std::string_view text, const std::string& path);

/// Error texts of reading an export ("PATH: " comes first).
inline constexpr const char* kNotJson = "not valid JSON: ";
inline constexpr const char* kNotAnExport = "not a graph export: ";
inline constexpr const char* kOtherVersion = "export version ";
inline constexpr const char* kVersionWanted = ", this program reads version ";

enum class DiffState { kSame, kAdded, kRemoved };

/// A node of the difference: a function (`defined`) or a called name that no export defines.
/// A name defined more than once in either export is told apart by its file (static functions).
struct DiffNode {
  std::string name;
  std::string file;  // set when the name alone does not say which function is meant
  bool defined = false;
  DiffState state = DiffState::kSame;
};
struct DiffEdge {
  int32_t from = -1;  // indexes into GraphDiff::nodes
  int32_t to = -1;
  std::string_view callText;  // in the texts of the exports, which the difference may not outlive
  DiffState state = DiffState::kSame;
};

/// The union of two exports with the state of every node and edge. Nodes are in the order of
/// the newer export, then those only the older one has; the same for edges.
struct GraphDiff {
  std::vector<DiffNode> nodes;
  std::vector<DiffEdge> edges;
};

/// A function is the same in both exports when its name is (and its file, for a name defined
/// more than once in either); a call when its caller, callee and call text are. A called name
/// that is defined more than once means the definition in the caller's file, if there is one.
GraphDiff DiffGraphs(const ExportedGraph& before, const ExportedGraph& after);

}  // namespace quillmap
