#include "lsp/call_index.h"

#include <algorithm>
#include <utility>

#include "lsp/source_positions.h"

namespace quillmap::lsp {

namespace {
const SiteList kNoSites;
}  // namespace

void SiteList::push_back(const SiteRef& site) {
  if (!more_ && one_.file < 0) {
    one_ = site;
    return;
  }
  if (!more_) more_ = std::make_unique<std::vector<SiteRef>>(1, one_);
  more_->push_back(site);
}

void SiteList::RemoveFile(int32_t file) {
  if (!more_) {
    if (one_.file == file) one_ = {-1, 0};
    return;
  }
  more_->erase(std::remove_if(more_->begin(), more_->end(),
                              [file](const SiteRef& ref) { return ref.file == file; }),
               more_->end());
  if (more_->size() <= 1) {
    one_ = more_->empty() ? SiteRef{-1, 0} : more_->front();
    more_.reset();
  }
}

std::string_view CallKindName(CallKind kind) {
  switch (kind) {
    case CallKind::kCallDirect:
      break;
    case CallKind::kCallPointer:
      return "pointer";
  }
  return "direct";
}

std::string_view SymbolNameOf(std::string_view nodeName) {
  size_t end = nodeName.size();
  while (end > 0 && !IsIdentifierByte(nodeName[end - 1])) --end;
  size_t begin = end;
  while (begin > 0 && IsIdentifierByte(nodeName[begin - 1])) --begin;
  return begin == end ? nodeName : nodeName.substr(begin, end - begin);
}

void DrainScannedFiles(CallGraphModel&& model,
                       const std::function<void(const std::string&, const ScannedFile&)>& take,
                       const NameTable* names) {
  if (names == nullptr) names = &model.names;
  // The plain name, as CallGraphModel::PlainNameOf gives it.
  const auto plainName = [&model, names](quillmap::NameId name) {
    const std::string_view text = (*names)[name];
    return model.resolved ? text.substr(0, text.find(CallGraphModel::kFileQualifier)) : text;
  };
  // The functions stand in the order of their sources and their calls in the order of the
  // functions, so what was handed over is always at the front of both.
  // A model out of that order keeps its calls to the end.
  bool inOrder = true;
  uint32_t end = 0;
  for (const FunctionRecord& function : model.functions) {
    if (function.callCount == 0) continue;
    if (function.firstCall < end) inOrder = false;
    end = function.firstCall + function.callCount;
  }
  // The details stand in the order of their records as a scan writes them: what was read is
  // let go as the records are. A model whose details are in another order keeps them.
  const auto detailsInOrder = [](const auto& records, const auto& detailsOf) {
    TextRef last = 0;
    for (const auto& record : records) {
      const TextRef ref = detailsOf(record);
      if (ref == 0) continue;  // the empty entry, readable to the end
      if (ref < last) return false;
      last = ref;
    }
    return true;
  };
  const bool functionDetailsInOrder = detailsInOrder(
      model.functions, [](const FunctionRecord& function) { return function.details; });
  const bool callDetailsInOrder =
      inOrder && detailsInOrder(model.calls, [](const CallRecord& call) { return call.details(); });
  uint32_t dropped = 0;  // calls let go from the front of model.calls
  ScannedFile file;
  for (size_t s = 0; s < model.sources.size(); ++s) {
    file.functions.clear();
    file.calls.clear();
    while (!model.functions.empty() && model.functions.front().file <= static_cast<int32_t>(s)) {
      const FunctionRecord function = model.functions.front();
      model.functions.pop_front();
      if (function.file != static_cast<int32_t>(s)) continue;
      const FunctionDetails details = model.DetailsOf(function);
      const auto index = static_cast<int32_t>(file.functions.size());
      // A resolved model names a static namesake with its file ("helper@lib.c"): the editor
      // knows it by its C name.
      file.functions.push_back(
          {std::string(SymbolNameOf(plainName(function.name))), details.line, details.braceLine});
      for (const uint32_t c : model.CallsOf(function)) {
        const CallRecord& call = model.calls[c - dropped];
        const CallDetails calledAs = model.DetailsOf(call);
        ScannedCall scanned{std::string(SymbolNameOf(plainName(call.callee))),
                            index,
                            calledAs.line,
                            CallKind::kCallDirect,
                            {}};
        if (model.resolved && calledAs.kind == quillmap::CallKind::kPointer) {
          // A dispatch that no registration reaches names no function.
          if (calledAs.calleeIndex < 0) continue;
          scanned.kind = CallKind::kCallPointer;
          scanned.via = (*names)[calledAs.via];
        }
        file.calls.push_back(std::move(scanned));
      }
      const uint32_t last = function.firstCall + function.callCount;
      while (inOrder && dropped < last && !model.calls.empty()) {
        model.calls.pop_front();
        ++dropped;
      }
    }
    if (functionDetailsInOrder && !model.functions.empty()) {
      model.functionDetails.ReleaseBefore(model.functions.front().details);
    }
    if (callDetailsInOrder && !model.calls.empty()) {
      model.callDetails.ReleaseBefore(model.calls.front().details());
    }
    if (model.sources[s].opened) take(model.sources[s].path, file);
  }
  model = CallGraphModel();
}

CallIndex::CallIndex(NameTable names) : names_(std::move(names)) {
  // The lists by name take room for the names known, and some more for those that edits add:
  // grown one name at a time, up to half of them would stand empty.
  const size_t room = names_.size() + names_.size() / 16;
  definitions_.reserve(room);
  callers_.reserve(room);
  wasDefined_.reserve(room);
}

NameId CallIndex::Intern(std::string_view name) {
  const auto id = static_cast<NameId>(names_.Intern(name));
  while (definitions_.size() <= static_cast<size_t>(id)) {
    definitions_.emplace_back();
    callers_.emplace_back();
    wasDefined_.push_back(0);
  }
  return id;
}

int32_t CallIndex::FileOf(const std::string& path) {
  const auto it = fileIds_.find(path);
  if (it != fileIds_.end()) return it->second;
  files_.push_back({path, {}, {}});
  const auto id = static_cast<int32_t>(files_.size() - 1);
  fileIds_.emplace(path, id);
  return id;
}

NameId CallIndex::FindName(std::string_view name) const {
  quillmap::NameId id = 0;
  return names_.Find(name, id) ? static_cast<NameId>(id) : kNoName;
}

int32_t CallIndex::CallerOf(SiteRef call) const {
  // The functions' first calls rise with them: the caller is the last function that starts
  // at or before the call.
  const std::vector<IndexedFunction>& functions = files_[static_cast<size_t>(call.file)].functions;
  const auto after = std::upper_bound(
      functions.begin(), functions.end(), static_cast<uint32_t>(call.index),
      [](uint32_t index, const IndexedFunction& function) { return index < function.firstCall; });
  return static_cast<int32_t>(after - functions.begin()) - 1;
}

int32_t CallIndex::FindFile(std::string_view path) const {
  const auto it = fileIds_.find(std::string(path));
  return it == fileIds_.end() ? -1 : it->second;
}

uint32_t CallIndex::PartEnd(SiteRef function) const {
  const std::vector<IndexedFunction>& functions = files_[static_cast<size_t>(function.file)].functions;
  const uint32_t start = functions[static_cast<size_t>(function.index)].offset;
  uint32_t end = kNoOffset;
  for (size_t k = static_cast<size_t>(function.index) + 1; k < functions.size(); ++k) {
    if (functions[k].offset > start) {
      end = functions[k].offset;
      break;
    }
  }
  return end;
}

void CallIndex::ReplaceFile(const std::string& path, const ScannedFile& scanned,
                            std::string_view text) {
  const int32_t file = FileOf(path);
  FileEntry& entry = files_[static_cast<size_t>(file)];
  // Each name's list is cleaned once, however often the file names it.
  std::vector<NameId> touched;
  for (const IndexedFunction& function : entry.functions) touched.push_back(function.name);
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  for (const NameId name : touched) definitions_[static_cast<size_t>(name)].RemoveFile(file);
  touched.clear();
  for (const IndexedCall& call : entry.calls) touched.push_back(call.callee);
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  for (const NameId name : touched) callers_[static_cast<size_t>(name)].RemoveFile(file);
  functionCount_ -= entry.functions.size();
  callCount_ -= entry.calls.size();

  entry.functions.clear();
  entry.calls.clear();
  entry.functions.reserve(scanned.functions.size());
  entry.calls.reserve(scanned.calls.size());
  for (const ScannedFunction& function : scanned.functions) {
    IndexedFunction indexed;
    indexed.name = Intern(function.name);
    indexed.line = function.line;
    indexed.braceLine = function.braceLine;
    indexed.lastLine = std::max(function.line, function.braceLine + 1);
    const auto index = static_cast<int32_t>(entry.functions.size());
    definitions_[static_cast<size_t>(indexed.name)].push_back({file, index});
    if (!wasDefined_[static_cast<size_t>(indexed.name)]) {
      wasDefined_[static_cast<size_t>(indexed.name)] = 1;
      everDefined_.push_back(indexed.name);
    }
    entry.functions.push_back(indexed);
  }
  if (!text.empty()) {
    // The functions come in the order of their lines: one walk over the text finds them all.
    std::vector<int> lines;
    for (const IndexedFunction& function : entry.functions) lines.push_back(function.line - 1);
    if (std::is_sorted(lines.begin(), lines.end()) && text.size() < kNoOffset) {
      const std::vector<size_t> starts = LineStarts(text, lines);
      for (size_t k = 0; k < starts.size(); ++k) {
        if (starts[k] < text.size()) entry.functions[k].offset = static_cast<uint32_t>(starts[k]);
      }
    }
  }
  // The calls are kept in the order of their functions (CallerOf relies on it).
  std::vector<uint32_t> order(scanned.calls.size());
  for (uint32_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&scanned](uint32_t a, uint32_t b) {
    return scanned.calls[a].function < scanned.calls[b].function;
  });
  size_t nextFunction = 0;
  for (const uint32_t k : order) {
    const ScannedCall& call = scanned.calls[k];
    if (call.function < 0 || static_cast<size_t>(call.function) >= entry.functions.size()) continue;
    const auto at = static_cast<uint32_t>(entry.calls.size());
    // A function without calls starts where the next call stands.
    for (; nextFunction <= static_cast<size_t>(call.function); ++nextFunction) {
      entry.functions[nextFunction].firstCall = at;
    }
    IndexedCall indexed;
    indexed.callee = Intern(call.callee);
    indexed.line = call.line;
    if (call.kind == CallKind::kCallPointer) indexed.via = Intern(call.via);
    IndexedFunction& caller = entry.functions[static_cast<size_t>(call.function)];
    ++caller.callCount;
    caller.lastLine = std::max(caller.lastLine, call.line);
    callers_[static_cast<size_t>(indexed.callee)].push_back({file, static_cast<int32_t>(at)});
    entry.calls.push_back(indexed);
  }
  for (; nextFunction < entry.functions.size(); ++nextFunction) {
    entry.functions[nextFunction].firstCall = static_cast<uint32_t>(entry.calls.size());
  }
  functionCount_ += entry.functions.size();
  callCount_ += entry.calls.size();
}

const SiteList& CallIndex::DefinitionsOf(NameId name) const {
  if (name < 0 || static_cast<size_t>(name) >= definitions_.size()) return kNoSites;
  return definitions_[static_cast<size_t>(name)];
}

const SiteList& CallIndex::CallsTo(NameId name) const {
  if (name < 0 || static_cast<size_t>(name) >= callers_.size()) return kNoSites;
  return callers_[static_cast<size_t>(name)];
}

}  // namespace quillmap::lsp
