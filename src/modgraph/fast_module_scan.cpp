#include "modgraph/fast_module_scan.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <type_traits>
#include <unordered_set>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

#include "files/source_text.h"
#include "text/multi_pattern_matcher.h"

namespace quillmap {

namespace {

// Calls `visit` with each line of a source as both passes see it: each piece up to its first
// NUL byte (so a piece that begins with one is an empty line), and, when `visit` takes it, the
// 1-based number of the line the piece belongs to (a long line's pieces share it).
template <typename Visit>
void ForEachLine(std::string_view text, bool hasNul, Visit&& visit) {
  int32_t lineNumber = 0;
  bool pieceEndedLine = true;
  ForEachPiece(text, [&](size_t start, size_t end) {
    std::string_view line = text.substr(start, end - start);
    if (pieceEndedLine) ++lineNumber;
    pieceEndedLine = text[end - 1] == '\n';
    if (hasNul) {
      const void* nul = std::memchr(line.data(), '\0', line.size());
      if (nul != nullptr) line = line.substr(0, static_cast<const char*>(nul) - line.data());
    }
    if constexpr (std::is_invocable_v<Visit, std::string_view, int32_t>) {
      visit(line, lineNumber);
    } else {
      visit(line);
    }
  });
}

// One id per distinct text among function names and callers, so that the lists without
// duplicates can be kept by number. The sets of this scan are flat (open addressing, keys in
// one array): on large trees the node-based standard ones spent a third of the scan in cache
// misses, allocating and freeing.
class Names {
 public:
  void Reserve(size_t count) { ids_.reserve(count); }
  int32_t Intern(const std::string& text) {
    const auto found = ids_.find(std::string_view(text));
    if (found != ids_.end()) return found->second;
    const auto id = static_cast<int32_t>(texts_.size());
    ids_.emplace(texts_.emplace_back(text), id);  // a deque keeps the texts in place
    return id;
  }
  const std::string& Text(int32_t id) const { return texts_[static_cast<size_t>(id)]; }
  size_t size() const { return texts_.size(); }

 private:
  struct Hash {
    size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  absl::flat_hash_map<std::string_view, int32_t, Hash> ids_;
  std::deque<std::string> texts_;
};

// A call found in a body line of the scanning module, kept for one target module.
struct FoundCall {
  uint32_t linesBefore;  // the module's own log lines (ModuleEvents::text) before the call
  int32_t caller;        // index into ModuleEvents::callers
  int32_t position;      // of the called function in the target's definedFunctions
  int32_t file;          // index into the scanning module's files
  int32_t line;          // 1-based, where the call stands
};

// What pass 2 finds in one module's files, whatever the target module: the module log lines
// of its files, body starts and "}" lines (in their on-disk form), and per target module the
// calls into it, each placed among those lines.
struct ModuleEvents {
  std::string text;
  std::vector<size_t> lineStarts;             // of each line in `text`, and its end
  std::vector<int32_t> callers;               // name ids
  std::vector<std::vector<FoundCall>> calls;  // by target module index
};

// The module log lines of pass 2, gathered in their on-disk form into large blocks, each
// written at once (LineWriter::WriteOnDiskLines). No module log line holds a line feed: names
// and paths come from single lines. Only module log lines are written during pass 2, so a
// block never overtakes a line of another output.
class LogBlock {
 public:
  LogBlock(ScanContext& context, const ModuleTable& table) : context_(context), table_(table) {}
  ~LogBlock() { Flush(); }

  /// Appends lines in their on-disk form.
  void AddLines(std::string_view lines) {
    if (table_.moduleLogPath.empty()) return;
    text_.append(lines);
    if (text_.size() >= kBlockSize) Flush();
  }
  void AddLine(std::string_view line) {
    if (table_.moduleLogPath.empty()) return;
    AppendOnDiskLine(text_, line);
    if (text_.size() >= kBlockSize) Flush();
  }
  void Flush() {
    if (text_.empty()) return;
    context_.writer().WriteOnDiskLines(table_.moduleLogPath, text_);
    text_.clear();
  }

