#include "json/graph_json.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "outputs/output_replacement.h"

namespace quillmap {

namespace {

// Held back before each write; large enough that a whole-tree export makes few system calls.
constexpr size_t kFlushSize = 1 << 20;

// Writes the export element by element into a buffer that goes to the file in large blocks.
// Members are written in the byte order of their keys, as a JSON library that keeps objects
// sorted would, so the bytes do not depend on how the writer is built.
class JsonOut {
 public:
  explicit JsonOut(std::FILE* file) : file_(file) { buffer_.reserve(kFlushSize + 4096); }

  // `"key":` of a key that needs no escaping, with a ',' before every member but the first.
  JsonOut& Key(const char* key) {
    if (!first_) buffer_ += ',';
    first_ = false;
    buffer_ += '"';
    buffer_ += key;
    buffer_ += "\":";
    return *this;
  }
  JsonOut& Open(char bracket) {
    buffer_ += bracket;
    first_ = true;
    return *this;
  }
  JsonOut& Close(char bracket) {
    buffer_ += bracket;
    first_ = false;
    return *this;
  }
  // Starts an element of a list written one element a line.
  JsonOut& Element() {
    if (!first_) buffer_ += ',';
    first_ = false;
    buffer_ += '\n';
    return *this;
  }
  JsonOut& String(std::string_view text) {
    AppendJsonString(buffer_, text);
    return *this;
  }
  JsonOut& Integer(int64_t value) {
    buffer_ += std::to_string(value);
    return *this;
  }
  // An index, or null for none.
  JsonOut& Index(int32_t index) {
    if (index < 0) {
      buffer_ += "null";
      return *this;
    }
    return Integer(index);
  }
  JsonOut& Boolean(bool value) {
    buffer_ += value ? "true" : "false";
    return *this;
  }
  JsonOut& StringOrNull(const std::string* text) {
    if (text == nullptr) {
      buffer_ += "null";
      return *this;
    }
    return String(*text);
  }
  template <typename Items, typename Write>
  JsonOut& List(const Items& list, Write write) {
    buffer_ += '[';
    bool first = true;
    for (const auto& item : list) {
      if (!first) buffer_ += ',';
      first = false;
      write(item);
    }
    buffer_ += ']';
    return *this;
  }
  template <typename Texts>
  JsonOut& Strings(const Texts& list) {
    return List(list, [&](std::string_view text) { String(text); });
  }
  // Ends an element: its bytes may go to the file.
  void Done() {
    if (buffer_.size() >= kFlushSize) Flush();
  }
  bool Finish() {
    buffer_ += '\n';
    return Flush();
  }

 private:
  bool Flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      failed_ = true;
    }
    buffer_.clear();
    return !failed_;
  }

  std::FILE* file_;
  std::string buffer_;
  bool first_ = true;
  bool failed_ = false;
};

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  // Printable ASCII, by far the most common text, is written here; anything else (control
  // bytes, UTF-8 sequences and bytes that are not UTF-8) by the JSON library, which escapes
  // and replaces as the schema says.
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x80) {
      out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      return;
    }
  }
  out += '"';
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"' || text[i] == '\\') {
      out.append(text, start, i - start);
      out += '\\';
      start = i;
    }
  }
  out.append(text, start, text.size() - start);
  out += '"';
}

