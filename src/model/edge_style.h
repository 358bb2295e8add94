/// A call filter's DOT edge attributes ("[dot] call_cfgN") and the place in them where a call's
/// argument goes ("$N"): read once per filter, applied to each call when its edge is written,
/// so that no call keeps an edge style or a call text of its own.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "dot/dot_text.h"

namespace quillmap {

/// What an edge and a call text show for "$N" when the call has no argument N.
inline constexpr const char* kMissingArgument = "#?#";

class EdgeStyle {
 public:
  EdgeStyle() = default;
  /// The first "$" after the first character names argument N, N read as the C library's atoi
  /// reads it; at most five of its digits are replaced.
  explicit EdgeStyle(std::string attributes);

  bool namesArgument() const { return dollar_ != std::string::npos; }
  /// The argument that the edge and the call text show of a call with `arguments` (a list of
  /// texts): argument N, kMissingArgument when there is none such, empty when the attributes
  /// name no argument.
  template <typename Arguments>
  std::string_view ArgumentOf(const Arguments& arguments) const {
    if (!namesArgument()) return {};
    if (index_ < 0 || static_cast<unsigned long long>(index_) >= std::size(arguments)) {
      return kMissingArgument;
    }
    auto argument = std::begin(arguments);
    std::advance(argument, index_);
    return std::string_view(*argument);
  }
  /// The attributes with `argument` put in, written so that DOT reads it where it stands.
  std::string Apply(std::string_view argument) const;

 private:
  std::string attributes_;
  size_t dollar_ = std::string::npos;  // where "$N" starts
  size_t resume_ = 0;                  // where the attributes go on after it
  long long index_ = 0;                // N
  DotTextContext context_ = DotTextContext::kBare;
};

/// The edge attribute text with its "$N" replaced by argument N of `args` (see EdgeStyle);
/// the argument put in (empty when nothing was replaced) goes to `argument`.
std::string SubstituteArgument(const std::string& attributes, const std::vector<std::string>& args,
                               std::string& argument);

}  // namespace quillmap
