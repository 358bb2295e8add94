// quillmap: scans C sources and writes call graphs and module graphs as Graphviz DOT files.
#include <iostream>
#include <string>
#include <vector>

#include "app/batch_mode.h"
#include "config/app_identity.h"

int main(int argc, char** argv) {
  quillmap::SetApplicationNameFromProgram(argc > 0 ? argv[0] : "");
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  int status = 0;
  if (quillmap::HandleInfoOption(args, std::cout, status)) return status;
  if (args.empty()) {
    std::cerr << quillmap::UsageText();
    return quillmap::kExitUsage;
  }
  return quillmap::RunBatch(args, std::cout, std::cerr);
}
