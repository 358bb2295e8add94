#include "json/graph_diff.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "files/file_error.h"
#include "json/graph_json.h"

namespace quillmap {

namespace {

using nlohmann::json;

constexpr const char* kVersionKey = "version";
constexpr const char* kFunctionsKey = "functions";
constexpr const char* kCallsKey = "calls";
constexpr const char* kNameKey = "name";
constexpr const char* kFileKey = "file";
constexpr const char* kCallerKey = "caller";
constexpr const char* kCalleeKey = "callee";
constexpr const char* kCallTextKey = "callText";
constexpr const char* kMissing = " is missing";
constexpr const char* kNotAString = " is not a string";
constexpr const char* kNotAList = " is not a list";
constexpr const char* kNotAnObject = " is not an object";

// The keys the difference reads; every other member is dropped as soon as it is parsed.
bool KeptKey(const std::string& key) {
  static const std::unordered_set<std::string> kept = {kVersionKey, kFunctionsKey, kCallsKey,
                                                       kNameKey,    kFileKey,      kCallerKey,
                                                       kCalleeKey,  kCallTextKey};
  return kept.count(key) != 0;
}

bool KeepWhileParsing(int /*depth*/, json::parse_event_t event, json& parsed) {
  return event != json::parse_event_t::key || KeptKey(parsed.get<std::string>());
}

// Files are compared below the folder that holds all of an export's files, so that exports of
// two checkouts in different places match.
void StripCommonFolder(ExportedGraph& graph) {
  std::optional<std::string_view> common;
  const auto narrow = [&](std::string_view file) {
    if (!common) {
      common = file.substr(0, file.rfind('/') + 1);  // npos + 1 == 0: no folder
      return;
    }
    size_t same = 0;
    while (same < common->size() && same < file.size() && (*common)[same] == file[same]) ++same;
    common = common->substr(0, common->substr(0, same).rfind('/') + 1);
  };
  for (const ExportedFunction& function : graph.functions) narrow(function.file);
  for (const ExportedCall& call : graph.calls) narrow(call.callerFile);
  const size_t strip = common ? common->size() : 0;
  if (strip == 0) return;
  for (ExportedFunction& function : graph.functions) function.file.erase(0, strip);
  for (ExportedCall& call : graph.calls) call.callerFile.erase(0, strip);
}

// Reads the members of an export that has been parsed; every fault names where it is.
class ExportReader {
 public:
  explicit ExportReader(const std::string& path) : path_(path) {}

  ExportReading Read(const json& root) {
    ExportReading reading;
    if (!root.is_object()) return Fail("the document" + std::string(kNotAnObject));
    const auto version = root.find(kVersionKey);
    if (version == root.end()) return Fail(kVersionKey + std::string(kMissing));
    if (!version->is_number_integer() || version->get<int64_t>() != kGraphJsonVersion) {
      reading.error = path_ + ": " + kOtherVersion + version->dump() + kVersionWanted +
                      std::to_string(kGraphJsonVersion);
      return reading;
    }
    const json* functions = List(root, kFunctionsKey);
    const json* calls = functions ? List(root, kCallsKey) : nullptr;
    if (calls == nullptr) return Fail(error_);
    for (size_t i = 0; i < functions->size(); ++i) {
      const json& element = (*functions)[i];
      const std::string at = Place(kFunctionsKey, i);
      ExportedFunction function;
      if (!Object(element, at) || !Text(element, at, kNameKey, function.name) ||
          !FileName(element, at, function.file)) {
        return Fail(error_);
      }
      reading.graph.functions.push_back(std::move(function));
    }
    for (size_t i = 0; i < calls->size(); ++i) {
      const json& element = (*calls)[i];
      const std::string at = Place(kCallsKey, i);
      ExportedCall call;
      if (!Object(element, at) || !Text(element, at, kCallerKey, call.caller) ||
          !FileName(element, at, call.callerFile) || !Text(element, at, kCalleeKey, call.callee) ||
          !Text(element, at, kCallTextKey, call.callText)) {
        return Fail(error_);
      }
      reading.graph.calls.push_back(std::move(call));
    }
    StripCommonFolder(reading.graph);
    return reading;
  }

 private:
  static std::string Place(const char* list, size_t index) {
    return std::string(list) + "[" + std::to_string(index) + "]";
  }
  ExportReading Fail(const std::string& what) {
    ExportReading reading;
    reading.error = path_ + ": " + kNotAnExport + what;
    return reading;
  }
  const json* List(const json& root, const char* key) {
    const auto it = root.find(key);
    if (it == root.end()) {
      error_ = key + std::string(kMissing);
      return nullptr;
    }
    if (!it->is_array()) {
      error_ = key + std::string(kNotAList);
      return nullptr;
    }
    return &*it;
  }
  bool Object(const json& element, const std::string& at) {
    if (element.is_object()) return true;
    error_ = at + kNotAnObject;
    return false;
  }
  bool Text(const json& element, const std::string& at, const char* key, std::string& text) {
    const auto it = element.find(key);
    if (it == element.end()) {
      error_ = at + "." + key + kMissing;
      return false;
    }
    if (!it->is_string()) {
      error_ = at + "." + key + kNotAString;
      return false;
    }
    text = it->get<std::string>();
    return true;
  }
  // The file of a function or call: a string, or null when the export knows none.
  bool FileName(const json& element, const std::string& at, std::string& file) {
    const auto it = element.find(kFileKey);
    if (it != element.end() && it->is_null()) return true;
    return Text(element, at, kFileKey, file);
  }

