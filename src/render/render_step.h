/// The pictures of a scan run: after the run's outputs are complete, each DOT file it wrote is
/// rendered in the formats its section's "render" key names.
#pragma once

#include <string>
#include <vector>

#include "model/graph_model.h"
#include "render/graph_renderer.h"
#include "context/scan_context.h"
#include "text/text_utils.h"

namespace quillmap {

/// A DOT file the run wrote and how its section ("dot" or "modules") says to render it.
struct PictureJob {
  std::string dotPath;
  RenderTexts render;
  /// The call graph whose functions' nodes get tooltips (CallGraphTooltips), or none.
  const CallGraphModel* callGraph = nullptr;
};

/// Each function's node name with where it is defined ("path:line", one line per definition).
NodeTooltips CallGraphTooltips(const CallGraphModel& model);

/// Log entry for a DOT file that was configured to be rendered but was not written.
inline constexpr const char* kDotNotWritten = " (the DOT file was not written)";

/// Renders the jobs that name render formats, logging what happened; every bad setting and every
/// picture not written is an error of the run. `failedPaths`: outputs the run could not write.
void RenderPictures(ScanContext& context, const std::vector<PictureJob>& jobs,
                    const StringList& failedPaths);

}  // namespace quillmap
