// quillmap: scans C sources and writes call graphs and module graphs as Graphviz DOT files.
// With arguments it runs headless (batch mode, no display needed); without, it opens the dialog.
#include <iostream>
#include <string>
#include <vector>

#include "cli/batch_mode.h"
#include "config/app_identity.h"
#ifdef QUILLMAP_WITH_GUI
#include "gui/dialog_window.h"
#endif

int main(int argc, char** argv) {
  quillmap::SetApplicationNameFromProgram(argc > 0 ? argv[0] : "");
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  int status = 0;
  if (quillmap::HandleInfoOption(args, std::cout, status)) return status;
  if (!args.empty()) return quillmap::RunBatch(args, std::cout, std::cerr);
#ifdef QUILLMAP_WITH_GUI
  return quillmap::RunDialogWindow(argc, argv);
#else
  std::cerr << quillmap::ApplicationName() << ": built without the dialog window\n"
            << quillmap::UsageText();
  return quillmap::kExitUsage;
#endif
}
