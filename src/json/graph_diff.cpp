#include "json/graph_diff.h"

#include <absl/container/flat_hash_set.h>
#include <absl/hash/hash.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <istream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "files/file_error.h"
#include "files/source_file.h"
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
constexpr const char* kDocumentNotAnObject = "the document is not an object";
constexpr const char* kCannotBeRead = ": cannot be read (";

// Files are compared below the folder that holds all of an export's files, so that exports of
// two checkouts in different places match. Each file is interned again without the folder.
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
  // Each file once: the files are few, the calls that name them many.
  std::unordered_map<NameId, NameId> stripped;
  for (const ExportedFunction& function : graph.functions) stripped.emplace(function.file, 0);
  for (const ExportedCall& call : graph.calls) stripped.emplace(call.callerFile, 0);
  for (const auto& [file, unused] : stripped) narrow(graph.Text(file));
  const size_t strip = common ? common->size() : 0;
  if (strip == 0) return;
  for (auto& [file, without] : stripped) {
    without = graph.texts.Intern(std::string(graph.Text(file).substr(strip)));
  }
  for (ExportedFunction& function : graph.functions) function.file = stripped[function.file];
  for (ExportedCall& call : graph.calls) call.callerFile = stripped[call.callerFile];
}

// Reads an export as the JSON parser goes through it (nlohmann's SAX interface), keeping only
// what the difference needs, so that a whole-tree export is never held as a document. Every
// fault names where it is; the first one is kept and the rest of the text is still checked.
class ExportReader {
 public:
  explicit ExportReader(const std::string& path) : path_(path) {}

