#include "cli/batch_mode.h"

#include <unistd.h>

#include <ostream>
#include <string_view>

#include "cli/command_line.h"
#include "cli/diff_command.h"
#include "config/app_identity.h"
#include "config/starting_config.h"
#include "files/file_error.h"
#include "files/paths.h"
#include "lsp/stdio_server.h"
#include "scan/scan_run.h"

namespace quillmap {

namespace {

constexpr const char* kScanItWith = "scan it with: ";
constexpr const char* kLogNotWritten = "error writing the activity log to standard output";

// The activity log printed to standard output as it grows, one entry a line.
class PrintedLog : public ActivityLog {
 public:
  explicit PrintedLog(std::ostream& out) : out_(out) {}
  void AppendLog(const std::string& text, bool replace) override {
    if (replace && text.empty()) return;
    // An entry's CR LF line ends are printed as LF; the text between them as it is.
    std::string_view rest = text;
    for (size_t cr = rest.find("\r\n"); cr != std::string_view::npos; cr = rest.find("\r\n")) {
      out_.write(rest.data(), static_cast<std::streamsize>(cr));
      rest.remove_prefix(cr + 1);
    }
    out_.write(rest.data(), static_cast<std::streamsize>(rest.size()));
    out_.put('\n');
  }

 private:
  std::ostream& out_;
};

// Writes the starting configuration for `folder`; the next step goes to `out`.
int RunInit(const std::string& folder, std::ostream& out, std::ostream& err) {
  const StartingConfigResult result = WriteStartingConfig(folder);
  if (result.status != StartingConfigResult::Status::kWritten) {
    err << result.message << '\n';
    return kExitUsage;
  }
  out << result.message << '\n'
      << kScanItWith << ApplicationName() << " -cfg " << result.path << '\n';
  return kExitSuccess;
}

}  // namespace

std::string UsageText() {
  const std::string& name = ApplicationName();
  return "usage: " + name + " -cfg file.cfg [-write-baseline FILE]\n" + "       " + name +
         " -init FOLDER\n" + "       " + name + " " + kDiffUsage + "\n" + "       " + name +
         " -lsp\n" + "       " + name +
         " --help | --version\n" +
         "\n"
         "Scans the C sources named in the scan configuration and writes the call graph\n"
         "(DOT), the CSV report and the module graph (DOT) that it configures. The activity\n"
         "log is printed to standard output. -init writes FOLDER/quillmap.cfg, a starting\n"
         "configuration for every C file under FOLDER; it never overwrites a file.\n"
         "\n"
         "-write-baseline FILE writes the run's module rule violations to FILE.\n"
         "-lsp (also --lsp) serves the Language Server Protocol on standard input and output:\n"
         "call hierarchy, definitions, references and symbols for an editor.\n"
         "-diff compares two JSON exports ([files] json=) and draws the call graph of both:\n"
         "what appeared in green, what disappeared in red, the rest in grey.\n"
         "\n"
         "Exit status: 0 success, 1 the run reported an error or the activity log could not\n"
         "be written, 2 bad command line, the configuration file cannot be opened, -init\n"
         "cannot write its file, -diff is given an export that cannot be opened, is not JSON,\n"
         "not an export or of another version, or an internal failure, 3 a module rule is\n"
         "broken by a call that the baseline does not list (1 wins when both happen).\n";
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
  if (IsDiffCommand(args)) return RunDiffCommand(args, out, err);
  if (args.size() == 1 && (args[0] == "-lsp" || args[0] == "--lsp")) {
    // Standard output carries the protocol alone: nothing else is printed there.
    SetWorkPath(CurrentDirectoryPath());
    return lsp::RunLanguageServer(STDIN_FILENO, STDOUT_FILENO);
  }
  PrintedLog log(out);
  SetWorkPath(CurrentDirectoryPath());
  log.AppendLog(kWorkPathEntry + WorkPath(), false);
  const CmdLineState cmdLine = ParseCommandLine(args, WorkPath());
  out.flush();
  if (!cmdLine.errorText.empty()) {
    err << cmdLine.errorText << '\n' << UsageText();
    return kExitUsage;
  }
  if (cmdLine.initFolder) return RunInit(*cmdLine.initFolder, out, err);
  if (!cmdLine.runAtStart) {
    err << UsageText();
    return kExitUsage;
  }
  std::string path = cmdLine.cmdCfgPath;
  if (path.empty()) {
    err << kNoConfigurationGiven << '\n';
    return kExitUsage;
  }
  if (path[0] == '.') path = WorkPath() + path;
  RunOutcome run;
  run.started = true;
  try {
    ScanRun scan;
    scan.SetCommandLineOptions(cmdLine.options);
    const auto baseline = cmdLine.options.find(kWriteBaselineOption);
    if (baseline != cmdLine.options.end()) scan.SetBaselineOutput(baseline->second);
    run = scan.Run(path, log);
  } catch (const FileError& error) {
    out.flush();
    err << error.what() << '\n';
    return kExitUsage;
  }
  // A log that could not be written (a closed pipe, a full disk) fails the run, after the
  // outputs are complete.
  out.flush();
  if (!out) {
    err << kLogNotWritten << '\n';
    return kExitRunFailed;
  }
  return ExitStatusOf(run);
}

ExitStatus ExitStatusOf(const RunOutcome& outcome) {
  if (!outcome.started || outcome.fileError) return kExitUsage;
  if (outcome.errorReported) return kExitRunFailed;
  return outcome.newViolations ? kExitRulesViolated : kExitSuccess;
}

}  // namespace quillmap
