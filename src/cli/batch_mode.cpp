#include "cli/batch_mode.h"

#include <unistd.h>

#include <ostream>
#include <string_view>

#include "config/command_line.h"
#include "cli/diff_command.h"
#include "cli/reach_command.h"
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

// The activity log printed to standard output as it grows, one entry a line. On a terminal
// every piece goes out as it comes, so that the run can be watched. Elsewhere (a file, a pipe,
// standard error, which writes every piece at once) the log is gathered and written in pieces
// of 64 KB: a whole-tree log has millions of pieces, and each costs a trip through the stream.
class PrintedLog : public ActivityLog {
 public:
  PrintedLog(std::ostream& out, bool gather) : out_(out), gather_(gather) {}
  ~PrintedLog() override { Flush(); }
  void AppendLog(const std::string& text, bool replace) override {
    if (replace && text.empty()) return;
    // An entry's CR LF line ends are printed as LF; the text between them as it is.
    std::string_view rest = text;
    for (size_t cr = rest.find("\r\n"); cr != std::string_view::npos; cr = rest.find("\r\n")) {
      Put(rest.substr(0, cr));
      rest.remove_prefix(cr + 1);
    }
    Put(rest);
    Put("\n");
    if (gathered_.size() >= kGatherBytes) Flush();
  }
  void Flush() {
    out_.write(gathered_.data(), static_cast<std::streamsize>(gathered_.size()));
    gathered_.clear();
    out_.flush();
  }

 private:
  static constexpr size_t kGatherBytes = 64 << 10;
  void Put(std::string_view text) {
    if (gather_) {
      gathered_.append(text);
    } else {
      out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
  }
  std::ostream& out_;
  bool gather_;
  std::string gathered_;
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
  return "usage: " + name + " -cfg file.cfg [-write-baseline FILE] [-sarif FILE]" +
         " [-annotations github]\n" + "       " + name +
         " -cfg file.cfg -reach NAME [-direction callers] | -why A,B | -dead all|static\n" +
         "         [-format csv|json] [-o FILE]\n" + "       " + name + " -init FOLDER\n" +
         "       " + name + " " + kDiffUsage + "\n" + "       " + name + " -lsp\n" + "       " +
         name + " --help | --version\n" +
         "\n"
         "Scans the C sources named in the scan configuration and writes the call graph\n"
         "(DOT), the CSV report and the module graph (DOT) that it configures. The activity\n"
         "log is printed to standard output. -init writes FOLDER/quillmap.cfg, a starting\n"
         "configuration for every C file under FOLDER; it never overwrites a file.\n"
         "\n"
         "-write-baseline FILE writes the run's rule violations to FILE; -sarif FILE writes\n"
         "them as SARIF 2.1.0. -reach, -why and -dead answer on standard output (the log\n"
         "then goes to stderr) or into the file of -o.\n"
         "-lsp (also --lsp) serves the Language Server Protocol on standard input and output:\n"
         "call hierarchy, definitions, references and symbols for an editor.\n"
         "-diff compares two JSON exports ([files] json=) and draws the call graph of both:\n"
         "what appeared in green, what disappeared in red, the rest in grey.\n"
         "\n"
         "Exit status: 0 success, 1 the run reported an error or the activity log could not\n"
         "be written, 2 bad command line, the configuration file cannot be opened, -init\n"
         "cannot write its file, -diff is given an export that cannot be opened, is not JSON,\n"
         "not an export or of another version, or an internal failure, 3 a module rule\n"
         "or call rule is broken by a call that the baseline does not list (1 wins when\n"
         "both happen).\n";
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
  SetWorkPath(CurrentDirectoryPath());
  const CmdLineState cmdLine = ParseCommandLine(args, WorkPath());
  // An answer printed to standard output has it to itself: the activity log goes to stderr.
  ReachCommand reach;
  const bool queryOk = !cmdLine.errorText.empty() || reach.Parse(cmdLine.options, err);
  PrintedLog log(reach.AnswersToStandardOutput() ? err : out,
                 reach.AnswersToStandardOutput() || isatty(STDOUT_FILENO) == 0);
  log.AppendLog(kWorkPathEntry + WorkPath(), false);
  // What follows may be printed to either stream: the log so far comes first.
  log.Flush();
  if (!queryOk) return kExitUsage;
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
  ActivityLog& runLog = log;
  int answered = kExitSuccess;
  try {
    ScanRun scan;
    scan.SetCommandLineOptions(cmdLine.options);
    const auto baseline = cmdLine.options.find(kWriteBaselineOption);
    if (baseline != cmdLine.options.end()) scan.SetBaselineOutput(baseline->second);
    run = scan.Run(path, runLog);
    if (run.finished && !run.stopped) {
      PrintAnnotations(scan, cmdLine.options, runLog);
      if (reach.active()) {
        log.Flush();
        answered = reach.Answer(scan, DirectoryOf(path), out, runLog);
      }
    }
  } catch (const FileError& error) {
    log.Flush();
    out.flush();
    err << error.what() << '\n';
    return kExitUsage;
  }
  log.Flush();
  // A log that could not be written (a closed pipe, a full disk) fails the run, after the
  // outputs are complete.
  out.flush();
  if (!out) {
    err << kLogNotWritten << '\n';
    return kExitRunFailed;
  }
  const ExitStatus status = ExitStatusOf(run);
  // A query that could not be answered is an error of the run, which wins over broken rules.
  if (answered != kExitSuccess && status != kExitUsage) return static_cast<ExitStatus>(answered);
  return status;
}

}  // namespace quillmap
