/// What a picture is rendered as: the output formats of a "render" key and the time budget of
/// its layout ("render_seconds"), read and checked before any layout starts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/config_keys.h"

namespace quillmap {

inline constexpr double kDefaultRenderSeconds = 10;

/// Log entries for bad values (followed by the value and what was expected).
inline constexpr const char* kUnknownRenderFormat = "unknown render format: ";
inline constexpr const char* kBadRenderSeconds = "bad render_seconds: ";

struct RenderSettings {
  std::vector<std::string> formats;  // in the order given, each once
  double budgetSeconds = kDefaultRenderSeconds;
};

/// The settings, or the error entry that says what is wrong (then `error` is not empty).
struct RenderSettingsResult {
  RenderSettings settings;
  std::string error;
};

/// Reads a comma-separated format list (blanks around names dropped, empty names skipped) and a
/// budget in seconds ("" for the default; otherwise a decimal number above 0). A format that is
/// not in `knownFormats` is an error naming it and the known ones.
RenderSettingsResult ParseRenderSettings(std::string_view formats, std::string_view seconds,
                                         const std::vector<std::string>& knownFormats);

/// The picture's path: the DOT path with its extension replaced by the format ("calls.dot" ->
/// "calls.svg"), or with the format appended when the file name has no extension.
std::string PicturePath(const std::string& dotPath, const std::string& format);

}  // namespace quillmap
