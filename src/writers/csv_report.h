/// The CSV report: a view of the call graph model, a row for the configuration, each opened
/// source, each selected definition and its calls, in the order found; every row padded with
/// ";" to 32 fields.
#pragma once

#include <string>

#include "config/scan_settings.h"
#include "model/graph_model.h"
#include "query/model_query.h"
#include "outputs/line_writer.h"
#include "text/text_utils.h"

namespace quillmap {

/// Writes the report at `csvPath` (nothing when it is empty); its first row names `cfgPath`.
void WriteCsvReport(LineWriter& writer, const std::string& cfgPath, const CallGraphModel& model,
                    const std::string& csvPath);

/// Writes the call graph's two outputs that the settings name ("[files] dot", "csv"), the DOT
/// file first. The DOT file shows what `selection` keeps (everything without one); the CSV report
/// stays the full report. A selection with an error writes no DOT file.
void WriteCallGraphOutputs(const ScanSettings& settings, LineWriter& writer,
                           const StringList& callsList, const CallGraphModel& model,
                           const GraphSelection* selection = nullptr);

/// Pads a CSV row with ";" to 32 fields when it holds fewer than `fields`.
std::string PadCsvRow(std::string row, int fields);

}  // namespace quillmap
