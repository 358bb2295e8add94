#include "dialog/recent_configurations.h"

#include <algorithm>

namespace quillmap {

RecentConfigurations::RecentConfigurations(std::vector<std::string> paths) {
  for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
    if (!it->empty()) Add(*it);
  }
}

void RecentConfigurations::Add(const std::string& path) {
  if (path.empty()) return;
  std::erase(paths_, path);
  paths_.insert(paths_.begin(), path);
  if (paths_.size() > kMaxRecentConfigurations) paths_.resize(kMaxRecentConfigurations);
}

}  // namespace quillmap
