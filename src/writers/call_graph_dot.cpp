#include "writers/call_graph_dot.h"

#include "config/app_identity.h"
#include "dot/dot_text.h"

namespace quillmap {

namespace {

constexpr const char* kDotSection = "dot";
constexpr const char* kGraphCfgKey = "graph_cfg";
constexpr const char* kNodeCfgKey = "node_cfg";

class DotFile {
 public:
  DotFile(ProfileReader& profile, LineWriter& writer, const std::string& cfgPath,
          const StringList& callsList, const CallGraphModel& model, const std::string& path)
      : profile_(profile),
        writer_(writer),
        cfgPath_(cfgPath),
        callsList_(callsList),
        model_(model),
        path_(path),
        nodeWritten_(model.names.size(), 0) {}

  void Header() {
    writer_.WriteLine(path_, DotHeaderLine(), true);
    Line("");
    Line("digraph G");
    Line("{");
    for (int n = 0;; ++n) {
      const std::string value = Read(kGraphCfgKey + std::to_string(n));
      if (value.empty()) break;
      Line("  " + value);
    }
  }

  // The node of a function or callee, unless one of that name was written before.
  void Node(NameId id, int32_t filter) {
    const std::string_view name = model_.NameOf(id);
    if (name.empty() || nodeWritten_[id]) return;
    nodeWritten_[id] = 1;
    std::string line(2, ' ');
    line += DotId(name);
    const std::string nodeSuffix =
        filter < 0 ? std::string() : GetField(callsList_[static_cast<size_t>(filter)], 1);
    if (!nodeSuffix.empty()) {
      line += ' ';
      line += Read(kNodeCfgKey + nodeSuffix);
    }
    Line(line);
  }

  void Edge(const FunctionRecord& function, const CallRecord& call) {
    Line("  " + DotId(model_.NameOf(function.name)) + " -> " + DotId(model_.NameOf(call.callee)) +
         " " + model_.EdgeStyleOf(call));
  }

  void Line(std::string_view line) { writer_.WriteLine(path_, line, false); }

 private:
  std::string Read(const std::string& key) {
    return ReadProfileString(profile_, cfgPath_, kDotSection, key);
  }

  ProfileReader& profile_;
  LineWriter& writer_;
  const std::string& cfgPath_;
  const StringList& callsList_;
  const CallGraphModel& model_;
  const std::string& path_;
  std::vector<char> nodeWritten_;  // by name
};

}  // namespace

std::string DotLineComment(const std::string& text) {
  std::string comment = "// ";
  for (const char c : text) {
    if (c == '\n') {
      comment += "\\n";
    } else if (c == '\r') {
      comment += "\\r";
    } else if (c == '\0') {
      // Graphviz stops reading a file at a NUL byte, even inside a comment.
      comment += "\\0";
    } else {
      comment += c;
    }
  }
  return comment;
}

void WriteCallGraphDot(ProfileReader& profile, LineWriter& writer, const std::string& cfgPath,
                       const StringList& callsList, const CallGraphModel& model,
                       const std::string& dotPath, const GraphSelection* selection) {
  if (dotPath.empty()) return;
  const auto keepFunction = [&](size_t f) { return !selection || selection->keepNode[f]; };
  const auto keepCall = [&](uint32_t c) { return !selection || selection->keepCall[c]; };
  DotFile file(profile, writer, cfgPath, callsList, model, dotPath);
  file.Header();
  size_t next = 0;  // functions are in source order
  for (size_t s = 0; s < model.sources.size(); ++s) {
    for (; next < model.functions.size() && model.functions[next].file == static_cast<int32_t>(s);
         ++next) {
      const FunctionRecord& function = model.functions[next];
      if (!keepFunction(next)) continue;
      file.Node(function.name, model.DetailsOf(function).filter);
      for (const uint32_t c : model.CallsOf(function)) {
        if (!keepCall(c)) continue;
        const CallRecord& call = model.calls[c];
        file.Node(call.callee, model.DetailsOf(call).filter);
        file.Edge(function, call);
      }
      if (function.closed) file.Line("");
    }
    const std::string& failure = model.sources[s].failure;
    if (!failure.empty()) file.Line(DotLineComment(failure));
  }
  if (selection) {
    for (const std::string& line : selection->cutMarkLines) file.Line(line);
  }
  file.Line("}");
}

}  // namespace quillmap
