#include "render/render_settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "text/text_utils.h"

namespace quillmap {

namespace {

constexpr const char* kKnownPrefix = " (known: ";
constexpr const char* kSecondsExpected = " (a number of seconds above 0 expected)";

bool ParseSeconds(const std::string& text, double& seconds) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (!std::isfinite(value) || value <= 0) return false;
  seconds = value;
  return true;
}

}  // namespace

RenderSettingsResult ParseRenderSettings(std::string_view formats, std::string_view seconds,
                                         const std::vector<std::string>& knownFormats) {
  RenderSettingsResult result;
  const std::string budget = Trim(seconds);
  if (!budget.empty() && !ParseSeconds(budget, result.settings.budgetSeconds)) {
    result.error = kBadRenderSeconds + std::string(seconds) + kSecondsExpected;
    return result;
  }
  while (true) {
    const size_t comma = formats.find(',');
    const std::string format = Trim(formats.substr(0, comma));
    if (!format.empty()) {
      if (std::find(knownFormats.begin(), knownFormats.end(), format) == knownFormats.end()) {
        std::string known;
        for (const std::string& name : knownFormats) known += (known.empty() ? "" : ", ") + name;
        result.error = kUnknownRenderFormat + format + kKnownPrefix + known + ")";
        return result;
      }
      std::vector<std::string>& chosen = result.settings.formats;
      if (std::find(chosen.begin(), chosen.end(), format) == chosen.end()) {
        chosen.push_back(format);
      }
    }
    if (comma == std::string_view::npos) break;
    formats.remove_prefix(comma + 1);
  }
  return result;
}

std::string PicturePath(const std::string& dotPath, const std::string& format) {
  const size_t slash = dotPath.find_last_of('/');
  const size_t dot = dotPath.find_last_of('.');
  const bool hasExtension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (hasExtension ? dotPath.substr(0, dot) : dotPath) + "." + format;
}

}  // namespace quillmap
