/// The function call graph scan: reads the listed C sources line by line, recognises the
/// definitions and calls that the call filters select, reports them to the activity log and
/// drives the call graph outputs.
#pragma once

#include <cstdint>
#include <string>

#include "csource/source_syntax.h"
#include "model/graph_model.h"
#include "model/module_sources.h"
#include "resolve/call_resolver.h"
#include "context/scan_context.h"
#include "text/text_utils.h"

namespace quillmap {

/// Totals of one scan, reported in the run's summary.
struct ScanCounts {
  int32_t chars = 0;
  int32_t lines = 0;
  int32_t functions = 0;
};

/// What the scan works on: the call filters and reject texts as the list reader delivered them,
/// and the file list that the scan fills.
struct CallGraphLists {
  const StringList& callsList;
  const StringList& rejectList;
  StringList& fileList;
};

/// How the scan reads and matches the sources. Both engines log and write the same bytes.
enum class CallGraphEngine {
  kReference,  // line by line through SourceReader, each filter searched for on its own
  kFast,       // whole files walked in place, all filters found in one pass per line
};

/// Scans the sources of the configuration's section "files" into `model` (emptied first); the
/// writers then draw the call graph and the CSV report from it. Returns the number of sources
/// opened while a CSV report is configured (0 after a source that cannot be opened or read, and
/// always 0 without a CSV report). `scanMessage` receives "file list is empty" or the last
/// "error opening: %s" or "error reading: %s" (a source whose reading failed after it opened).
/// Throws FileError when the configuration file cannot be opened. With SourceSyntax::kC the
/// sources are read as C (the engine then does not matter); with a `resolver` as well, each
/// source's facts go to it too (CallResolver::Resolve then binds the model's calls). With
/// SourceSyntax::kC and `moduleSources`, the same reading of each source also keeps what the
/// modules need of the sources it asks for, and those that the call graph does not list are
/// read after its own (the one scan of a run for both graphs).
int ScanCallGraph(ScanContext& context, const std::string& cfgPath, CallGraphLists lists,
                  CallGraphModel& model, ScanCounts* counts, std::string* scanMessage,
                  CallGraphEngine engine = CallGraphEngine::kReference,
                  SourceSyntax syntax = SourceSyntax::kLines, CallResolver* resolver = nullptr,
                  ModuleSources* moduleSources = nullptr);

}  // namespace quillmap
