/// The graph a scan run finds, held whole before anything is written: the call graph's source
/// files, function definitions and calls in the order found, and the modules with the calls
/// between them. The writers (DOT, CSV, module graph, JSON), the queries and the rules read it;
/// nothing in it depends on how it will be shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

/// A source of the call graph, in file-list order.
struct SourceRecord {
  std::string path;
  bool opened = false;  // false: it could not be opened (then `failure` says so)
  /// "error opening: PATH" or "error reading: PATH" (reading failed part way); empty otherwise.
  std::string failure;
};

/// A function definition that a call filter selected.
struct FunctionRecord {
  std::string name;            // the node name ("foo")
  std::string header;          // the header text, on one line, as the activity log shows it
  std::string callText;        // the function as its node text ("foo()")
  int32_t file = -1;           // index into CallGraphModel::sources
  int32_t line = 0;            // 1-based line where the header starts
  int32_t braceLine = 0;       // 0-based index of the line that opens the body ("Z:" of the log)
  int32_t module = -1;         // index into ModuleModel::modules, -1 when in no module
  int32_t filter = -1;         // index of the call filter that selected it
  bool closed = false;         // its body ended within its file
  int32_t endLine = 0;         // 0-based index of the line that ends the body, when closed
  std::vector<int32_t> calls;  // indexes into CallGraphModel::calls, in the order found
};

/// A call inside a selected function's body that a call filter selected. Calls with the same
/// call text in one body are recorded once.
struct CallRecord {
  int32_t caller = -1;                 // index into CallGraphModel::functions
  std::string callee;                  // the called name ("bar"), as its node name
  std::string callText;                // "bar(ARG)", ARG the argument the edge style names, if any
  std::vector<std::string> arguments;  // the call's arguments as written
  std::string lineText;                // the source line of the call, cleaned, as the log shows it
  int32_t line = 0;                    // 1-based line of the call
  int32_t filter = -1;                 // index of the call filter that selected it
  std::string edgeStyle;               // the DOT edge attributes, with the argument put in
};

/// Everything the call graph scan found, in the order found.
struct CallGraphModel {
  std::vector<SourceRecord> sources;
  std::vector<FunctionRecord> functions;
  std::vector<CallRecord> calls;
  std::vector<std::string> graphAttributes;  // the "[dot] graph_cfgN" lines
};

/// A call from a function of one module into a function of another.
struct ModuleCallRecord {
  int32_t fromModule = -1;  // indexes into ModuleModel::modules
  int32_t toModule = -1;
  std::string caller;
  std::string callee;
  std::string file;  // where the call stands
  int32_t line = 0;  // 1-based
};

struct ModuleInfo {
  std::string name;
  std::vector<std::string> files;
  std::vector<std::string> definedFunctions;  // in the order found, duplicates kept
};

/// The modules and the calls between them, in the order the module scan found them.
struct ModuleModel {
  std::vector<ModuleInfo> modules;
  std::vector<ModuleCallRecord> calls;
};

/// What one scan run found.
struct GraphModel {
  CallGraphModel callGraph;
  ModuleModel moduleGraph;
};

}  // namespace quillmap