bool WriteGraphJson(const std::string& path, const GraphModel& model,
                    const std::vector<RuleViolation>& violations, const StringList& errors) {
  // Written beside the old export and renamed over it when complete, as every output is.
  OutputTarget target;
  if (!PrepareOutput(path, false, target)) return false;
  std::FILE* file = OpenOutputFile(target);
  if (file == nullptr) {
    DiscardOutput(target);
    return false;
  }
  JsonOut out(file);
  const CallGraphModel& graph = model.callGraph;
  const ModuleModel& modules = model.moduleGraph;
  const auto sourcePath = [&](int32_t source) {
    return source < 0 ? nullptr : &graph.sources[static_cast<size_t>(source)].path;
  };

  out.Open('{').Key("version").Integer(kGraphJsonVersion);
  out.Key("sources").Open('[');
  for (const SourceRecord& source : graph.sources) {
    out.Element().Open('{');
    out.Key("failure").String(source.failure).Key("opened").Boolean(source.opened);
    out.Key("path").String(source.path).Close('}').Done();
  }
  out.Close(']').Key("functions").Open('[');
  for (const FunctionRecord& function : graph.functions) {
    out.Element().Open('{');
    out.Key("file").StringOrNull(sourcePath(function.file));
    const FunctionDetails details = graph.DetailsOf(function);
    out.Key("header").String(details.header).Key("line").Integer(details.line);
    if (graph.resolved) out.Key("linkage").String(function.isStatic ? "static" : "external");
    out.Key("module").StringOrNull(
        function.module < 0 ? nullptr
                            : &modules.modules[static_cast<size_t>(function.module)].name);
    // Resolved: the name as C writes it, and the node name that tells namesakes apart.
    out.Key("name").String(graph.PlainNameOf(function.name));
    if (graph.resolved) out.Key("node").String(graph.NameOf(function.name));
    out.Close('}').Done();
  }
  out.Close(']').Key("calls").Open('[');
  // The functions' calls, one function after the other, are the calls in order.
  for (size_t f = 0; f < graph.functions.size(); ++f) {
    const FunctionRecord& caller = graph.functions[f];
    for (const uint32_t c : graph.CallsOf(caller)) {
      const CallRecord& call = graph.calls[c];
      const CallDetails details = graph.DetailsOf(call);
      out.Element().Open('{');
      out.Key("arguments").Strings(details.arguments);
      out.Key("callText").String(graph.CallTextOf(c));
      if (graph.resolved) {
        // The callee's own name when it is bound (a pointer call names its target), else the
        // name or expression as written.
        const std::string_view callee =
            details.calleeIndex >= 0
                ? graph.PlainNameOf(graph.functions[static_cast<size_t>(details.calleeIndex)].name)
                : graph.NameOf(call.callee);
        out.Key("callee").String(callee).Key("calleeIndex").Index(details.calleeIndex);
      } else {
        out.Key("callee").String(graph.NameOf(call.callee));
      }
      out.Key("caller").String(graph.PlainNameOf(caller.name));
      out.Key("callerIndex")
          .Index(static_cast<int32_t>(f))
          .Key("edgeStyle")
          .String(graph.EdgeStyleOf(call));
      out.Key("file").StringOrNull(sourcePath(caller.file));
      if (graph.resolved) {
        out.Key("kind").String(details.kind == CallKind::kPointer ? "pointer"
                               : details.kind == CallKind::kMacro ? "macro"
                                                                  : "direct");
      }
      out.Key("line").Integer(details.line);
      if (graph.resolved) {
        if (details.kind == CallKind::kPointer || details.kind == CallKind::kMacro) {
          out.Key("via").String(graph.NameOf(details.via));
        } else {
          out.Key("via").StringOrNull(nullptr);
        }
      }
      out.Close('}').Done();
    }
  }
  out.Close(']').Key("modules").Open('[');
  for (const ModuleInfo& module : modules.modules) {
    out.Element().Open('{');
    out.Key("files").Strings(module.files).Key("functions").Strings(module.definedFunctions);
    out.Key("name").String(module.name).Close('}').Done();
  }
  out.Close(']').Key("moduleCalls").Open('[');
  for (const ModuleCallRecord& call : modules.calls) {
    out.Element().Open('{');
    out.Key("callee").String(modules.calls.CalleeOf(call));
    out.Key("caller").String(modules.calls.CallerOf(call));
    out.Key("file").String(modules.calls.FileOf(call));
    out.Key("from").String(modules.modules[static_cast<size_t>(call.fromModule)].name);
    out.Key("line").Integer(call.line);
    out.Key("to").String(modules.modules[static_cast<size_t>(call.toModule)].name);
    out.Close('}').Done();
  }
  out.Close(']').Key("violations").Open('[');
  for (const RuleViolation& violation : violations) {
    out.Element().Open('{').Key("moduleCalls");
    out.List(violation.calls, [&](int32_t call) { out.Integer(call); });
    out.Key("report").String(violation.line).Close('}').Done();
  }
  out.Close(']').Key("errors").Open('[');
  for (const std::string& error : errors) out.Element().String(error).Done();
  out.Close(']').Close('}');
  const bool written = out.Finish();
  if (std::fclose(file) != 0 || !written) {
    DiscardOutput(target);
    return false;
  }
  return CommitOutput(target);
}

}  // namespace quillmap
