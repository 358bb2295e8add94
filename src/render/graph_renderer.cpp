#include "render/graph_renderer.h"

#include <fcntl.h>
#include <graphviz/gvc.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "config/profile_reader.h"
#include "context/scan_context.h"

namespace quillmap {

namespace {

using Clock = std::chrono::steady_clock;

// The margin around a drawing: Graphviz's "pad" in inches, and the same in points.
constexpr const char* kDrawingPadText = "0.1";
constexpr double kDrawingPadPoints = 7.2;

// Formats that open a window or would write over the DOT file itself.
constexpr const char* kExcludedFormats[] = {"dot", "gtk", "x11", "xlib"};
constexpr const char* kDevicePlugins = "device";
constexpr const char* kCannotRead = ": the DOT file cannot be read";
constexpr const char* kGraphvizRejects = ": Graphviz cannot read it: ";
constexpr const char* kNoLayoutFinished = ": no layout finished within ";
constexpr const char* kDotKept = " (the DOT file is kept)";
constexpr const char* kLayoutFailed = ": the layout failed: ";
constexpr const char* kDidNotFinish = " did not finish within ";
constexpr const char* kWith = " with ";
constexpr const char* kGraphvizRejectsDrawing = "Graphviz cannot read the graph: ";
constexpr const char* kDrawingUnreadable = "the layout process sent an unreadable drawing";
constexpr const char* kNoDrawingWithin = "no layout finished within ";

// Graphviz's error messages of the current parse or layout (its warnings are not wanted: the
// DOT files are the user's to tune).
std::string graphvizErrors;
int CollectGraphvizError(char* message) {
  if (graphvizErrors.size() < 1000) graphvizErrors += message;
  return 0;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

std::string FirstLine(const std::string& text) {
  const std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? "unknown error" : line;
}

GraphSize SizeOf(Agraph_t* graph) {
  GraphSize size;
  size.nodes = agnnodes(graph);
  size.edges = agnedges(graph);
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    for (Agedge_t* edge = agfstout(graph, node); edge != nullptr; edge = agnxtout(graph, edge)) {
      const char* label = agget(edge, const_cast<char*>("label"));
      if (label != nullptr && *label != '\0') ++size.labelledEdges;
    }
  }
  return size;
}

void SetTooltips(Agraph_t* graph, const NodeTooltips& tooltips) {
  if (tooltips.empty()) return;
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    const auto found = tooltips.find(agnameof(node));
    if (found == tooltips.end()) continue;
    const char* own = agget(node, const_cast<char*>("tooltip"));
    if (own != nullptr && *own != '\0') continue;  // the user's own tooltip stays
    agsafeset(node, const_cast<char*>("tooltip"), const_cast<char*>(found->second.c_str()),
              const_cast<char*>(""));
  }
}

void MoveLabelsToXlabels(Agraph_t* graph) {
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    for (Agedge_t* edge = agfstout(graph, node); edge != nullptr; edge = agnxtout(graph, edge)) {
      const char* label = agget(edge, const_cast<char*>("label"));
      if (label == nullptr || *label == '\0') continue;
      const std::string text = label;
      agsafeset(edge, const_cast<char*>("xlabel"), const_cast<char*>(text.c_str()),
                const_cast<char*>(""));
      agsafeset(edge, const_cast<char*>("label"), const_cast<char*>(""), const_cast<char*>(""));
    }
  }
}

// A temporary file beside `finalPath`, so that renaming it into place cannot cross a device.
// Empty when it cannot be created (the folder is missing or not writable).
std::string CreateTemporaryBeside(const std::string& finalPath) {
  std::string pattern = finalPath + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return {};
  // mkstemp makes the file private; a picture gets the permissions of any other output.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  return pattern;
}

// How one child's layout ended.
enum class ChildEnd { kFinished, kFailed, kTimedOut };

