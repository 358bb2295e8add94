/// The JSON export of a run's graph model: functions, calls, modules with their files, the calls
/// between modules, the rule violations and the run's errors, streamed element by element so
/// that a whole-tree model is written without a second copy of it in memory. The schema is
/// docs/quillmap-graph.schema.json.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/graph_model.h"
#include "rules/module_rules.h"
#include "text/text_utils.h"

namespace quillmap {

/// The value of the export's "version" field; raised when a field changes meaning or goes.
inline constexpr int kGraphJsonVersion = 1;

/// Writes `model` as JSON to `path`. Bytes that are not UTF-8 become U+FFFD and control bytes
/// are escaped, so the file is always valid JSON. False when the file cannot be written.
bool WriteGraphJson(const std::string& path, const GraphModel& model,
                    const std::vector<RuleViolation>& violations, const StringList& errors);

/// Appends `text` as a JSON string: printable ASCII written directly, anything else escaped or
/// replaced by the JSON library, so that the bytes are those the library itself would write.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace quillmap
