#include "dialog/source_sites.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace quillmap {

namespace {
constexpr std::string_view kSourceEntry = "IN[";
constexpr std::string_view kDefinitionEntry = ">> Z:";

// The path of an "IN[n]:  path" line, or "".
std::string SourceOf(const std::string& line) {
  if (!line.starts_with(kSourceEntry)) return {};
  const size_t colon = line.find("]:");
  if (colon == std::string::npos) return {};
  size_t start = colon + 2;
  while (start < line.size() && line[start] == ' ') ++start;
  return line.substr(start);
}

// `word` with "%f" and "%l" replaced in one pass (a file name may hold either).
std::string Substituted(const std::string& word, const SourceSite& site) {
  std::string result;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '%' && i + 1 < word.size() && (word[i + 1] == 'f' || word[i + 1] == 'l')) {
      result += word[++i] == 'f' ? site.file : std::to_string(site.line);
    } else {
      result += word[i];
    }
  }
  return result;
}
}  // namespace

std::optional<SourceSite> SourceSiteOfLogLine(const LogLines& log, size_t index) {
  if (index >= log.lineCount()) return std::nullopt;
  const std::string line = log.Line(index);
  if (std::string path = SourceOf(line); !path.empty()) return SourceSite{path, 1};
  if (!line.starts_with(kDefinitionEntry)) return std::nullopt;
  // The "{" line's index counts from 0: the header stands on the line before it, counted from 1.
  const int32_t braceIndex = std::atoi(line.c_str() + kDefinitionEntry.size());
  for (size_t above = index; above-- > 0;) {
    if (std::string path = SourceOf(log.Line(above)); !path.empty())
      return SourceSite{path, std::max(1, braceIndex)};
  }
  return std::nullopt;
}

std::string DefaultEditorCommand(const char* visual, const char* editor) {
  for (const char* chosen : {visual, editor}) {
    if (chosen != nullptr && *chosen != '\0') return std::string(chosen) + " +%l %f";
  }
  return "xdg-open %f";
}

std::vector<std::string> EditorArguments(const std::string& command, const SourceSite& site) {
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) {
    words.push_back(Substituted(word, site));
  }
  return words;
}

}  // namespace quillmap