// Lays out and renders in the child: the pictures go to their temporary files, an error to
// `reportFd`. Returns the child's exit status.
int RenderInChild(GVC_t* gvc, Agraph_t* graph, const LayoutAttempt& attempt,
                  const std::vector<std::string>& formats,
                  const std::vector<std::string>& temporaries, int reportFd) {
  graphvizErrors.clear();
  for (const auto& [name, value] : attempt.graphAttributes) {
    agattr(graph, AGRAPH, const_cast<char*>(name.c_str()), const_cast<char*>(value.c_str()));
  }
  int status = gvLayout(gvc, graph, attempt.engine.c_str());
  for (size_t i = 0; status == 0 && i < formats.size(); ++i) {
    status = gvRenderFilename(gvc, graph, formats[i].c_str(), temporaries[i].c_str());
  }
  if (status != 0) {
    const std::string message = FirstLine(graphvizErrors);
    [[maybe_unused]] ssize_t written = write(reportFd, message.data(), message.size());
  }
  return status == 0 ? 0 : 1;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Lays out and draws the graph in the child: on success the drawing goes to `fd` as
// "PNG-SIZE LAYOUT-SIZE LEFT TOP\n", the PNG, the laid out graph, then one line per node "LEFT TOP WIDTH HEIGHT NAME" in points of the
// picture (top-left origin); on failure the error. Returns the child's exit status.
int DrawInChild(GVC_t* gvc, Agraph_t* graph, const LayoutAttempt& attempt, int fd) {
  graphvizErrors.clear();
  for (const auto& [name, value] : attempt.graphAttributes) {
    agattr(graph, AGRAPH, const_cast<char*>(name.c_str()), const_cast<char*>(value.c_str()));
  }
  // One point a pixel, and a known margin, so that node boxes map onto the picture.
  agattr(graph, AGRAPH, const_cast<char*>("dpi"), const_cast<char*>("72"));
  agattr(graph, AGRAPH, const_cast<char*>("pad"), const_cast<char*>(kDrawingPadText));
  char* png = nullptr;
  unsigned int pngSize = 0;
  int status = gvLayout(gvc, graph, attempt.engine.c_str());
  if (status == 0) status = gvRenderData(gvc, graph, "png", &png, &pngSize);
  if (status != 0) {
    const std::string message = FirstLine(graphvizErrors);
    WriteAll(fd, message.data(), message.size());
    return 1;
  }
  char* laidOut = nullptr;
  unsigned int laidOutSize = 0;
  if (gvRenderData(gvc, graph, "dot", &laidOut, &laidOutSize) != 0) laidOutSize = 0;
  const boxf box = GD_bb(graph);
  char line[128];
  std::snprintf(line, sizeof line, "%u %u %.2f %.2f\n", pngSize, laidOutSize,
                box.LL.x - kDrawingPadPoints, box.UR.y + kDrawingPadPoints);
  std::string out = line;
  out.append(png, pngSize);
  gvFreeRenderData(png);
  if (laidOut != nullptr) {
    out.append(laidOut, laidOutSize);
    gvFreeRenderData(laidOut);
  }
  for (Agnode_t* node = agfstnode(graph); node != nullptr; node = agnxtnode(graph, node)) {
    const double width = ND_width(node) * 72, height = ND_height(node) * 72;
    const double left = ND_coord(node).x - box.LL.x - width / 2 + kDrawingPadPoints;
    const double top = box.UR.y - ND_coord(node).y - height / 2 + kDrawingPadPoints;
    std::snprintf(line, sizeof line, "%.1f %.1f %.1f %.1f ", left, top, width, height);
    std::string name = agnameof(node);
    std::replace(name.begin(), name.end(), '\n', ' ');
    out += line + name + "\n";
  }
  return WriteAll(fd, out.data(), out.size()) ? 0 : 1;
}

// Runs `work` in a child process and waits for it until `deadline`; `output` receives what the
// child wrote to the file descriptor that `work` gets.
ChildEnd RunInChild(const std::function<int(int)>& work, Clock::time_point deadline,
                    std::string& output) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    output = std::strerror(errno);
    return ChildEnd::kFailed;
  }
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = fork();
  if (child < 0) {
    output = std::strerror(errno);
    close(report[0]);
    close(report[1]);
    return ChildEnd::kFailed;
  }
  if (child == 0) {
    close(report[0]);
    _exit(work(report[1]));
  }
  close(report[1]);
  // The child's end of the pipe closes when it exits: that is the signal to wait for.
  bool ended = false;
  output.clear();
  while (!ended) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd wait{report[0], POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    char buffer[65536];
    const ssize_t got = read(report[0], buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      ended = true;
    }
  }
  close(report[0]);
  if (!ended) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!ended) return ChildEnd::kTimedOut;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ChildEnd::kFinished;
  if (output.empty()) output = "the layout process ended abnormally";
  return ChildEnd::kFailed;
}

// Runs one attempt at the pictures in a child process and waits for it until `deadline`.
ChildEnd RunAttempt(GVC_t* gvc, Agraph_t* graph, const LayoutAttempt& attempt,
                    const std::vector<std::string>& formats,
                    const std::vector<std::string>& temporaries, Clock::time_point deadline,
                    std::string& error) {
  return RunInChild(
      [&](int fd) { return RenderInChild(gvc, graph, attempt, formats, temporaries, fd); },
      deadline, error);
}

