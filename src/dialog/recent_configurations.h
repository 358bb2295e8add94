/// The configurations the user scanned last, most recent first, as the dialog's "Recent" menu
/// lists them. The window keeps them between starts; this is only the list's rule.
#pragma once

#include <string>
#include <vector>

namespace quillmap {

inline constexpr size_t kMaxRecentConfigurations = 8;

class RecentConfigurations {
 public:
  explicit RecentConfigurations(std::vector<std::string> paths = {});
  /// Puts `path` first; an earlier mention of it goes, and the oldest past the limit.
  void Add(const std::string& path);
  const std::vector<std::string>& paths() const { return paths_; }

 private:
  std::vector<std::string> paths_;
};

}  // namespace quillmap
