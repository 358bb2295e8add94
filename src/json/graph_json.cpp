#include "json/graph_json.h"

#include <fstream>
#include <nlohmann/json.hpp>

namespace quillmap {

namespace {

using nlohmann::json;

// Writes `{"version":..,"functions":[...],...}` one array element at a time.
class JsonStream {
 public:
  explicit JsonStream(std::ostream& out) : out_(out) {}
  void Open(const char* key, char bracket) {
    Separate();
    if (key != nullptr) out_ << json(key).dump() << ':';
    out_ << bracket;
    first_ = true;
  }
  void Close(char bracket) {
    out_ << bracket;
    first_ = false;
  }
  void Field(const char* key, const json& value) {
    Separate();
    out_ << json(key).dump() << ':' << Dump(value);
  }
  void Element(const json& value) {
    Separate();
    out_ << "\n" << Dump(value);
  }

 private:
  static std::string Dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
  }
  void Separate() {
    if (!first_) out_ << ',';
    first_ = false;
  }
  std::ostream& out_;
  bool first_ = true;
};

json Index(int32_t index) { return index < 0 ? json(nullptr) : json(index); }

}  // namespace

bool WriteGraphJson(const std::string& path, const GraphModel& model,
                    const std::vector<RuleViolation>& violations, const StringList& errors) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  JsonStream stream(out);
  const CallGraphModel& graph = model.callGraph;
  const ModuleModel& modules = model.moduleGraph;
  const auto sourcePath = [&](int32_t file) {
    return file < 0 ? json(nullptr) : json(graph.sources[static_cast<size_t>(file)].path);
  };

  stream.Open(nullptr, '{');
  stream.Field("version", kGraphJsonVersion);
  stream.Open("sources", '[');
  for (const SourceRecord& source : graph.sources) {
    stream.Element({{"path", source.path}, {"opened", source.opened}, {"failure", source.failure}});
  }
  stream.Close(']');
  stream.Open("functions", '[');
  for (const FunctionRecord& function : graph.functions) {
    stream.Element(
        {{"name", function.name},
         {"header", function.header},
         {"file", sourcePath(function.file)},
         {"line", function.line},
         {"module", function.module < 0
                        ? json(nullptr)
                        : json(modules.modules[static_cast<size_t>(function.module)].name)}});
  }
  stream.Close(']');
  stream.Open("calls", '[');
  for (const CallRecord& call : graph.calls) {
    const FunctionRecord& caller = graph.functions[static_cast<size_t>(call.caller)];
    stream.Element({{"caller", caller.name},
                    {"callerIndex", Index(call.caller)},
                    {"callee", call.callee},
                    {"callText", call.callText},
                    {"arguments", call.arguments},
                    {"file", sourcePath(caller.file)},
                    {"line", call.line},
                    {"edgeStyle", call.edgeStyle}});
  }
  stream.Close(']');
  stream.Open("modules", '[');
  for (const ModuleInfo& module : modules.modules) {
    stream.Element(
        {{"name", module.name}, {"files", module.files}, {"functions", module.definedFunctions}});
  }
  stream.Close(']');
  stream.Open("moduleCalls", '[');
  for (const ModuleCallRecord& call : modules.calls) {
    stream.Element({{"from", modules.modules[static_cast<size_t>(call.fromModule)].name},
                    {"to", modules.modules[static_cast<size_t>(call.toModule)].name},
                    {"caller", call.caller},
                    {"callee", call.callee},
                    {"file", call.file},
                    {"line", call.line}});
  }
  stream.Close(']');
  stream.Open("violations", '[');
  for (const RuleViolation& violation : violations) {
    stream.Element({{"report", violation.line}, {"moduleCalls", violation.calls}});
  }
  stream.Close(']');
  stream.Open("errors", '[');
  for (const std::string& error : errors) stream.Element(error);
  stream.Close(']');
  stream.Close('}');
  out << '\n';
  out.close();
  return !out.fail();
}

}  // namespace quillmap