// The drawing that DrawInChild sent.
bool ParseDrawing(const std::string& output, GraphDrawing& drawing) {
  const size_t end = output.find('\n');
  if (end == std::string::npos) return false;
  unsigned long long pngSize = 0, laidOutSize = 0;
  if (std::sscanf(output.c_str(), "%llu %llu %lf %lf", &pngSize, &laidOutSize,
                  &drawing.layoutLeft, &drawing.layoutTop) != 4 ||
      end + 1 + pngSize + laidOutSize > output.size()) {
    return false;
  }
  drawing.png = output.substr(end + 1, pngSize);
  drawing.laidOut = output.substr(end + 1 + pngSize, laidOutSize);
  size_t at = end + 1 + pngSize + laidOutSize;
  while (at < output.size()) {
    size_t lineEnd = output.find('\n', at);
    if (lineEnd == std::string::npos) lineEnd = output.size();
    const std::string line = output.substr(at, lineEnd - at);
    at = lineEnd + 1;
    DrawnNode node;
    int nameStart = 0;
    if (std::sscanf(line.c_str(), "%lf %lf %lf %lf %n", &node.left, &node.top, &node.width,
                    &node.height, &nameStart) != 4) {
      return false;
    }
    node.name = line.substr(static_cast<size_t>(nameStart));
    drawing.nodes.push_back(std::move(node));
  }
  return true;
}

std::string Describe(const LayoutAttempt& attempt, const std::string& reason) {
  return attempt.engine + (reason.empty() ? "" : " (" + reason + ")");
}

}  // namespace

struct GraphRenderer::Context {
  GVC_t* gvc;
};

GraphRenderer::GraphRenderer() : context_(new Context{gvContext()}) {
  agseterr(AGERR);
  agseterrf(CollectGraphvizError);
  int count = 0;
  char** names = gvPluginList(context_->gvc, kDevicePlugins, &count, nullptr);
  for (int i = 0; i < count; ++i) {
    const std::string name = names[i];
    const bool excluded = std::find(std::begin(kExcludedFormats), std::end(kExcludedFormats),
                                    name) != std::end(kExcludedFormats);
    if (!excluded) formats_.push_back(name);
    std::free(names[i]);
  }
  std::free(names);
  std::sort(formats_.begin(), formats_.end());
  formats_.erase(std::unique(formats_.begin(), formats_.end()), formats_.end());
}

GraphRenderer::~GraphRenderer() {
  gvFreeContext(context_->gvc);
  delete context_;
}

RenderResult GraphRenderer::Render(const std::string& dotPath, const RenderSettings& settings,
                                   const NodeTooltips& tooltips) {
  RenderResult result;
  const auto fail = [&](const std::string& entry) {
    result.entries.push_back(entry);
    result.failed = true;
    return result;
  };
  if (settings.formats.empty()) return result;
  const Clock::time_point start = Clock::now();

  std::string text;
  if (!ReadWholeFile(dotPath, text)) return fail(kNotRenderedEntry + dotPath + kCannotRead);
  graphvizErrors.clear();
  Agraph_t* graph = agmemread(text.c_str());
  if (graph == nullptr) {
    return fail(kNotRenderedEntry + dotPath + kGraphvizRejects + FirstLine(graphvizErrors));
  }
  const GraphSize size = SizeOf(graph);
  const LayoutPlan plan = PlanLayout(size);
  SetTooltips(graph, tooltips);
  if (plan.labelsAsXlabels) {
    MoveLabelsToXlabels(graph);
    result.entries.push_back(kLabelsAsXlabels + dotPath + " (" +
                             std::to_string(size.labelledEdges) + " labelled edges)");
  }

  std::vector<std::string> finals, temporaries;
  for (const std::string& format : settings.formats) {
    finals.push_back(PicturePath(dotPath, format));
    temporaries.push_back(CreateTemporaryBeside(finals.back()));
    if (temporaries.back().empty()) {
      temporaries.pop_back();
      for (const std::string& temporary : temporaries) unlink(temporary.c_str());
      agclose(graph);
      return fail(ErrorWritingText(finals.back()));
    }
  }

  std::string reason;
  std::string error;
  bool done = false;
  ChildEnd end = ChildEnd::kFailed;
  for (const LayoutAttempt& attempt : plan.attempts) {
    if (reason.empty()) reason = attempt.reason;
    if (attempt.reason == kTooLargeForDot) {
      reason +=
          ": " + std::to_string(size.nodes) + " nodes, " + std::to_string(size.edges) + " edges";
    }
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(settings.budgetSeconds * attempt.budgetEnd));
    end = RunAttempt(context_->gvc, graph, attempt, settings.formats, temporaries, deadline, error);
    if (end == ChildEnd::kFinished) {
      for (size_t i = 0; i < finals.size(); ++i) {
        if (std::rename(temporaries[i].c_str(), finals[i].c_str()) != 0) {
          result.entries.push_back(ErrorWritingText(finals[i]));
          result.failed = true;
          unlink(temporaries[i].c_str());
        } else {
          result.entries.push_back(kRenderedEntry + finals[i] + kWith + Describe(attempt, reason));
        }
      }
      done = true;
      break;
    }
    const double used = std::chrono::duration<double>(Clock::now() - start).count();
    reason = end == ChildEnd::kTimedOut
                 ? attempt.engine + kDidNotFinish + Seconds(std::round(used * 10) / 10) + " s"
                 : attempt.engine + kLayoutFailed + error;
  }
  agclose(graph);
  if (done) return result;
  for (const std::string& temporary : temporaries) unlink(temporary.c_str());
  if (end == ChildEnd::kFailed) return fail(kNotRenderedEntry + dotPath + ": " + reason + kDotKept);
  return fail(kNotRenderedEntry + dotPath + kNoLayoutFinished + Seconds(settings.budgetSeconds) +
              " s" + kDotKept);
}

