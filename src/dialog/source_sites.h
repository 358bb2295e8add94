/// Where the dialog's views lead into the sources: the source site a line of the activity log
/// names (a source's "IN[n]" line, a definition's ">> Z:" line), and the command that opens a
/// site in the user's editor.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dialog/calls_tree.h"
#include "dialog/log_lines.h"

namespace quillmap {

/// The source and line that log line `index` names; none for a line that names no site. A
/// definition's line is found in the source of the nearest "IN[" line above it.
std::optional<SourceSite> SourceSiteOfLogLine(const LogLines& log, size_t index);

/// The default editor command: "$VISUAL +%l %f", else "$EDITOR +%l %f", else "xdg-open %f".
std::string DefaultEditorCommand(const char* visual, const char* editor);
/// The words of `command` (split at blanks) with "%f" replaced by the file and "%l" by the line.
std::vector<std::string> EditorArguments(const std::string& command, const SourceSite& site);

inline constexpr const char* kNoEditor =
    "No editor could be started for %s. Set the editor command (VISUAL or EDITOR, or the "
    "command field of the code view; %f stands for the file, %l for the line).";

}  // namespace quillmap
