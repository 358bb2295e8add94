#include "config/command_line.h"

namespace quillmap {

namespace {
constexpr const char* kWrongCmdline = "Wrong cmdline:\n";
constexpr const char* kCfgOption = "cfg";
constexpr const char* kInitOption = "init";
}  // namespace

CmdLineState ParseCommandLine(const std::vector<std::string>& args, const std::string& basePath) {
  CmdLineState state;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.empty() || arg[0] != '-') continue;  // text outside an option pair is skipped
    const std::string option = arg.substr(1);
    if (i + 1 >= args.size()) {
      state.errorText = kWrongCmdline + option;
      state.runAtStart = false;
      state.initFolder.reset();
      return state;
    }
    const std::string& value = args[++i];
    if (option == kCfgOption) {
      state.cmdCfgPath = !value.empty() && value[0] == '.' ? basePath + value : value;
      state.runAtStart = true;
    } else if (option == kInitOption) {
      state.initFolder = value;
    } else {
      state.options[option] = value;
    }
  }
  return state;
}

}  // namespace quillmap
