#include "gui/dialog_window.h"

#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "scan/run_outcome.h"
#include "config/app_identity.h"
#include "gui/scan_window.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Always ends the toolkit, whichever way the dialog ends.
class ToolkitSession {
 public:
  ToolkitSession(int& argc, char** argv) : started_(wxEntryStart(argc, argv)) {}
  ~ToolkitSession() {
    if (started_) wxEntryCleanup();
  }
  bool started() const { return started_; }

 private:
  bool started_;
};
}  // namespace

const char* NoDisplayMessage() {
  return "no display to open the dialog window on (DISPLAY and WAYLAND_DISPLAY are not set or "
         "cannot be opened)";
}

int RunDialogWindow(int argc, char** argv) {
  const std::string name = ApplicationName();
  const auto noDisplay = [&name] {
    std::cerr << name << ": " << NoDisplayMessage() << '\n'
              << "a scan without a window: " << name << " -cfg file.cfg\n";
    return kExitUsage;
  };
  if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) return noDisplay();

  wxApp::SetInstance(new wxApp);
  wxTheApp->SetAppName(ToWx(name));
  ToolkitSession toolkit(argc, argv);
  if (!toolkit.started()) return noDisplay();

  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  auto* window = new ScanWindow(args);
  window->ShowModal();
  window->Destroy();
  return kExitSuccess;
}

}  // namespace quillmap
