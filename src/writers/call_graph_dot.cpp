#include "writers/call_graph_dot.h"

#include "config/app_identity.h"
#include "dot/dot_text.h"


namespace quillmap {

namespace {

constexpr const char* kTargetsNodeName = "[targets ";  // no C name starts like this
constexpr const char* kTargetsNodeStyle = " [shape=note, style=dashed, label=";


class DotFile {
 public:
  DotFile(const CallGraphDotSettings& dot, LineWriter& writer, const StringList& callsList,
          const CallGraphModel& model, const std::string& path)
      : dot_(dot),
        writer_(writer),
        callsList_(callsList),
        model_(model),
        path_(path),
        nodeWritten_(model.names.size(), 0),
        plainId_(model.names.size(), 0) {}

  void Header() {
    writer_.WriteLine(path_, DotHeaderLine(), true);
    Line("");
    Line("digraph G");
    Line("{");
    for (const std::string& value : dot_.graphAttributes) Line("  " + value);
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
      if (static_cast<size_t>(filter) < dot_.nodeStyles.size()) line += dot_.nodeStyles[filter];
    }
    Line(line);
  }

  // `caller`: the DOT id of the calling function; `details`: the call's.
  void Edge(std::string_view caller, const CallRecord& call, const CallDetails& details) {
    line_.assign(2, ' ');
    ((line_ += caller) += " -> ");
    AppendId(line_, call.callee);
    (line_ += ' ') += model_.EdgeStyleOf(details);
    if (model_.resolved) {
      if (details.kind == CallKind::kPointer) line_ += PointerAttributes(details.via);
      if (details.kind == CallKind::kMacro) line_ += MacroAttributes(details.via);
    }
    Line(line_);
  }

  // The DOT id of a name: most names are plain ids, and a name is known as one once looked at.
  void AppendId(std::string& line, NameId id) {
    const std::string_view name = model_.NameOf(id);
    if (plainId_[id] == 0) plainId_[id] = DotId(name) == name ? 1 : 2;
    if (plainId_[id] == 1) {
      line += name;
    } else {
      line += DotId(name);
    }
  }

  // A dispatch of more targets than the cap: one node that says how many.
  void TargetsNode(const FunctionRecord& function, NameId via, size_t targets) {
    const std::string node = DotId(kTargetsNodeName + std::to_string(++targetsNodes_) + "]");
    const std::string member(DispatchMemberOf(model_.NameOf(via)));
    Line("  " + node + kTargetsNodeStyle + DotId(member + ": " + std::to_string(targets) + " targets") +
         "]");
    Line("  " + DotId(model_.NameOf(function.name)) + " -> " + node + PointerAttributes(via));
  }

  int maxTargets() const { return dot_.maxTargets; }

  void Line(std::string_view line) { writer_.WriteLine(path_, line, false); }

 private:
  const CallGraphDotSettings& dot_;
  LineWriter& writer_;
  const StringList& callsList_;
  const CallGraphModel& model_;
  const std::string& path_;
  // Resolved models: calls through pointers, labelled with the member they go through.
  std::string PointerAttributes(NameId via) {
    return " [" + dot_.pointerStyle + ", label=" + DotId(DispatchMemberOf(model_.NameOf(via))) +
           "]";
  }

  // Calls made by a macro's expansion, labelled with the macro's name.
  std::string MacroAttributes(NameId macro) {
    return " [" + dot_.macroStyle + ", label=" + DotId(model_.NameOf(macro)) + "]";
  }

  std::vector<char> nodeWritten_;  // by name
  std::vector<char> plainId_;      // by name: 1 its own DOT id, 2 not, 0 not looked at yet
  std::string line_;               // reused
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

void WriteCallGraphDot(const CallGraphDotSettings& dot, LineWriter& writer,
                       const StringList& callsList, const CallGraphModel& model,
                       const std::string& dotPath, const GraphSelection* selection) {
  if (dotPath.empty()) return;
  const auto keepFunction = [&](size_t f) { return !selection || selection->keepNode[f]; };
  const auto keepCall = [&](uint32_t c) { return !selection || selection->keepCall[c]; };
  DotFile file(dot, writer, callsList, model, dotPath);
  file.Header();
  const int maxTargets = model.resolved ? file.maxTargets() : -1;
  size_t next = 0;  // functions are in source order
  for (size_t s = 0; s < model.sources.size(); ++s) {
    for (; next < model.functions.size() && model.functions[next].file == static_cast<int32_t>(s);
         ++next) {
      const FunctionRecord& function = model.functions[next];
      if (!keepFunction(next)) continue;
      file.Node(function.name, model.DetailsOf(function).filter);
      std::string caller;
      file.AppendId(caller, function.name);
      const CallIndexes calls = model.CallsOf(function);
      for (uint32_t c = calls.first; c < calls.last; ++c) {
        if (!keepCall(c)) continue;
        const CallRecord& call = model.calls[c];
        CallDetails details = model.DetailsOf(call);
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
          // Reading the records after it let go of its arguments.
          details = model.DetailsOf(call);
        }
        file.Node(call.callee, details.filter);
        file.Edge(caller, call, details);
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
