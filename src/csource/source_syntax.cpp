#include "csource/source_syntax.h"

namespace quillmap {

namespace {
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}
}  // namespace

bool ParseSourceSyntax(std::string_view value, SourceSyntax& syntax) {
  if (value.empty() || EqualsIgnoringCase(value, kLinesSyntaxValue)) {
    syntax = SourceSyntax::kLines;
    return true;
  }
  if (EqualsIgnoringCase(value, kCSyntaxValue)) {
    syntax = SourceSyntax::kC;
    return true;
  }
  return false;
}

}  // namespace quillmap
