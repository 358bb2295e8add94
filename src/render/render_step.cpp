#include "render/render_step.h"

#include <algorithm>
#include <memory>


namespace quillmap {

NodeTooltips CallGraphTooltips(const CallGraphModel& model) {
  NodeTooltips tooltips;
  for (const FunctionRecord& function : model.functions) {
    if (function.file < 0 || static_cast<size_t>(function.file) >= model.sources.size()) continue;
    std::string& tooltip = tooltips[std::string(model.NameOf(function.name))];
    tooltip += (tooltip.empty() ? "" : "\n") + model.sources[function.file].path + ":" +
               std::to_string(model.DetailsOf(function).line);
  }
  return tooltips;
}

void RenderPictures(ScanContext& context, const std::vector<PictureJob>& jobs,
                    const StringList& failedPaths) {
  std::unique_ptr<GraphRenderer> renderer;  // Graphviz is loaded only when a picture is asked for
  for (const PictureJob& job : jobs) {
    if (job.dotPath.empty() || Trim(job.render.formats).empty()) continue;
    if (!renderer) renderer = std::make_unique<GraphRenderer>();
    const RenderSettingsResult settings =
        ParseRenderSettings(job.render.formats, job.render.seconds, renderer->formats());
    if (!settings.error.empty()) {
      context.LogError(settings.error);
      continue;
    }
    if (std::find(failedPaths.begin(), failedPaths.end(), job.dotPath) != failedPaths.end()) {
      context.LogError(kNotRenderedEntry + job.dotPath + kDotNotWritten);
      continue;
    }
    // A picture is an output of the run like any other: it may not replace another one.
    RenderSettings claimed = settings.settings;
    claimed.formats.clear();
    for (const std::string& format : settings.settings.formats) {
      const std::string picture = PicturePath(job.dotPath, format);
      if (context.writer().ClaimFile(picture)) {
        claimed.formats.push_back(format);
      } else {
        context.LogError(ErrorWritingText(picture));
      }
    }
    if (claimed.formats.empty()) continue;
    // Built only for a picture: for a whole tree they are large.
    const RenderResult result = renderer->Render(
        job.dotPath, claimed, job.callGraph ? CallGraphTooltips(*job.callGraph) : NodeTooltips());
    for (const std::string& entry : result.entries) {
      const bool isError = entry.starts_with(kNotRenderedEntry) ||
                           entry.starts_with(ErrorWritingText(std::string()));
      if (isError) {
        context.LogError(entry);
      } else {
        context.Log(entry);
      }
    }
    if (result.failed) context.NoteError();
  }
}

}  // namespace quillmap
