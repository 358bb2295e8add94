#include "render/graph_renderer.h"

#include <fcntl.h>
#include <graphviz/gvc.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "config/profile_reader.h"
#include "context/scan_context.h"
#include "outputs/output_replacement.h"

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

// How one child's layout ended.
enum class ChildEnd { kFinished, kFailed, kTimedOut };

// A part of a laid-out drawing is only drawn, never laid out anew: this is ample.
constexpr std::chrono::seconds kPartBudget{5};

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

// The length of the UTF-8 sequence at `at`, or 0 when none begins there.
size_t Utf8SequenceAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && byte(at + 1) < 0xA0) || (lead == 0xED && byte(at + 1) >= 0xA0) ||
      (lead == 0xF0 && byte(at + 1) < 0x90) || (lead == 0xF4 && byte(at + 1) >= 0x90)) {
    return 0;
  }
  return length;
}

// An SVG picture as well-formed XML: Graphviz copies names, labels and tooltips into it as they
// are, and XML allows no control character but tab, line feed and carriage return, nor bytes
// that are not UTF-8. Each such byte becomes U+FFFD.
std::string XmlSafeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    const size_t length = Utf8SequenceAt(text, at);
    if (length == 0 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
      out += "\xEF\xBF\xBD";
      ++at;
      continue;
    }
    out.append(text, at, length);
    at += length;
  }
  return out;
}

bool IsSvgFormat(const std::string& format) {
  return format.starts_with("svg") && !format.starts_with("svgz");
}

// Renders the laid out graph into the picture's temporary file (through its descriptor) or, for
// a picture that is a device or a pipe, into that file. Graphviz's status.
int RenderPicture(GVC_t* gvc, Agraph_t* graph, const std::string& format,
                  const OutputTarget& target) {
  std::FILE* file = target.replaced || target.fd >= 0 ? OpenOutputFile(target)
                                                      : std::fopen(target.writePath.c_str(), "wb");
  if (file == nullptr) return -1;
  int status;
  if (IsSvgFormat(format)) {
    char* data = nullptr;
    unsigned int size = 0;
    status = gvRenderData(gvc, graph, format.c_str(), &data, &size);
    if (status == 0) {
      const std::string svg = XmlSafeText(std::string_view(data, size));
      if (std::fwrite(svg.data(), 1, svg.size(), file) != svg.size()) status = -1;
    }
    gvFreeRenderData(data);
  } else {
    status = gvRender(gvc, graph, format.c_str(), file);
  }
  if (std::fclose(file) != 0 && status == 0) status = -1;
  return status;
}

// Parses the DOT text in a child, within the budget like the layout (a parse cannot be
// interrupted either; a name of megabytes takes seconds): writes "NODES EDGES LABELLED" to
// `fd`, or Graphviz's error.
int MeasureInChild(const std::string& text, int fd) {
  graphvizErrors.clear();
  Agraph_t* graph = agmemread(text.c_str());
  if (graph == nullptr) {
    const std::string message = FirstLine(graphvizErrors);
    WriteAll(fd, message.data(), message.size());
    return 1;
  }
  const GraphSize size = SizeOf(graph);
  const std::string sizes = std::to_string(size.nodes) + " " + std::to_string(size.edges) + " " +
                            std::to_string(size.labelledEdges);
  return WriteAll(fd, sizes.data(), sizes.size()) ? 0 : 1;
}

// What the child of one attempt draws: the DOT text with the tooltips, and how.
struct PictureWork {
  const std::string& text;
  const NodeTooltips& tooltips;
  bool labelsAsXlabels;
  const std::vector<std::string>& formats;
  const std::vector<OutputTarget>& targets;
};

// Parses, lays out and renders in the child: the pictures go to their temporary files, an error
// to `reportFd`. Returns the child's exit status.
int RenderInChild(GVC_t* gvc, const PictureWork& work, const LayoutAttempt& attempt, int reportFd) {
  graphvizErrors.clear();
  Agraph_t* graph = agmemread(work.text.c_str());
  if (graph == nullptr) return 1;
  SetTooltips(graph, work.tooltips);
  if (work.labelsAsXlabels) MoveLabelsToXlabels(graph);
  const std::vector<std::string>& formats = work.formats;
  const std::vector<OutputTarget>& targets = work.targets;
  for (const auto& [name, value] : attempt.graphAttributes) {
    agattr(graph, AGRAPH, const_cast<char*>(name.c_str()), const_cast<char*>(value.c_str()));
  }
  int status = gvLayout(gvc, graph, attempt.engine.c_str());
  for (size_t i = 0; status == 0 && i < formats.size(); ++i) {
    status = RenderPicture(gvc, graph, formats[i], targets[i]);
  }
  if (status != 0) {
    const std::string message = FirstLine(graphvizErrors);
    [[maybe_unused]] ssize_t written = write(reportFd, message.data(), message.size());
  }
  return status == 0 ? 0 : 1;
}

