#include "model/edge_style.h"

#include <climits>

namespace quillmap {

namespace {

constexpr size_t kMaxSkippedDigits = 5;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number at the start of `text` read as the C library's atoi reads it (saturating).
long long AtoiValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::string_view(" \t\n\v\f\r").find(text[i]) != std::string_view::npos)
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (value < INT_MAX) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

EdgeStyle::EdgeStyle(std::string attributes) : attributes_(std::move(attributes)) {
  const size_t dollar = attributes_.find('$');
  if (dollar == std::string::npos || dollar == 0) return;
  dollar_ = dollar;
  const std::string_view after = std::string_view(attributes_).substr(dollar + 1);
  index_ = AtoiValue(after);
  size_t skipped = 0;
  while (skipped < kMaxSkippedDigits && skipped < after.size() && IsDigit(after[skipped]))
    ++skipped;
  resume_ = dollar + 1 + skipped;
  context_ = DotContextAt(attributes_, dollar);
}

std::string EdgeStyle::Apply(std::string_view argument) const {
  if (!namesArgument()) return attributes_;
  std::string style(attributes_, 0, dollar_);
  switch (context_) {
    case DotTextContext::kQuoted:
      style += EscapeDotString(argument);
      break;
    case DotTextContext::kHtml:
      style += EscapeHtmlText(argument);
      break;
    case DotTextContext::kBare:
      style += DotId(argument);
      break;
  }
  style.append(attributes_, resume_);
  return style;
}

std::string SubstituteArgument(const std::string& attributes, const std::vector<std::string>& args,
                               std::string& argument) {
  const EdgeStyle style(attributes);
  argument = style.ArgumentOf(args);
  return style.Apply(argument);
}

}  // namespace quillmap
