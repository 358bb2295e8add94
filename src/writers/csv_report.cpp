#include "writers/csv_report.h"

#include "config/source_lists.h"
#include "files/paths.h"
#include "writers/call_graph_dot.h"

namespace quillmap {

namespace {
constexpr int kCsvFields = 32;
}  // namespace

std::string PadCsvRow(std::string row, int fields) {
  if (fields < kCsvFields) row.append(static_cast<size_t>(kCsvFields - fields), ';');
  return row;
}

void WriteCsvReport(LineWriter& writer, const std::string& cfgPath, const CallGraphModel& model,
                    const std::string& csvPath) {
  if (csvPath.empty()) return;
  const auto row = [&](std::string_view line) { writer.WriteLine(csvPath, line, false); };
  writer.WriteLine(csvPath, PadCsvRow(cfgPath, 1), true);
  size_t next = 0;  // functions are in source order
  for (size_t s = 0; s < model.sources.size(); ++s) {
    const SourceRecord& source = model.sources[s];
    if (source.opened) row(PadCsvRow(source.path, 1));
    for (; next < model.functions.size() && model.functions[next].file == static_cast<int32_t>(s);
         ++next) {
      const FunctionRecord& function = model.functions[next];
      row(PadCsvRow(std::string(model.DetailsOf(function).header), 1));
      if (!function.closed) continue;
      std::string calls = "CALLS(" + std::to_string(function.callCount) + "):";
      for (const uint32_t c : model.CallsOf(function)) {
        calls += ';';
        calls += model.CallTextOf(c);
        if (!model.resolved) continue;
        // A call through a pointer names the target of each of its records; a macro's use what
        // its expansion calls.
        const CallDetails details = model.DetailsOf(model.calls[c]);
        if ((details.kind == CallKind::kPointer && details.calleeIndex >= 0) ||
            details.kind == CallKind::kMacro) {
          calls += " => ";
          calls += model.NameOf(model.calls[c].callee);
        }
      }
      row(PadCsvRow(std::move(calls), static_cast<int>(function.callCount) + 1));
      row(PadCsvRow("", 1));
    }
    if (!source.failure.empty()) row(source.failure);
  }
}

void WriteCallGraphOutputs(const ScanSettings& settings, LineWriter& writer,
                           const StringList& callsList, const CallGraphModel& model,
                           const GraphSelection* selection) {
  const CallGraphOutputPaths paths =
      ResolveCallGraphOutputPaths(settings.outputs, DirectoryOf(settings.cfgPath));
  if (selection == nullptr || selection->error.empty()) {
    WriteCallGraphDot(settings.dot, writer, callsList, model, paths.dot, selection);
  }
  WriteCsvReport(writer, settings.cfgPath, model, paths.csv);
}

}  // namespace quillmap