  const std::string& path_;
  std::string error_;
};

// What tells nodes apart: the name, and the file when the name alone is ambiguous. A called
// name that no definition in the caller's file resolves stays ambiguous (`kind` 2).
using NodeKey = std::tuple<std::string, std::string, int>;
constexpr int kByName = 0;
constexpr int kByFile = 1;
constexpr int kUnresolved = 2;

using CallKey = std::tuple<int32_t, std::string, std::string>;  // caller node, callee, call text

struct CallKeyHash {
  size_t operator()(const CallKey& key) const {
    return std::hash<int32_t>()(std::get<0>(key)) * 31 +
           std::hash<std::string>()(std::get<1>(key)) * 7 +
           std::hash<std::string>()(std::get<2>(key));
  }
};

// Builds the union of two exports. All definitions go in before the calls, so that a called
// name is resolved against every function either export defines.
class DiffBuilder {
 public:
  DiffBuilder(const ExportedGraph& before, const ExportedGraph& after) {
    // A name defined twice in either export is told apart by file in both.
    for (const ExportedGraph* graph : {&before, &after}) {
      std::unordered_map<std::string_view, int> count;
      for (const ExportedFunction& function : graph->functions) {
        if (++count[function.name] == 2) repeated_.insert(function.name);
      }
    }
    AddFunctions(after, true);
    AddFunctions(before, false);
    AddCalls(after, true);
    AddCalls(before, false);
  }

  GraphDiff Take() { return std::move(diff_); }

 private:
  void AddFunctions(const ExportedGraph& graph, bool newer) {
    for (const ExportedFunction& function : graph.functions) {
      const int32_t node = Node(FunctionKey(function.name, function.file));
      diff_.nodes[static_cast<size_t>(node)].defined = true;
      Mark(diff_.nodes[static_cast<size_t>(node)].state, nodeSeen_[static_cast<size_t>(node)],
           newer);
    }
  }

  void AddCalls(const ExportedGraph& graph, bool newer) {
    for (const ExportedCall& call : graph.calls) {
      const int32_t caller = Node(FunctionKey(call.caller, call.callerFile));
      const int32_t callee = Node(CalleeKey(call.callee, call.callerFile));
      const auto [it, added] = edges_.try_emplace(CallKey{caller, call.callee, call.callText},
                                                  static_cast<int32_t>(diff_.edges.size()));
      if (added) {
        diff_.edges.push_back({caller, callee, call.callText, DiffState::kSame});
        edgeSeen_.push_back(0);
      }
      const auto edge = static_cast<size_t>(it->second);
      Mark(diff_.edges[edge].state, edgeSeen_[edge], newer);
      // A name that no export defines is there as long as a call names it.
      for (const int32_t node : {caller, callee}) {
        DiffNode& named = diff_.nodes[static_cast<size_t>(node)];
        if (!named.defined) Mark(named.state, nodeSeen_[static_cast<size_t>(node)], newer);
      }
    }
  }

  // `seen` records which exports have the element: 1 the older one, 2 the newer one.
  static void Mark(DiffState& state, int& seen, bool newer) {
    seen |= newer ? 2 : 1;
    state = seen == 3 ? DiffState::kSame : seen == 2 ? DiffState::kAdded : DiffState::kRemoved;
  }

  NodeKey FunctionKey(const std::string& name, const std::string& file) const {
    return repeated_.count(name) ? NodeKey{name, file, kByFile} : NodeKey{name, "", kByName};
  }
  NodeKey CalleeKey(const std::string& name, const std::string& callerFile) const {
    if (!repeated_.count(name)) return {name, "", kByName};
    NodeKey local{name, callerFile, kByFile};
    return nodes_.count(local) ? local : NodeKey{name, "", kUnresolved};
  }

  int32_t Node(const NodeKey& key) {
    const auto [it, added] = nodes_.try_emplace(key, static_cast<int32_t>(diff_.nodes.size()));
    if (added) {
      DiffNode node;
      node.name = std::get<0>(key);
      node.file = std::get<1>(key);
      diff_.nodes.push_back(std::move(node));
      nodeSeen_.push_back(0);
    }
    return it->second;
  }

  std::unordered_set<std::string_view> repeated_;  // views into the exports
  std::map<NodeKey, int32_t> nodes_;
  std::unordered_map<CallKey, int32_t, CallKeyHash> edges_;
  std::vector<int> nodeSeen_;
  std::vector<int> edgeSeen_;
  GraphDiff diff_;
};

ExportReading ParseFailure(const std::string& path, const json::exception& error) {
  // nlohmann's texts begin with "[json.exception.parse_error.101] ", which says nothing to a user.
  std::string what = error.what();
  const size_t bracket = what.find("] ");
  if (what.starts_with("[json.exception.") && bracket != std::string::npos)
    what.erase(0, bracket + 2);
  ExportReading reading;
  reading.error = path + ": " + kNotJson + what;
  return reading;
}

}  // namespace

ExportReading ParseGraphExport(std::string_view text, const std::string& path) {
  try {
    return ExportReader(path).Read(json::parse(text.begin(), text.end(), KeepWhileParsing));
  } catch (const json::exception& error) {
    return ParseFailure(path, error);
  }
}

ExportReading ReadGraphExport(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    ExportReading reading;
    reading.error = FileErrorMessage(path, FileError::CauseOf(errno));
    return reading;
  }
  ExportReading reading;
  try {
    reading = ExportReader(path).Read(json::parse(file, KeepWhileParsing));
  } catch (const json::exception& error) {
    reading = ParseFailure(path, error);
  }
  std::fclose(file);
  return reading;
}

GraphDiff DiffGraphs(const ExportedGraph& before, const ExportedGraph& after) {
  return DiffBuilder(before, after).Take();
}

}  // namespace quillmap
