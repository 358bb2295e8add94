/// The call graph as a DOT file ("digraph G"): a view of the graph model, one node per function
/// name with the node style of the filter that first named it, one edge per recorded call with
/// its edge style, and a comment for each source that failed.
#pragma once

#include <string>

#include "config/scan_settings.h"
#include "model/graph_model.h"
#include "outputs/line_writer.h"
#include "query/model_query.h"
#include "text/text_utils.h"

namespace quillmap {

/// Writes the DOT file at `dotPath` (nothing when it is empty). The graph attributes and styles
/// come from `dot`; `callsList` holds the filters that the model's filter indexes and the node
/// styles of `dot` refer to. With a `selection`, only the functions and calls it keeps are
/// written, and its cut marks before the end.
void WriteCallGraphDot(const CallGraphDotSettings& dot, LineWriter& writer,
                       const StringList& callsList, const CallGraphModel& model,
                       const std::string& dotPath, const GraphSelection* selection = nullptr);

/// The text of a DOT line comment ("// TEXT") that no byte of `text` can end early: line feeds
/// and carriage returns are written as "\n" and "\r", NUL bytes (which end Graphviz's reading)
/// as "\0".
std::string DotLineComment(const std::string& text);

}  // namespace quillmap
