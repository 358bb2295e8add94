/// The names of the configuration keys that the settings reader and the stages that report on
/// them (query errors, rule errors, render errors) both use.
#pragma once

namespace quillmap {

/// The graph query options, on the command line ("-focus NAME") and as keys of "[dot]" /
/// "[modules]".
inline constexpr const char* kFocusOption = "focus";
inline constexpr const char* kDirectionOption = "direction";
inline constexpr const char* kDepthOption = "depth";
inline constexpr const char* kPathOption = "path";
inline constexpr const char* kOmitOption = "omit";
inline constexpr const char* kLeafOption = "leaf";
inline constexpr const char* kMaxNodesOption = "max_nodes";
inline constexpr const char* kQueryOptions[] = {kFocusOption,   kDirectionOption, kDepthOption,
                                                kPathOption,    kOmitOption,      kLeafOption,
                                                kMaxNodesOption};

/// How a DOT file is rendered, in its section ("dot" or "modules").
inline constexpr const char* kRenderKey = "render";
inline constexpr const char* kRenderSecondsKey = "render_seconds";

/// The call rules' section and its keys.
inline constexpr const char* kRulesSection = "rules";
inline constexpr const char* kForbidReachPrefix = "forbid_reach_";
/// The most call rules read ("forbid_reach_0" to "forbid_reach_9999").
inline constexpr int kMaxCallRules = 10000;
/// Entry points besides `main`, for the unreached functions (glob patterns).
inline constexpr const char* kEntryKey = "entry";
/// The baseline of the call rules ("[rules]") and of the module rules ("[modules]").
inline constexpr const char* kBaselineKey = "baseline";

// The keys of the section "modules" that hold rules.
inline constexpr const char* kRuleKeyPrefix = "rule_";
inline constexpr const char* kDefaultKey = "default";
inline constexpr const char* kLayersKey = "layers";
inline constexpr const char* kCyclesKey = "cycles";

}  // namespace quillmap
