// quillmap: scans C sources and writes call graphs and module graphs as Graphviz DOT files.
// With arguments it runs headless (batch mode, no display needed); without, it opens the dialog.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/batch_mode.h"
#include "config/app_identity.h"
#include "outputs/output_replacement.h"
#ifdef QUILLMAP_WITH_GUI
#include "gui/dialog_window.h"
#endif

namespace {

constexpr const char* kInternalFailure = ": internal failure: ";

// A standard stream that was closed is opened read-only on /dev/null: no output file can take
// its number, and writing to it fails as writing to the closed stream would.
void KeepStandardStreamsTaken() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0) continue;
    const int opened = open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

void ReportInternalFailure(const char* what) {
  std::cerr << quillmap::ApplicationName() << kInternalFailure << what << std::endl;
}

int Run(int argc, char** argv) {
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

}  // namespace

int main(int argc, char** argv) {
  KeepStandardStreamsTaken();
  // A log reader that goes away (`quillmap -cfg x | head`) shows as a failed write of the log;
  // the run still completes its outputs.
  signal(SIGPIPE, SIG_IGN);
  quillmap::RemoveTemporaryOutputsOnTermination();
  quillmap::SetApplicationNameFromProgram(argc > 0 ? argv[0] : "");
  std::set_terminate([] {
    ReportInternalFailure("terminate called");
    std::_Exit(quillmap::kExitInternalFailure);
  });
  try {
    return Run(argc, argv);
  } catch (const std::exception& failure) {
    ReportInternalFailure(failure.what());
  } catch (...) {
    ReportInternalFailure("unknown exception");
  }
  return quillmap::kExitInternalFailure;
}