 private:
  static constexpr size_t kBlockSize = 1 << 20;
  ScanContext& context_;
  const ModuleTable& table_;
  std::string text_;
};

struct EdgeKey {
  int32_t from, caller, into, callee;
  bool operator==(const EdgeKey&) const = default;
};
struct EdgeKeyHash {
  size_t operator()(const EdgeKey& key) const {
    uint64_t h = static_cast<uint32_t>(key.from) * 0x9E3779B97F4A7C15ull;
    h = (h ^ static_cast<uint32_t>(key.caller)) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ static_cast<uint32_t>(key.into)) * 0x94D049BB133111EBull;
    h = (h ^ static_cast<uint32_t>(key.callee)) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

// The edge lines of the table, found by their text without a copy of it: the set holds indexes
// into the lines.
class EdgeLineIndex {
 public:
  explicit EdgeLineIndex(const StringList& lines)
      : lines_(lines), indexes_(lines.size(), Hash{&lines}, Equal{&lines}) {
    for (size_t i = 0; i < lines.size(); ++i) indexes_.insert(i);
  }
  bool Contains(std::string_view line) const { return indexes_.find(line) != indexes_.end(); }
  /// The table's last line was added.
  void Added() { indexes_.insert(lines_.size() - 1); }

 private:
  struct Hash {
    using is_transparent = void;
    const StringList* lines;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    size_t operator()(size_t index) const { return (*this)(std::string_view((*lines)[index])); }
  };
  struct Equal {
    using is_transparent = void;
    const StringList* lines;
    std::string_view Text(std::string_view text) const { return text; }
    std::string_view Text(size_t index) const { return (*lines)[index]; }
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
      return Text(a) == Text(b);
    }
  };
  const StringList& lines_;
  absl::flat_hash_set<size_t, Hash, Equal> indexes_;
};

}  // namespace

const FastModuleScan::Source& FastModuleScan::Load(const std::string& path) {
  auto [it, inserted] = sources_.try_emplace(path);
  if (inserted) {
    it->second = std::make_unique<Source>(arena_);
    Source& source = *it->second;
    if (source.contents.Load(path)) {
      source.opened = true;
      const std::string_view text = source.text();
      source.hasNul = std::memchr(text.data(), '\0', text.size()) != nullptr;
    }
    ++filesRead_;
  }
  return *it->second;
}

int FastModuleScan::CollectAllModuleFunctions(ScanContext& context, ModuleTable& table) {
  sources_.clear();
  arena_.Clear();
  filesRead_ = 0;
  std::unordered_set<std::string> unopenable;
  std::unordered_set<std::string> unreadable;
  FunctionHeader header;
  int count = 0;
  ModuleProgress progress(context, table, 0);
  for (int k = 0; k < table.moduleCount; ++k) {
    ModuleRecord& record = table.modules[k];
    record.definedFunctions.clear();
    record.linkedFunctions.clear();
    if (context.stopped() || !record.valid) continue;
    AppendModuleLog(context, table, record.moduleName);
    for (const std::string& file : record.files) {
      if (progress.NextFiles()) break;
      AppendModuleLog(context, table, file);
      const Source& source = Load(file);
      if (!source.opened) {
        if (unopenable.insert(file).second) {
          context.LogError(ErrorOpeningText(file));
        }
        continue;
      }
      // Every non-empty line becomes the previous line (see CollectModuleFunctions).
      std::string_view previous;
      ForEachLine(source.text(), source.hasNul, [&](std::string_view line) {
        if (line.empty()) return;
        if (line[0] == '{' && ParseFunctionHeader(previous, header)) {
          AppendModuleLog(context, table, kSignatureLine + header.signature);
          record.definedFunctions.push_back(header.name);
        }
        previous = line;
      });
      if (source.contents.failed()) ReportModuleReadFailure(context, table, file, unreadable);
    }
    ++count;
  }
  return count;
}

void FastModuleScan::ScanAllModuleCalls(ScanContext& context, ModuleTable& table) {
  std::vector<int> valid;
  for (int k = 0; k < table.moduleCount; ++k) {
    if (table.modules[k].valid) valid.push_back(k);
  }
  LogBlock log(context, table);

  // Every function name of every module once, with the places where it stands in the
  // modules' definedFunctions (in module and list order, duplicates included).
  Names names;
  std::vector<std::string> patterns;
  std::vector<std::vector<std::pair<int32_t, int32_t>>> places;  // by name id
  std::vector<std::vector<int32_t>> nameIds(table.moduleCount);  // by module, by position
  std::vector<std::vector<std::string>> callLines(table.moduleCount);
  // Sized once for all names: growing the tables step by step re-hashes every name again.
  size_t definitions = 0;
  for (int m : valid) definitions += table.modules[m].definedFunctions.size();
  names.Reserve(definitions);
  for (int m : valid) {
    const ModuleRecord& record = table.modules[m];
    for (size_t position = 0; position < record.definedFunctions.size(); ++position) {
      const std::string name(record.definedFunctions[position]);
      const int32_t id = names.Intern(name);
      if (static_cast<size_t>(id) == patterns.size()) {
        patterns.push_back(name);
        places.emplace_back();
      }
      places[static_cast<size_t>(id)].emplace_back(m, static_cast<int32_t>(position));
      nameIds[m].push_back(id);
      callLines[m].push_back(OnDiskLine(kCallLine + record.moduleName + ":" + name));
    }
  }
  const MultiPatternMatcher matcher(patterns);

  // The lists without duplicates, kept by number beside the lists themselves.
  absl::flat_hash_set<EdgeKey, EdgeKeyHash> edgeKeys;
  StringList edgeLines = EdgeLines(table);
  EdgeLineIndex edgeTexts(edgeLines);
  std::vector<absl::flat_hash_set<int32_t>> linked(table.moduleCount);
  for (int m : valid) {
    for (const std::string& name : table.modules[m].linkedFunctions) {
      linked[m].insert(names.Intern(name));
    }
  }

  std::vector<uint32_t> seenInLine(patterns.size(), 0);
  uint32_t lineStamp = 0;
  std::vector<int32_t> foundNames;
  std::vector<std::pair<int32_t, int32_t>> foundPlaces;
  FunctionHeader header;
  ModuleEvents events;

  ModuleProgress progress(context, table, 1);
  for (int k : valid) {
    ModuleRecord& from = table.modules[k];

    // The module's events, once for all target modules.
    events.text.clear();
    events.lineStarts.assign(1, 0);
    events.callers.clear();
    events.calls.assign(table.moduleCount, {});
    const auto addLine = [&](std::string_view first, std::string_view second = {},
                             std::string_view third = {}) {
      events.text.append(first).append(second).append(third) += "\r\n";
      events.lineStarts.push_back(events.text.size());
    };
    // As in ScanCallsInto: the previous line and the caller carry over from file to file.
    std::string_view previous;
    for (size_t fileIndex = 0; fileIndex < from.files.size(); ++fileIndex) {
      if (progress.NextFiles()) break;
      const std::string& file = from.files[fileIndex];
      addLine(kFileLine, file);
      const Source& source = Load(file);
      if (!source.opened) continue;
      bool inBody = false;
      ForEachLine(source.text(), source.hasNul, [&](std::string_view line, int32_t lineNumber) {
        if (line.empty()) return;
        switch (line[0]) {
          case '#':
          case '/':
          case '\r':
          case '\n':
            return;
          case '{':
            if (ParseFunctionHeader(previous, header)) {
              events.callers.push_back(names.Intern(header.name));
              inBody = true;
              addLine(kBodyStartLine + from.moduleName + ":", header.name);
            }
            return;
          case '}':
            addLine(kBodyEndLine);
            inBody = false;
            return;
          default:
            break;
        }
        previous = line;
        if (!inBody) return;
        // Which names of other modules occur in the line, at their places in list order.
        ++lineStamp;
        foundNames.clear();
        matcher.Scan(line, [&](int32_t id, size_t) {
          if (seenInLine[static_cast<size_t>(id)] != lineStamp) {
            seenInLine[static_cast<size_t>(id)] = lineStamp;
            foundNames.push_back(id);
          }
          return true;
        });
        if (foundNames.empty()) return;
        foundPlaces.clear();
        for (int32_t id : foundNames) {
          // The places are in module order: those in the scanning module itself are skipped
          // as one span, however often it defines the name.
          const auto& all = places[static_cast<size_t>(id)];
          const auto own =
              std::equal_range(all.begin(), all.end(), std::make_pair(k, int32_t{0}),
                               [](const auto& a, const auto& b) { return a.first < b.first; });
          foundPlaces.insert(foundPlaces.end(), all.begin(), own.first);
          foundPlaces.insert(foundPlaces.end(), own.second, all.end());
        }
        if (foundPlaces.empty()) return;
        std::sort(foundPlaces.begin(), foundPlaces.end());
        const int32_t caller = static_cast<int32_t>(events.callers.size()) - 1;
        const uint32_t linesBefore = static_cast<uint32_t>(events.lineStarts.size() - 1);
        for (const auto& [module, position] : foundPlaces) {
          events.calls[static_cast<size_t>(module)].push_back(
              {linesBefore, caller, position, static_cast<int32_t>(fileIndex), lineNumber});
        }
      });
    }
    if (context.stopped()) break;

    // Replayed for each target module in order, as ScanCallsFromModule runs the pairs: the
    // module's own lines in spans, the calls into the target between them.
    log.AddLine(kModuleLogSeparator);
    log.AddLine(kScanningCallsFrom + from.moduleName);
    std::string activity = kScanningCallsFrom + from.moduleName + kActivityTargets;
    const char* separator = kFirstTargetSeparator;
    const std::string_view text = events.text;
    for (int j : valid) {
      if (j == k) continue;
      ModuleRecord& into = table.modules[j];
      log.AddLine(kTargetLine + into.moduleName);
      size_t written = 0;  // of the module's own lines
      for (const FoundCall& call : events.calls[static_cast<size_t>(j)]) {
        const size_t spanStart = events.lineStarts[written];
        log.AddLines(text.substr(spanStart, events.lineStarts[call.linesBefore] - spanStart));
        written = call.linesBefore;
        const int32_t callerId = events.callers[static_cast<size_t>(call.caller)];
        const int32_t calleeId = nameIds[j][static_cast<size_t>(call.position)];
        const std::string& caller = names.Text(callerId);
        const std::string_view callee = into.definedFunctions[static_cast<size_t>(call.position)];
        if (edgeKeys.insert({k, callerId, j, calleeId}).second) {
          std::string edge = EdgeLine(from, caller, into, callee);
          if (!edgeTexts.Contains(edge)) {
            edgeLines.push_back(std::move(edge));
            edgeTexts.Added();
            table.calls.Add(
                {k, j, caller, callee, from.files[static_cast<size_t>(call.file)], call.line});
          }
        }
        if (linked[j].insert(calleeId).second) into.linkedFunctions.emplace_back(callee);
        if (linked[k].insert(callerId).second) from.linkedFunctions.push_back(caller);
        log.AddLines(callLines[j][static_cast<size_t>(call.position)]);
      }
      log.AddLines(text.substr(events.lineStarts[written]));
      activity += separator + into.moduleName;
      separator = kNextTargetSeparator;
    }
    context.Log(activity);
  }
  log.Flush();
  sources_.clear();
  arena_.Clear();
}

}  // namespace quillmap
