/// The main dialog's logic, free of any toolkit: the scan state, the scan run, the activity log
/// and the start-up steps. It reaches the window system only through WindowSystem.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "dialog/window_system.h"
#include "scan/scan_context.h"
#include "scan/scan_run.h"

namespace quillmap {

/// Where the project lives; shown in the title and the about box.
inline constexpr const char* kWebAddress = "https://github.com/quillmap/quillmap";
/// The configuration the dialog proposes, relative to the work path.
inline constexpr const char* kDefaultCfgPath = "test/TestModGraph.cfg";

class ScanDialog : public ActivityLog {
 public:
  explicit ScanDialog(WindowSystem& window);
  ~ScanDialog() override;

  /// Start-up: sets the work path, logs it, parses the command line and, for an accepted
  /// "-cfg", runs one scan and asks to close; then proposes the default path and sets the title.
  void InitDialog(const std::vector<std::string>& args);

  /// The scan run. Throws FileError when the configuration cannot be opened.
  void RunScan();
  /// The "SCAN" button: a scan run whose file error is shown by the window system.
  void OnScanClicked();

  void AppendLog(const std::string& text, bool replace) override;
  void EnableInputs(bool enable);
  void UpdateTitle(const std::string& fileName);

  /// The scan run behind the dialog, with its engines.
  ScanRun& scanRun() { return scan_; }
  /// The straightforward engines for every part (see ScanRun::UseEngines).
  void UseReferenceEngines() { scan_.UseEngines({true, true, true, true}); }

  const RunOutcome& lastRun() const { return lastRun_; }
  const CmdLineState& cmdLine() const { return cmdLine_; }
  const StringList& callsList() const { return scan_.callsList(); }
  const StringList& rejectList() const { return scan_.rejectList(); }
  const StringList& fileList() const { return scan_.fileList(); }
  const ModuleTable& moduleTable() const { return scan_.moduleTable(); }
  WindowSystem& window() { return window_; }

 private:
  WindowSystem& window_;
  ScanRun scan_;
  CmdLineState cmdLine_;
  RunOutcome lastRun_;
};

}  // namespace quillmap