// Lays out and draws the graph in the child: on success the drawing goes to `fd` as
// "PNG-SIZE LAYOUT-SIZE LEFT TOP SCALE\n", the PNG, the laid out graph, then one line per node
// "LEFT TOP WIDTH HEIGHT NAME" in points of the picture (top-left origin); on failure the error.
// Returns the child's exit status.
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
  double scale = 1;
  if (status == 0) {
    // The picture's size is known once laid out: a large one is drawn at fewer pixels a point.
    const boxf box = GD_bb(graph);
    const double pixels = (box.UR.x - box.LL.x + 2 * kDrawingPadPoints) *
                          (box.UR.y - box.LL.y + 2 * kDrawingPadPoints);
    if (pixels > kMaxDrawingPixels) {
      scale = std::sqrt(kMaxDrawingPixels / pixels);
      GD_drawing(graph)->dpi = 72 * scale;
    }
    status = gvRenderData(gvc, graph, "png", &png, &pngSize);
    // The laid out graph, from which parts are drawn, stays at one pixel a point.
    GD_drawing(graph)->dpi = 72;
  }
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
  std::snprintf(line, sizeof line, "%u %u %.2f %.2f %.6f\n", pngSize, laidOutSize,
                box.LL.x - kDrawingPadPoints, box.UR.y + kDrawingPadPoints, scale);
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
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child < 0) {
    output = std::strerror(errno);
    close(report[0]);
    close(report[1]);
    return ChildEnd::kFailed;
  }
  if (child == 0) {
    close(report[0]);
    // The child ends with the process that waits for it, however that one ends: by a signal
    // that its handlers catch (they end this process group) or by one they cannot (the death
    // signal).
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    _exit(work(report[1]));
  }
  // Set on both sides, so that the group exists before either goes on.
  setpgid(child, child);
  const bool watched = SetChildGroupEndedOnTermination(child, true);
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
  if (watched) SetChildGroupEndedOnTermination(child, false);
  if (!ended) return ChildEnd::kTimedOut;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ChildEnd::kFinished;
  if (output.empty()) output = "the layout process ended abnormally";
  return ChildEnd::kFailed;
}

// Runs one attempt at the pictures in a child process and waits for it until `deadline`.
ChildEnd RunAttempt(GVC_t* gvc, const PictureWork& work, const LayoutAttempt& attempt,
                    Clock::time_point deadline, std::string& error) {
  return RunInChild([&](int fd) { return RenderInChild(gvc, work, attempt, fd); }, deadline, error);
}

// The drawing that DrawInChild sent.
bool ParseDrawing(const std::string& output, GraphDrawing& drawing) {
  const size_t end = output.find('\n');
  if (end == std::string::npos) return false;
  unsigned long long pngSize = 0, laidOutSize = 0;
  if (std::sscanf(output.c_str(), "%llu %llu %lf %lf %lf", &pngSize, &laidOutSize,
                  &drawing.layoutLeft, &drawing.layoutTop, &drawing.pictureScale) != 5 ||
      drawing.pictureScale <= 0 ||
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
  const auto noLayoutWithin = [&] {
    return fail(kNotRenderedEntry + dotPath + kNoLayoutFinished + Seconds(settings.budgetSeconds) +
                " s" + kDotKept);
  };
  // The graph is parsed in the children only, each time within the budget: the size for the
  // plan first, then by each attempt for its layout.
  std::string measured;
  const auto budgetEnd = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(settings.budgetSeconds));
  const ChildEnd measuredEnd =
      RunInChild([&](int fd) { return MeasureInChild(text, fd); }, budgetEnd, measured);
  if (measuredEnd == ChildEnd::kTimedOut) return noLayoutWithin();
  GraphSize size;
  if (measuredEnd == ChildEnd::kFailed || std::sscanf(measured.c_str(), "%d %d %d", &size.nodes,
                                                      &size.edges, &size.labelledEdges) != 3) {
    return fail(kNotRenderedEntry + dotPath + kGraphvizRejects + FirstLine(measured));
  }
  const LayoutPlan plan = PlanLayout(size);
  if (plan.labelsAsXlabels) {
    result.entries.push_back(kLabelsAsXlabels + dotPath + " (" +
                             std::to_string(size.labelledEdges) + " labelled edges)");
  }

  // Each picture is an output like the others: written to a temporary file beside it that
  // replaces it once the layout finished.
  std::vector<std::string> finals;
  std::vector<OutputTarget> targets(settings.formats.size());
  const auto discardAll = [&] {
    for (OutputTarget& target : targets) DiscardOutput(target);
  };
  for (size_t i = 0; i < settings.formats.size(); ++i) {
    finals.push_back(PicturePath(dotPath, settings.formats[i]));
    if (!PrepareOutput(finals.back(), false, targets[i])) {
      discardAll();
      return fail(ErrorWritingText(finals.back()));
    }
  }
  const PictureWork work{text, tooltips, plan.labelsAsXlabels, settings.formats, targets};

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
    end = RunAttempt(context_->gvc, work, attempt, deadline, error);
    if (end == ChildEnd::kFinished) {
      for (size_t i = 0; i < finals.size(); ++i) {
        if (!CommitOutput(targets[i])) {
          result.entries.push_back(ErrorWritingText(finals[i]));
          result.failed = true;
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
  if (done) return result;
  discardAll();
  if (end == ChildEnd::kFailed) return fail(kNotRenderedEntry + dotPath + ": " + reason + kDotKept);
  return noLayoutWithin();
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
  // Laid out and drawn in a child, as every drawing is: Graphviz's text layout keeps a pointer
  // to the last font name it measured, which a layout in this process would leave pointing at
  // freed memory for the next one.
  std::string png;
  const ChildEnd end = RunInChild(
      [&](int fd) {
        // "nop2" keeps the nodes and the edges' splines where the layout put them.
        if (gvLayout(context_->gvc, graph, "nop2") != 0) return 1;
        char* data = nullptr;
        unsigned int size = 0;
        if (gvRenderData(context_->gvc, graph, "png", &data, &size) != 0) return 1;
        return WriteAll(fd, data, size) ? 0 : 1;
      },
      Clock::now() + kPartBudget, png);
  agclose(graph);
  return end == ChildEnd::kFinished ? png : std::string();
}

}  // namespace quillmap
