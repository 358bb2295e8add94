#include "app/batch_mode.h"

#include <map>
#include <ostream>

#include "app/scan_dialog.h"
#include "config/app_identity.h"

namespace quillmap {

namespace {

constexpr const char* kNoConfigurationGiven = "no configuration file given";

// Controls held in memory; every log entry is printed as it is appended.
class BatchWindow : public WindowSystem {
 public:
  BatchWindow(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  bool HasItem(int id) const override { return texts_.count(id) != 0; }
  std::string GetItemText(int id) const override {
    const auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
  }
  bool SetItemText(int id, const std::string& text) override {
    if (!HasItem(id)) return false;
    // The log is printed as it grows and never read back, so only its emptiness is kept.
    if (id == kLogEdit) {
      logEmpty_ = text.empty();
    } else {
      texts_[id] = text;
    }
    return true;
  }
  bool AppendItemText(int id, const std::string& text) override {
    if (!HasItem(id)) return false;
    if (id == kLogEdit) {
      logEmpty_ = logEmpty_ && text.empty();
    } else {
      texts_[id] += text;
    }
    return true;
  }
  bool IsItemTextEmpty(int id) const override {
    return id == kLogEdit ? logEmpty_ : GetItemText(id).empty();
  }
  void EnableItem(int, bool) override {}
  void SetTitle(const std::string&) override {}
  void ShowFileError(const FileError& error) override { err_ << error.what() << '\n'; }
  void RequestClose() override {}
  void OnLogEntry(const std::string& text, bool replace) override {
    if (replace && text.empty()) return;
    std::string shown;
    shown.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      shown += text[i];
    }
    shown += '\n';
    out_ << shown;
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool logEmpty_ = true;
  std::map<int, std::string> texts_{{kCfgFileButton, "CFG File"},
                                    {kPathEdit, ""},
                                    {kLogEdit, ""},
                                    {kScanButton, "SCAN"}};
};

}  // namespace

std::string UsageText() {
  const std::string& name = ApplicationName();
  return "usage: " + name + " -cfg file.cfg\n" + "       " + name + " --help | --version\n" +
         "\n"
         "Scans the C sources named in the scan configuration and writes the call graph\n"
         "(DOT), the CSV report and the module graph (DOT) that it configures. The activity\n"
         "log is printed to standard output.\n"
         "\n"
         "Exit status: 0 success, 1 the run reported an error, 2 bad command line or the\n"
         "configuration file cannot be opened.\n";
}

bool HandleInfoOption(const std::vector<std::string>& args, std::ostream& out, int& status) {
  if (args.empty()) return false;
  {
    const std::string& arg = args[0];
    if (arg == "--help" || arg == "-h") {
      out << UsageText();
      status = kExitSuccess;
      return true;
    }
    if (arg == "--version") {
      out << ApplicationName() << ' ' << kVersionText << '\n';
      status = kExitSuccess;
      return true;
    }
  }
  return false;
}

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  BatchWindow window(out, err);
  ScanDialog dialog(window);
  dialog.InitDialog(args);
  out.flush();

  const CmdLineState& cmdLine = dialog.cmdLine();
  if (!cmdLine.errorText.empty()) {
    err << cmdLine.errorText << '\n' << UsageText();
    return kExitUsage;
  }
  if (!cmdLine.runAtStart) {
    err << UsageText();
    return kExitUsage;
  }
  const RunOutcome& run = dialog.lastRun();
  if (run.fileError) return kExitUsage;
  if (!run.started) {
    err << kNoConfigurationGiven << '\n';
    return kExitUsage;
  }
  return run.errorReported ? kExitRunFailed : kExitSuccess;
}

}  // namespace quillmap
