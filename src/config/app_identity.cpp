#include "config/app_identity.h"

#include "text/text_utils.h"

namespace quillmap {

namespace {
constexpr const char* kDefaultApplicationName = "quillmap";
constexpr const char* kDotHeaderPrefix = "// crated on: ";

std::string& ApplicationNameStorage() {
  static std::string name = kDefaultApplicationName;
  return name;
}
}  // namespace

const std::string& ApplicationName() { return ApplicationNameStorage(); }

void SetApplicationNameFromProgram(const std::string& programPath) {
  std::string name = programPath.substr(programPath.find_last_of("/\\") + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  if (!name.empty()) ApplicationNameStorage() = name;
}

std::string DotHeaderLine() {
  return kDotHeaderPrefix + FormatTimestamp() + " with " + ApplicationName() + " " + kVersionText;
}

}  // namespace quillmap
