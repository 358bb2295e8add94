/// What the C-aware scan found in the sources of the modules: every definition and every call,
/// whether a call filter selected it or not, source by source. The module graph of that mode is
/// a view of it, so its sources are read and recognised once, together with the call graph's.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/name_table.h"
#include "model/text_store.h"

namespace quillmap {

/// A call inside a definition's body, as the recogniser found it (duplicates kept).
struct ScannedCall {
  NameId callee = 0;
  int32_t line = 0;  // 1-based
};

/// A function definition with its calls: ModuleSources::calls[firstCall, firstCall + callCount).
struct ScannedDefinition {
  NameId name = 0;
  TextRef header = 0;  // on one line, as the module log shows it
  uint32_t firstCall = 0;
  uint32_t callCount = 0;
};

/// A source: its definitions are ModuleSources::definitions[first, first + count), in text order.
struct ScannedSource {
  bool scanned = false;     // the scan reached it
  bool opened = false;      // it could be opened
  bool readFailed = false;  // reading failed part way; what was read before counts
  uint32_t firstDefinition = 0;
  uint32_t definitionCount = 0;
};

class ModuleSources {
 public:
  /// Asks for the findings of the source at `path`; false when it was asked for before.
  bool Want(const std::string& path) {
    if (!index_.try_emplace(path, sources_.size()).second) return false;
    sources_.emplace_back();
    paths_.push_back(path);
    return true;
  }
  /// The sources asked for, in the order first asked.
  const std::vector<std::string>& paths() const { return paths_; }
  /// Its record, or null when it was never asked for.
  const ScannedSource* Find(const std::string& path) const {
    const auto it = index_.find(path);
    return it == index_.end() ? nullptr : &sources_[it->second];
  }
  bool Wanted(const std::string& path) const { return index_.count(path) != 0; }

  /// The scan reached `path` (asked for): what follows until the next source is its own.
  void BeginSource(const std::string& path, bool opened, bool readFailed) {
    const auto it = index_.find(path);
    if (it == index_.end()) return;
    current_ = &sources_[it->second];
    *current_ = ScannedSource{true, opened, readFailed,
                              static_cast<uint32_t>(definitions.size()), 0};
  }
  /// Interns the names in `table` from here on, not in a table of its own: where the call graph
  /// records every call, its table and this one would hold the same names (on a large tree a
  /// million of them). Asked before anything is added.
  void ShareNames(NameTable& table) { shared_ = &table; }
  /// The table the names are interned in.
  const NameTable& names() const { return shared_ != nullptr ? *shared_ : own_; }

  /// Whether the definitions' headers are kept: only the module log shows them.
  void KeepHeaders(bool keep) { keepHeaders_ = keep; }
  bool keepsHeaders() const { return keepHeaders_; }
  void AddDefinition(std::string_view name, std::string_view header) {
    if (current_ == nullptr) return;
    definitions.push_back({Names().Intern(name), keepHeaders_ ? headers.Add(header) : TextRef{},
                           static_cast<uint32_t>(calls.size()), 0});
    ++current_->definitionCount;
  }
  void AddCall(std::string_view callee, int32_t line) {
    if (current_ == nullptr || current_->definitionCount == 0) return;
    calls.push_back({Names().Intern(callee), line});
    ++definitions.back().callCount;
  }
  void EndSource() { current_ = nullptr; }

  std::string_view HeaderOf(const ScannedDefinition& definition) const {
    return headers.Text(definition.header);
  }

  TextStore headers;
  std::deque<ScannedDefinition> definitions;
  std::deque<ScannedCall> calls;

 private:
  NameTable& Names() { return shared_ != nullptr ? *shared_ : own_; }

  NameTable own_;
  NameTable* shared_ = nullptr;
  std::unordered_map<std::string, size_t> index_;
  std::deque<ScannedSource> sources_;
  std::vector<std::string> paths_;
  ScannedSource* current_ = nullptr;
  bool keepHeaders_ = true;
};

}  // namespace quillmap
