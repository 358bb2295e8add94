#include "writers/call_graph_dot.h"

#include "config/app_identity.h"
#include "dot/dot_text.h"


namespace quillmap {

namespace {

constexpr const char* kDotSection = "dot";
constexpr const char* kGraphCfgKey = "graph_cfg";
constexpr const char* kNodeCfgKey = "node_cfg";
// Resolved models: the style of calls through pointers, and the number of targets above which a
// dispatch is drawn as one summary node.
constexpr const char* kPointerCfgKey = "pointer_cfg";
constexpr const char* kDefaultPointerStyle = "style=dashed";
// Calls made by a macro's expansion: their style, labelled with the macro's name.
constexpr const char* kMacroCfgKey = "macro_cfg";
constexpr const char* kDefaultMacroStyle = "style=dotted";
constexpr const char* kMaxTargetsKey = "max_targets";
constexpr int kDefaultMaxTargets = 10;
constexpr const char* kTargetsNodeName = "[targets ";  // no C name starts like this
constexpr const char* kTargetsNodeStyle = " [shape=note, style=dashed, label=";


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
    std::string line = "  " + DotId(model_.NameOf(function.name)) + " -> " +
                       DotId(model_.NameOf(call.callee)) + " " + model_.EdgeStyleOf(call);
    if (model_.resolved) {
      const CallDetails details = model_.DetailsOf(call);
      if (details.kind == CallKind::kPointer) line += PointerAttributes(details.via);
      if (details.kind == CallKind::kMacro) line += MacroAttributes(details.via);
    }
    Line(line);
  }

  // A dispatch of more targets than the cap: one node that says how many.
  void TargetsNode(const FunctionRecord& function, NameId via, size_t targets) {
    const std::string node = DotId(kTargetsNodeName + std::to_string(++targetsNodes_) + "]");
    const std::string member(DispatchMemberOf(model_.NameOf(via)));
    Line("  " + node + kTargetsNodeStyle + DotId(member + ": " + std::to_string(targets) + " targets") +
         "]");
    Line("  " + DotId(model_.NameOf(function.name)) + " -> " + node + PointerAttributes(via));
  }

  int maxTargets() {
    const std::string value = Read(kMaxTargetsKey);
    if (value.empty()) return kDefaultMaxTargets;
    return std::atoi(value.c_str());
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
  std::string PointerAttributes(NameId via) {
    if (pointerStyle_.empty()) {
      pointerStyle_ = Read(kPointerCfgKey);
      if (pointerStyle_.empty()) pointerStyle_ = kDefaultPointerStyle;
    }
    return " [" + pointerStyle_ + ", label=" + DotId(DispatchMemberOf(model_.NameOf(via))) + "]";
  }

  std::string MacroAttributes(NameId macro) {
    if (macroStyle_.empty()) {
      macroStyle_ = Read(kMacroCfgKey);
      if (macroStyle_.empty()) macroStyle_ = kDefaultMacroStyle;
    }
    return " [" + macroStyle_ + ", label=" + DotId(model_.NameOf(macro)) + "]";
  }

  std::vector<char> nodeWritten_;  // by name
  std::string pointerStyle_;
  std::string macroStyle_;
  int targetsNodes_ = 0;
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
  const int maxTargets = model.resolved ? file.maxTargets() : -1;
  size_t next = 0;  // functions are in source order
  for (size_t s = 0; s < model.sources.size(); ++s) {
    for (; next < model.functions.size() && model.functions[next].file == static_cast<int32_t>(s);
         ++next) {
      const FunctionRecord& function = model.functions[next];
      if (!keepFunction(next)) continue;
      file.Node(function.name, model.DetailsOf(function).filter);
      const CallIndexes calls = model.CallsOf(function);
      for (uint32_t c = calls.first; c < calls.last; ++c) {
        if (!keepCall(c)) continue;
        const CallRecord& call = model.calls[c];
        const CallDetails details = model.DetailsOf(call);
        if (model.resolved && details.kind == CallKind::kPointer && maxTargets >= 0) {
          // The records of one dispatch stand together: same expression, same line.
          uint32_t end = c + 1;
          while (end < calls.last) {
            const CallDetails other = model.DetailsOf(model.calls[end]);
            if (other.kind != CallKind::kPointer || other.via != details.via ||
                other.line != details.line) {
              break;
            }
            ++end;
          }
          if (end - c > static_cast<uint32_t>(maxTargets)) {
            file.TargetsNode(function, details.via, end - c);
            c = end - 1;
            continue;
          }
        }
        file.Node(call.callee, details.filter);
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
