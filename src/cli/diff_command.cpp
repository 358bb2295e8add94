#include "cli/diff_command.h"

#include <algorithm>
#include <ostream>

#include "cli/batch_mode.h"
#include "context/scan_context.h"
#include "json/graph_diff.h"
#include "outputs/buffered_line_writer.h"
#include "writers/graph_diff_dot.h"

namespace quillmap {

namespace {
constexpr const char* kBadDiffCommand = "bad command line: ";
constexpr const char* kTwoExports = " takes two exports, the older one first";
constexpr const char* kOneOutput = " takes the DOT file to write";
constexpr const char* kNoOutput = "no DOT file given (-o DIFF.dot)";
constexpr const char* kUnexpected = "unexpected argument: ";
constexpr const char* kTwice = " given twice";
}  // namespace

bool IsDiffCommand(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), kDiffOption) != args.end();
}

DiffCommand ParseDiffCommand(const std::vector<std::string>& args) {
  DiffCommand command;
  bool haveExports = false;
  bool haveOutput = false;
  const auto fail = [&](const std::string& error) {
    command.error = error;
    return command;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == kDiffOption) {
      if (haveExports) return fail(kDiffOption + std::string(kTwice));
      if (i + 2 >= args.size() || args[i + 1].empty() || args[i + 2].empty() ||
          args[i + 1] == kDiffOutputOption || args[i + 2] == kDiffOutputOption) {
        return fail(kDiffOption + std::string(kTwoExports));
      }
      command.olderPath = args[++i];
      command.newerPath = args[++i];
      haveExports = true;
    } else if (args[i] == kDiffOutputOption) {
      if (haveOutput) return fail(kDiffOutputOption + std::string(kTwice));
      if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1] == kDiffOption) {
        return fail(kDiffOutputOption + std::string(kOneOutput));
      }
      command.dotPath = args[++i];
      haveOutput = true;
    } else {
      return fail(kUnexpected + args[i]);
    }
  }
  if (!haveOutput) return fail(kNoOutput);
  return command;
}

int RunDiffCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const DiffCommand command = ParseDiffCommand(args);
  if (!command.error.empty()) {
    err << kBadDiffCommand << command.error << '\n' << UsageText();
    return kExitUsage;
  }
  const ExportReading older = ReadGraphExport(command.olderPath);
  if (!older.error.empty()) {
    err << older.error << '\n';
    return kExitUsage;
  }
  const ExportReading newer = ReadGraphExport(command.newerPath);
  if (!newer.error.empty()) {
    err << newer.error << '\n';
    return kExitUsage;
  }
  const GraphDiff diff = DiffGraphs(older.graph, newer.graph);

  BufferedLineWriter writer;
  writer.BeginRun();
  writer.Protect({command.olderPath, command.newerPath});
  bool first = true;
  ForEachGraphDiffDotLine(diff, command.olderPath, command.newerPath, [&](const std::string& line) {
    writer.WriteLine(command.dotPath, line, first);
    first = false;
  });
  writer.EndRun();
  if (!writer.FailedPaths().empty()) {
    err << ErrorWritingText(command.dotPath) << '\n';
    return kExitRunFailed;
  }
  out << DiffSummary(CountDiff(diff)) << '\n';
  return kExitSuccess;
}

}  // namespace quillmap