GraphDrawing GraphRenderer::Draw(const std::string& dotText, double budgetSeconds) {
  GraphDrawing drawing;
  const Clock::time_point start = Clock::now();
  graphvizErrors.clear();
  Agraph_t* graph = agmemread(dotText.c_str());
  if (graph == nullptr) {
    drawing.error = kGraphvizRejectsDrawing + FirstLine(graphvizErrors);
    return drawing;
  }
  const GraphSize size = SizeOf(graph);
  const LayoutPlan plan = PlanLayout(size);
  if (plan.labelsAsXlabels) MoveLabelsToXlabels(graph);
  std::string output;
  ChildEnd end = ChildEnd::kFailed;
  for (const LayoutAttempt& attempt : plan.attempts) {
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(budgetSeconds * attempt.budgetEnd));
    end = RunInChild([&](int fd) { return DrawInChild(context_->gvc, graph, attempt, fd); },
                     deadline, output);
    if (end == ChildEnd::kFinished) break;
  }
  agclose(graph);
  if (end == ChildEnd::kFinished) {
    if (!ParseDrawing(output, drawing)) drawing.error = kDrawingUnreadable;
  } else if (end == ChildEnd::kTimedOut) {
    drawing.error = kNoDrawingWithin + Seconds(budgetSeconds) + " s";
  } else {
    drawing.error = kLayoutFailed + 2 + output;  // without the leading ": "
  }
  if (!drawing.error.empty()) {
    drawing.png.clear();
    drawing.nodes.clear();
  }
  return drawing;
}

std::string GraphRenderer::DrawPart(const GraphDrawing& drawing, const DrawingPart& part) {
  if (drawing.laidOut.empty() || part.width <= 0 || part.height <= 0 || part.zoom <= 0) return {};
  graphvizErrors.clear();
  Agraph_t* graph = agmemread(drawing.laidOut.c_str());
  if (graph == nullptr) return {};
  // Graphviz's viewport: pixels wide and high (at 72 dpi), zoom, and the centre in the layout's
  // coordinates, whose y axis points up.
  char viewport[160];
  std::snprintf(viewport, sizeof viewport, "%d,%d,%.5f,%.3f,%.3f", part.width, part.height,
                part.zoom, drawing.layoutLeft + part.centerX, drawing.layoutTop - part.centerY);
  agattr(graph, AGRAPH, const_cast<char*>("viewport"), viewport);
  agattr(graph, AGRAPH, const_cast<char*>("dpi"), const_cast<char*>("72"));
  std::string png;
  // "nop2" keeps the nodes and the edges' splines where the layout put them.
  if (gvLayout(context_->gvc, graph, "nop2") == 0) {
    char* data = nullptr;
    unsigned int size = 0;
    if (gvRenderData(context_->gvc, graph, "png", &data, &size) == 0) png.assign(data, size);
    if (data != nullptr) gvFreeRenderData(data);
    gvFreeLayout(context_->gvc, graph);
  }
  agclose(graph);
  return png;
}

}  // namespace quillmap
