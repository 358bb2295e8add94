/// A scan configuration and its sources in a temporary folder, scanned in-process with the
/// reference engines, with the activity log recorded entry by entry.
#pragma once

#include <string>
#include <vector>

#include "callgraph/call_graph_scanner.h"
#include "config/profile_reader.h"
#include "outputs/line_writer.h"
#include "context/scan_context.h"
#include "support/test_support.h"
#include "writers/csv_report.h"

namespace quillmap::testing {

class RecordingLog : public ActivityLog {
 public:
  void AppendLog(const std::string& text, bool replace) override {
    if (replace) entries.clear();
    if (!replace || !text.empty()) entries.push_back(text);
  }
  std::vector<std::string> entries;
};

struct ScanFixture {
  TempDir dir;
  RereadingProfileReader profile;
  mutable PerLineWriter writer;  // ended by Lines(), which only reads
  RecordingLog log;
  ScanSettings settings;
  ScanContext context{settings, writer, log};
  StringList callsList;
  StringList rejectList;
  StringList fileList;
  ScanCounts counts;
  std::string scanMessage;
  CallGraphModel model;

  /// Writes the configuration "scan.cfg" and returns its path.
  std::string Config(const std::string& ini) { return dir.Write("scan.cfg", ini); }
  /// Reads the settings of "scan.cfg" for the context, with their "calls" and "reject" lists.
  void ReadSettings() {
    settings = ReadScanSettings(profile, dir / "scan.cfg");
    callsList = settings.filters.calls;
    rejectList = settings.filters.reject;
  }
  /// Reads the settings and runs the call graph scan on "scan.cfg", as a run of its own (the
  /// files of an earlier one may be written again).
  int Scan() {
    writer.BeginRun();
    const std::string cfg = dir / "scan.cfg";
    ReadSettings();
    const int result = ScanCallGraph(context, cfg, {callsList, rejectList, fileList}, model,
                                     &counts, &scanMessage);
    WriteCallGraphOutputs(settings, writer, callsList, model);
    return result;
  }
  /// The CR LF lines of an output file in the folder, once the lines written so far have
  /// replaced it (lines written later append to it, as to any output not begun afresh).
  std::vector<std::string> Lines(const std::string& name) const {
    writer.EndRun();
    return CrLfLines(ReadFile(dir / name));
  }
};

}  // namespace quillmap::testing