  // The SAX events.
  bool null() { return Scalar(nullptr, "null"); }
  bool boolean(bool value) { return Scalar(nullptr, value ? "true" : "false"); }
  bool number_integer(json::number_integer_t value) {
    return Number(value == kGraphJsonVersion, std::to_string(value));
  }
  bool number_unsigned(json::number_unsigned_t value) {
    return Number(value == static_cast<json::number_unsigned_t>(kGraphJsonVersion),
                  std::to_string(value));
  }
  bool number_float(json::number_float_t, const std::string& text) { return Scalar(nullptr, text); }
  bool string(std::string& value) { return Scalar(&value, ""); }
  bool binary(json::binary_t&) { return Scalar(nullptr, "binary"); }
  bool start_object(size_t) { return Open(true); }
  bool start_array(size_t) { return Open(false); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(std::string& name) {
    if (frames_.back() == Frame::kRoot) member_ = name;
    if (frames_.back() == Frame::kElement) field_ = name;
    return true;
  }
  bool parse_error(size_t, const std::string&, const json::exception& error) {
    // nlohmann's texts begin with "[json.exception.parse_error.101] ", which says nothing here.
    std::string what = error.what();
    const size_t bracket = what.find("] ");
    if (what.starts_with("[json.exception.") && bracket != std::string::npos)
      what.erase(0, bracket + 2);
    syntaxError_ = kNotJson + what;
    return false;
  }

  ExportReading Finish() {
    ExportReading reading;
    const auto fail = [&](const std::string& what) {
      reading.error = path_ + ": " + what;
      return std::move(reading);
    };
    if (!syntaxError_.empty()) return fail(syntaxError_);
    if (notObject_) return fail(Structure(kDocumentNotAnObject));
    if (!version_) return fail(Structure(kVersionKey + std::string(kMissing)));
    if (!versionRead_) {
      return fail(kOtherVersion + *version_ + kVersionWanted + std::to_string(kGraphJsonVersion));
    }
    if (!structureError_.empty()) return fail(structureError_);
    if (!seen_[0]) return fail(Structure(kFunctionsKey + std::string(kMissing)));
    if (!seen_[1]) return fail(Structure(kCallsKey + std::string(kMissing)));
    StripCommonFolder(graph_);
    reading.graph = std::move(graph_);
    return reading;
  }

 private:
  // What an open container is to the reader.
  enum class Frame { kRoot, kList, kElement, kSkipped };
  // The fields of a function or call, in the order of ExportedFunction and ExportedCall.
  static constexpr const char* kFunctionFields[] = {kNameKey, kFileKey};
  static constexpr const char* kCallFields[] = {kCallerKey, kFileKey, kCalleeKey, kCallTextKey};

  static std::string Structure(const std::string& what) { return kNotAnExport + what; }
  void Fault(const std::string& what) {
    if (structureError_.empty()) structureError_ = Structure(what);
  }
  bool InCalls() const { return list_ == kCallsKey; }
  std::span<const char* const> Fields() const {
    return InCalls() ? std::span<const char* const>(kCallFields)
                     : std::span<const char* const>(kFunctionFields);
  }
  std::string Place() const { return list_ + "[" + std::to_string(index_ - 1) + "]"; }

  bool Number(bool isVersion, const std::string& text) {
    if (frames_.size() == 1 && member_ == kVersionKey) {
      version_ = text;
      versionRead_ = isVersion;
      return true;
    }
    return Scalar(nullptr, text);
  }

  // A string (`text` set) or any other scalar; `shown` is how a version is quoted.
  bool Scalar(std::string* text, std::string_view shown) {
    if (frames_.empty()) {
      notObject_ = true;
      return true;
    }
    switch (frames_.back()) {
      case Frame::kRoot:
        if (member_ == kVersionKey) version_ = text ? json(*text).dump() : std::string(shown);
        if (member_ == kFunctionsKey || member_ == kCallsKey) {
          seen_[member_ == kCallsKey] = true;
          Fault(member_ + kNotAList);
        }
        break;
      case Frame::kList:
        ++index_;
        Fault(Place() + kNotAnObject);
        break;
      case Frame::kElement:
        Field(text, shown == "null");
        break;
      case Frame::kSkipped:
        break;
    }
    return true;
  }

  // A value of a member of a function or call: a string, null (for a file) or a container.
  void Field(std::string* text, bool isNull) {
    const std::span<const char* const> fields = Fields();
    for (size_t f = 0; f < fields.size(); ++f) {
      if (field_ != fields[f]) continue;
      have_[f] = true;
      if (text != nullptr) {
        values_[f] = std::move(*text);
      } else if (!(isNull && field_ == kFileKey)) {
        Fault(Place() + "." + field_ + kNotAString);
      }
    }
  }

  bool Open(bool object) {
    if (frames_.empty()) {
      notObject_ = !object;
      frames_.push_back(object ? Frame::kRoot : Frame::kSkipped);
      return true;
    }
    Frame frame = Frame::kSkipped;
    switch (frames_.back()) {
      case Frame::kRoot:
        if (member_ == kVersionKey) version_ = object ? "{...}" : "[...]";
        if (member_ == kFunctionsKey || member_ == kCallsKey) {
          seen_[member_ == kCallsKey] = true;
          if (object) {
            Fault(member_ + kNotAList);
          } else {
            frame = Frame::kList;
            list_ = member_;
            index_ = 0;
          }
        }
        break;
      case Frame::kList:
        ++index_;
        if (object) {
          frame = Frame::kElement;
          have_.fill(false);
          field_.clear();
        } else {
          Fault(Place() + kNotAnObject);
        }
        break;
      case Frame::kElement:
        Field(nullptr, false);
        break;
      case Frame::kSkipped:
        break;
    }
    frames_.push_back(frame);
    return true;
  }

  bool Close() {
    const Frame closed = frames_.back();
    frames_.pop_back();
    if (closed == Frame::kElement) EndElement();
    return true;
  }

  void EndElement() {
    const std::span<const char* const> fields = Fields();
    for (size_t f = 0; f < fields.size(); ++f) {
      if (have_[f]) continue;
      Fault(Place() + "." + fields[f] + kMissing);
      return;
    }
    if (!structureError_.empty()) return;  // nothing more is kept once the export is faulty
    NameTable& texts = graph_.texts;
    if (InCalls()) {
      graph_.calls.push_back({texts.Intern(values_[0]), texts.Intern(values_[1]),
                              texts.Intern(values_[2]), texts.Intern(values_[3])});
    } else {
      graph_.functions.push_back({texts.Intern(values_[0]), texts.Intern(values_[1])});
    }
    for (std::string& value : values_) value.clear();
  }

  const std::string& path_;
  std::vector<Frame> frames_;
  std::string member_;  // the last key of the document's object
  std::string field_;   // the last key of the function or call being read
  std::string list_;    // the list being read: functions or calls
  size_t index_ = 0;    // elements of it begun so far
  std::array<bool, 4> have_{};
  std::array<std::string, 4> values_;
  std::array<bool, 2> seen_{};  // functions, calls
  std::optional<std::string> version_;
  bool versionRead_ = false;
  bool notObject_ = false;  // the version is the one this program reads
  std::string syntaxError_;
  std::string structureError_;
  ExportedGraph graph_;
};

// What tells nodes apart: the name, and the file when the name alone is ambiguous. A called
// name that no definition in the caller's file resolves stays ambiguous (`kind` 2).
using NodeKey = std::tuple<std::string_view, std::string_view, int>;
constexpr int kByName = 0;
constexpr int kByFile = 1;
constexpr int kUnresolved = 2;

// Caller node, callee, call text: views into the exports' texts, which outlive the builder.
using CallKey = std::tuple<int32_t, std::string_view, std::string_view>;

size_t HashOf(const CallKey& key) {
  return absl::HashOf(std::get<0>(key), std::get<1>(key), std::get<2>(key));
}

// Builds the union of two exports. All definitions go in before the calls, so that a called
// name is resolved against every function either export defines.
class DiffBuilder {
 public:
  DiffBuilder(const ExportedGraph& before, const ExportedGraph& after) {
    // A name defined twice in either export is told apart by file in both.
    for (const ExportedGraph* graph : {&before, &after}) {
      std::unordered_map<std::string_view, int> count;
      for (const ExportedFunction& function : graph->functions) {
        const std::string_view name = graph->Text(function.name);
        if (++count[name] == 2) repeated_.insert(name);
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
      const int32_t node = Node(FunctionKey(graph.Text(function.name), graph.Text(function.file)));
      diff_.nodes[static_cast<size_t>(node)].defined = true;
      Mark(diff_.nodes[static_cast<size_t>(node)].state, nodeSeen_[static_cast<size_t>(node)],
           newer);
    }
  }

  void AddCalls(const ExportedGraph& graph, bool newer) {
    for (const ExportedCall& call : graph.calls) {
      const std::string_view callerFile = graph.Text(call.callerFile);
      const std::string_view calleeName = graph.Text(call.callee);
      const std::string_view callText = graph.Text(call.callText);
      const int32_t caller = Node(FunctionKey(graph.Text(call.caller), callerFile));
      const int32_t callee = Node(CalleeKey(calleeName, callerFile));
      const CallKey key{caller, calleeName, callText};
      auto it = edges_.find(key);
      if (it == edges_.end()) {
        diff_.edges.push_back({caller, callee, callText, DiffState::kSame});
        edgeSeen_.push_back(0);
        it = edges_.insert(static_cast<int32_t>(diff_.edges.size() - 1)).first;
      }
      const auto edge = static_cast<size_t>(*it);
      Mark(diff_.edges[edge].state, edgeSeen_[edge], newer);
      // A name that no export defines is there as long as a call names it.
      for (const int32_t node : {caller, callee}) {
        DiffNode& named = diff_.nodes[static_cast<size_t>(node)];
        if (!named.defined) Mark(named.state, nodeSeen_[static_cast<size_t>(node)], newer);
      }
    }
  }

  // `seen` records which exports have the element: 1 the older one, 2 the newer one.
  static void Mark(DiffState& state, uint8_t& seen, bool newer) {
    seen |= newer ? 2 : 1;
    state = seen == 3 ? DiffState::kSame : seen == 2 ? DiffState::kAdded : DiffState::kRemoved;
  }

  NodeKey FunctionKey(std::string_view name, std::string_view file) const {
    return repeated_.count(name) ? NodeKey{name, file, kByFile} : NodeKey{name, "", kByName};
  }
  NodeKey CalleeKey(std::string_view name, std::string_view callerFile) const {
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

  // The key of an edge of the difference: its callee's name is its callee node's.
  CallKey KeyOf(int32_t edge) const {
    const DiffEdge& e = diff_.edges[static_cast<size_t>(edge)];
    return {e.from, diff_.nodes[static_cast<size_t>(e.to)].name, e.callText};
  }
  // The edges by their keys, as edge indexes alone (4 bytes an edge, where a map of keys held
  // 70 and more): a key is looked up against the edges it would name.
  struct EdgeHash {
    using is_transparent = void;
    const DiffBuilder* builder;
    size_t operator()(int32_t edge) const { return HashOf(builder->KeyOf(edge)); }
    size_t operator()(const CallKey& key) const { return HashOf(key); }
  };
  struct EdgeEqual {
    using is_transparent = void;
    const DiffBuilder* builder;
    bool operator()(int32_t a, int32_t b) const { return a == b; }
    bool operator()(const CallKey& key, int32_t edge) const { return key == builder->KeyOf(edge); }
    bool operator()(int32_t edge, const CallKey& key) const { return key == builder->KeyOf(edge); }
  };

  std::unordered_set<std::string_view> repeated_;  // views into the exports
  std::map<NodeKey, int32_t> nodes_;
  absl::flat_hash_set<int32_t, EdgeHash, EdgeEqual> edges_{0, EdgeHash{this}, EdgeEqual{this}};
  std::vector<uint8_t> nodeSeen_;
  std::vector<uint8_t> edgeSeen_;
  GraphDiff diff_;
};

}  // namespace

ExportReading ParseGraphExport(std::string_view text, const std::string& path) {
  ExportReader reader(path);
  json::sax_parse(text.begin(), text.end(), &reader);
  return reader.Finish();
}

ExportReading ReadGraphExport(const std::string& path) {
  // Read as a source is: a FIFO without a writer or a device gives up instead of waiting.
  SourceFile file;
  if (!file.Open(path)) {
    ExportReading reading;
    reading.error = FileErrorMessage(path, FileError::CauseOf(errno));
    return reading;
  }
  SourceFileBuffer buffer(file);
  std::istream in(&buffer);
  ExportReader reader(path);
  json::sax_parse(in, &reader);
  ExportReading reading = reader.Finish();
  if (!buffer.failure().empty()) reading.error = path + kCannotBeRead + buffer.failure() + ")";
  return reading;
}

GraphDiff DiffGraphs(const ExportedGraph& before, const ExportedGraph& after) {
  return DiffBuilder(before, after).Take();
}

}  // namespace quillmap
