/// The settings of one scan run, read from its configuration once when the run starts: every
/// key a stage uses, as typed values grouped by the stage that uses them. The stages receive
/// their part and never look a key up themselves. Values stay as written (paths unresolved,
/// query and rule texts unparsed) where the stage that uses them reads their grammar and reports
/// their errors at its own place in the log.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/profile_reader.h"
#include "csource/source_syntax.h"
#include "text/text_utils.h"

namespace quillmap {

/// Log entries of the section "scan" (followed by the value).
inline constexpr const char* kUnknownSyntax = "error in [scan] syntax (lines or c): ";
inline constexpr const char* kUnknownResolve = "error in [scan] resolve (yes or no): ";

/// The DOT attributes of calls through pointers and of calls by macros when "[dot]" names none,
/// and the number of targets above which a dispatch is drawn as one node.
inline constexpr const char* kDefaultPointerStyle = "style=dashed";
inline constexpr const char* kDefaultMacroStyle = "style=dotted";
inline constexpr int kDefaultMaxTargets = 10;

/// Query option texts by option name (kQueryOptions); missing options are empty.
using QueryTexts = std::unordered_map<std::string, std::string>;

/// The "render" and "render_seconds" texts of a DOT file's section.
struct RenderTexts {
  std::string formats;
  std::string seconds;
  bool operator==(const RenderTexts&) const = default;
};

/// "[files]": the numbered source lists, each up to its first missing or empty entry.
struct SourceSettings {
  StringList files;             // "file0", "file1", ...
  StringList excludes;          // "exclude0", ...
  StringList headers;           // "header0", ...
  std::string compileCommands;  // "compile_commands"
  bool operator==(const SourceSettings&) const = default;
};

/// "[files]": the outputs, as written (empty: not written).
struct OutputSettings {
  std::string dot;
  std::string csv;
  std::string json;
  std::string sarif;
  bool operator==(const OutputSettings&) const = default;
};

/// "[scan]": how sources are read.
struct ScanModeSettings {
  SourceSyntax syntax = SourceSyntax::kLines;
  /// Binding calls to their definitions: "resolve=yes" with syntax=c.
  bool resolve = false;
  /// The error entry of a bad "syntax" or "resolve" (the run then scans nothing), or "".
  std::string problem;
  StringList defines;     // "define0", ... : NAME[=VALUE]
  StringList nameMacros;  // "name_macro0", ... : PATTERN TEMPLATE, as written
  bool operator==(const ScanModeSettings&) const = default;
};

/// "[calls]" and "[reject]": the filters, as ReadList gives them.
struct FilterSettings {
  StringList calls;
  StringList reject;
  bool operator==(const FilterSettings&) const = default;
};

/// "[dot]": how the call graph's DOT file looks and what it shows.
struct CallGraphDotSettings {
  StringList graphAttributes;  // "graph_cfg0", ...
  /// By filter of `FilterSettings::calls`: "node_cfg" + the filter's field 1 ("" when that
  /// field is empty), and "call_cfg" + its field 2.
  StringList nodeStyles;
  StringList callStyles;
  std::string pointerStyle = kDefaultPointerStyle;  // "pointer_cfg"
  std::string macroStyle = kDefaultMacroStyle;      // "macro_cfg"
  int maxTargets = kDefaultMaxTargets;              // "max_targets", as atoi reads it
  QueryTexts queries;                               // kQueryOptions
  RenderTexts render;
  bool operator==(const CallGraphDotSettings&) const = default;
};

/// One module of "[modules]": "mod_I" and its "mod_I_..." keys.
struct ModuleSettings {
  std::string name;
  StringList clusterAttributes;  // "mod_I_dot_clu_0", ...
  std::string nodeAttributes;    // "mod_I_dot_node"
  std::string callAttributes;    // "mod_I_dot_call"
  StringList files;              // "mod_I_file_0", ... as written
  bool operator==(const ModuleSettings&) const = default;
};

/// The module rules of "[modules]", as written.
struct ModuleRuleSettings {
  StringList rules;  // "rule_0", ...
  std::string layers;
  std::string defaultVerdict;  // "default"
  std::string cycles;
  std::string baseline;
  bool operator==(const ModuleRuleSettings&) const = default;
};

/// "[modules]": the module graph.
struct ModuleGraphSettings {
  std::string log;                      // as written
  std::string dot;                      // as written
  StringList graphAttributes;           // "graph_cfg0", ...
  std::vector<ModuleSettings> modules;  // up to the first module without a name
  QueryTexts queries;                   // focus, direction, depth
  ModuleRuleSettings rules;
  RenderTexts render;
  bool operator==(const ModuleGraphSettings&) const = default;
};

/// "[rules]": the call rules, as written.
struct CallRuleSettings {
  StringList forbidReach;  // "forbid_reach_0", ...
  std::string entry;
  std::string baseline;
  bool operator==(const CallRuleSettings&) const = default;
};

struct ScanSettings {
  std::string cfgPath;  // the configuration they were read from
  SourceSettings sources;
  OutputSettings outputs;
  ScanModeSettings scan;
  FilterSettings filters;
  CallGraphDotSettings dot;
  ModuleGraphSettings modules;
  CallRuleSettings callRules;
  bool operator==(const ScanSettings&) const = default;
};

/// The value that a numbered key (`prefix` and a number, as "rule_3") names in `values` (the
/// values of `prefix`0, `prefix`1, ...), "" for any other key or a number past the end.
std::string NumberedValue(const StringList& values, std::string_view prefix, std::string_view key);

/// Reads every setting of the configuration at `cfgPath` through `reader`. A missing file, section
/// or key gives the defaults.
ScanSettings ReadScanSettings(ProfileReader& reader, const std::string& cfgPath);

}  // namespace quillmap
