#include "resolve/call_resolver.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

namespace quillmap {

namespace {

// How far a pointer is followed from slot to slot (a parameter passed on, a member copied into a
// variable) before the search stops: deep enough for callbacks handed through a few layers,
// shallow enough that one dispatch never walks the whole program.
constexpr int kMaxHops = 4;
constexpr int kMaxTypedefSteps = 8;

constexpr char kMember = 'M';
constexpr char kLocal = 'L';
constexpr char kParameter = 'P';
constexpr char kGlobal = 'G';
constexpr char kName = 'N';

// The file-qualified node names use paths below the folder all sources share.
size_t CommonFolderLength(const std::vector<SourceRecord>& sources) {
  if (sources.empty()) return 0;
  std::string_view common = sources[0].path;
  common = common.substr(0, common.rfind('/') + 1);
  for (const SourceRecord& source : sources) {
    size_t n = 0;
    while (n < common.size() && n < source.path.size() && common[n] == source.path[n]) ++n;
    common = common.substr(0, n);
    common = common.substr(0, common.rfind('/') + 1);
  }
  return common.size();
}

}  // namespace

std::string ResolveSummary(const ResolveCounts& counts) {
  // The count of macro calls is named only where there are any: a source without macros keeps
  // the summary it always had.
  const std::string macros =
      counts.macroCalls == 0 ? "" : std::to_string(counts.macroCalls) + " through macros, ";
  return std::to_string(counts.direct) + " direct, " + macros + std::to_string(counts.pointerEdges) +
         " pointer edges from " + std::to_string(counts.dispatches) + " dispatches (" +
         std::to_string(counts.unbound) + " without a target), " +
         std::to_string(counts.unresolved) + " unresolved, " + std::to_string(counts.ambiguous) +
         " ambiguous";
}

CallResolver::CallResolver() = default;
CallResolver::~CallResolver() = default;

namespace {

void AppendNumber(std::string& text, int64_t number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  text.append(digits, end);
}

}  // namespace

uint32_t CallResolver::SlotId(const CSlot& slot, int32_t firstFunction) {
  // Built in one buffer: most slots are known already and cost no allocation.
  std::string& text = slotText_;
  text.clear();
  switch (slot.kind) {
    case CSlot::Kind::kMember:
      (text += kMember) += slot.type;
      for (const std::string& member : slot.members) (text += '|') += member;
      break;
    case CSlot::Kind::kLocal:
      text += kLocal;
      AppendNumber(text, int64_t{firstFunction} + slot.index);
      (text += '|') += slot.name;
      break;
    case CSlot::Kind::kParameter:
      ((text += kParameter) += slot.name) += '|';
      AppendNumber(text, slot.index);
      break;
    case CSlot::Kind::kGlobal:
      (text += kGlobal) += slot.name;
      break;
    case CSlot::Kind::kName:
    case CSlot::Kind::kNone:
      (text += kName) += slot.name;
      break;
  }
  return texts_.Intern(text);
}

void CallResolver::AddDefinitions(const CFileFacts& facts,
                                  const std::vector<int32_t>& modelFunctions) {
  for (size_t r = 0; r < facts.functions.size() && r < modelFunctions.size(); ++r) {
    const int32_t f = modelFunctions[r];
    if (f < 0) continue;
    if (functionStatic_.size() <= static_cast<size_t>(f)) {
      functionStatic_.resize(static_cast<size_t>(f) + 1, 0);
      functionParameters_.resize(static_cast<size_t>(f) + 1, -1);
    }
    functionStatic_[static_cast<size_t>(f)] = facts.functions[r].isStatic;
    functionParameters_[static_cast<size_t>(f)] =
        static_cast<int16_t>(std::clamp(facts.functions[r].parameters, -1, 1000));
  }
}

void CallResolver::AddFile(int32_t source, const CFileFacts& facts) {
  for (const CStruct& def : facts.structs) {
    std::vector<StructDef>& defs = structs_[def.name];
    // The same definition from another file (a header read twice) is kept once.
    const bool known = std::any_of(defs.begin(), defs.end(), [&](const StructDef& d) {
      return d.members.size() == def.members.size() &&
             std::equal(d.members.begin(), d.members.end(), def.members.begin(),
                        [](const CMember& x, const CMember& y) { return x.name == y.name; });
    });
    if (!known) defs.push_back({source, def.members});
  }
  for (const auto& [alias, type] : facts.typedefs) typedefs_.try_emplace(alias, type);
  absl::flat_hash_set<uint64_t>& seen = fileFlows_;
  seen.clear();
  for (const CFlow& flow : facts.flows) {
    CSlot to = flow.to;
    // Assigning to a name this file does not declare: a variable of another file.
    if (to.kind == CSlot::Kind::kName) to.kind = CSlot::Kind::kGlobal;
    const uint32_t toId = SlotId(to, localBase_);
    const uint32_t fromId = SlotId(flow.from, localBase_);
    // A table that registers one function a million times holds one flow.
    if (!seen.insert((uint64_t{toId} << 32) | fromId).second) continue;
    flows_.push_back({toId, fromId, source});
  }
  // Only the dispatch sites that become calls are kept (see MarkDispatch).
  fileDispatches_ = &facts.dispatches;
  fileSource_ = source;
  fileLocalBase_ = localBase_;
  localBase_ += static_cast<int32_t>(facts.functions.size());
}

void CallResolver::Mark(std::vector<std::pair<uint32_t, int32_t>>& marks, uint32_t call,
                        int32_t value) {
  if (!marks.empty() && marks.back().first == call) {
    marks.back().second = value;
  } else {
    marks.emplace_back(call, value);
  }
}

void CallResolver::MarkDispatch(uint32_t call, size_t dispatch) {
  if (fileDispatches_ == nullptr || dispatch >= fileDispatches_->size()) return;
  const CDispatch& site = (*fileDispatches_)[dispatch];
  const auto it = viaIds_.try_emplace(site.via, static_cast<uint32_t>(vias_.size())).first;
  if (it->second == vias_.size()) vias_.push_back(site.via);
  Mark(callDispatch_, call, static_cast<int32_t>(dispatches_.size()));
  const uint32_t passedBegin = static_cast<uint32_t>(passed_.size());
  for (const auto& [position, slot] : site.passed) {
    passed_.emplace_back(position, SlotId(slot, fileLocalBase_));
  }
  dispatches_.push_back({SlotId(site.slot, fileLocalBase_), it->second, fileSource_,
                         site.arguments, passedBegin, static_cast<uint32_t>(passed_.size())});
}

void CallResolver::MarkMacro(uint32_t call, std::string_view macro) {
  auto it = viaIds_.find(absl::string_view(macro.data(), macro.size()));
  if (it == viaIds_.end()) {
    it = viaIds_.emplace(std::string(macro), static_cast<uint32_t>(vias_.size())).first;
    vias_.emplace_back(macro);
  }
  Mark(callMacro_, call, static_cast<int32_t>(it->second));
}

std::string CallResolver::Canonical(std::string type) const {
  for (int step = 0; step < kMaxTypedefSteps; ++step) {
    const auto it = typedefs_.find(type);
    if (it == typedefs_.end() || it->second == type) break;
    type = it->second;
  }
  return type;
}

const CMember* CallResolver::Member(const std::string& type, std::string_view member,
                                    int32_t file) const {
  const auto it = structs_.find(type);
  if (it == structs_.end()) return nullptr;
  const CMember* found = nullptr;
  for (const StructDef& def : it->second) {
    for (const CMember& m : def.members) {
      if (m.name != member) continue;
      if (def.file == file) return &m;  // the file's own definition first
      if (found == nullptr) found = &m;
    }
  }
  return found;
}

// The key of a slot once every struct is known: a member path walked through the member types
// to "M<type>|<member>" ("M|<member>" where the type is not known); "" where a position names
// no member.
std::string CallResolver::KeyOf(std::string_view slot, int32_t file) const {
  if (slot.empty() || slot[0] != kMember) return std::string(slot);
  std::vector<std::string_view> parts;
  size_t start = 1;
  while (true) {
    const size_t bar = slot.find('|', start);
    parts.push_back(slot.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  std::string type = Canonical(std::string(parts[0]));
  std::string parent = type;
  std::string name;
  bool array = false;
  for (size_t i = 1; i < parts.size(); ++i) {
    std::string_view step = parts[i];
    if (step.starts_with('#')) {
      if (array) {
        array = false;  // an element of the array member just named
        continue;
      }
      const auto defs = structs_.find(type);
      if (defs == structs_.end()) return {};
      const size_t position = static_cast<size_t>(std::atoi(std::string(step.substr(1)).c_str()));
      // The file's own definition, else one that every definition agrees on.
      std::string_view member;
      bool agreed = true;
      for (const StructDef& def : defs->second) {
        const std::string_view here =
            position < def.members.size() ? std::string_view(def.members[position].name) : "";
        if (def.file == file) {
          member = here;
          agreed = true;
          break;
        }
        if (member.empty()) {
          member = here;
        } else if (member != here) {
          agreed = false;
        }
      }
      if (member.empty() || !agreed) return {};
      step = member;
    }
    parent = type;
    name = step;
    const CMember* m = type.empty() ? nullptr : Member(type, step, file);
    type = m == nullptr ? std::string() : Canonical(m->type);
    array = m != nullptr && m->array;
  }
  if (name.empty()) return {};
  return kMember + parent + '|' + name;
}

ResolveCounts CallResolver::Resolve(CallGraphModel& model,
                                    const std::function<bool()>& stopped) {
  const auto stopNow = [&] { return stopped && stopped(); };
  ResolveCounts counts;
  const size_t functionCount = model.functions.size();
  functionStatic_.resize(functionCount, 0);
  functionParameters_.resize(functionCount, -1);
  // The marks come in call order; the last mark of a call holds.
  for (std::vector<std::pair<uint32_t, int32_t>>* marks : {&callDispatch_, &callMacro_}) {
    if (std::is_sorted(marks->begin(), marks->end(),
                       [](const auto& x, const auto& y) { return x.first < y.first; }))
      continue;
    std::stable_sort(marks->begin(), marks->end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<std::pair<uint32_t, int32_t>> last;
    for (const auto& mark : *marks) {
      if (!last.empty() && last.back().first == mark.first) {
        last.back() = mark;
      } else {
        last.push_back(mark);
      }
    }
    marks->swap(last);
  }

  // The definitions of each plain name, chained from the first, by the name's id.
  const size_t nameCount = model.names.size();
  std::vector<int32_t> firstDef(nameCount, -1);
  std::vector<int32_t> nextDef(functionCount, -1);
  for (size_t f = functionCount; f-- > 0;) {
    FunctionRecord& function = model.functions[f];
    function.isStatic = functionStatic_[f] != 0;
    nextDef[f] = firstDef[function.name];
    firstDef[function.name] = static_cast<int32_t>(f);
  }
  // The first definition of a name given as text, -1 where no function has it.
  const auto firstDefOf = [&](std::string_view name) {
    NameId id = 0;
    return model.names.Find(name, id) && id < nameCount ? firstDef[id] : -1;
  };
  // Binds a name (its first definition) as called from `file`: that file's own definition, else
  // the one external one.
  enum class Bound { kFound, kNone, kAmbiguous };
  const auto bind = [&](int32_t first, int32_t file, int32_t& target) {
    target = -1;
    if (first < 0) return Bound::kNone;
    int32_t external = -1;
    bool several = false;
    for (int32_t f = first; f >= 0; f = nextDef[static_cast<size_t>(f)]) {
      const FunctionRecord& function = model.functions[static_cast<size_t>(f)];
      if (function.file == file) {
        target = f;
        return Bound::kFound;
      }
      if (function.isStatic) continue;
      if (external >= 0 && model.functions[static_cast<size_t>(external)].file != function.file) {
        several = true;
      }
      if (external < 0) external = f;
    }
    if (several) return Bound::kAmbiguous;
    target = external;
    return external >= 0 ? Bound::kFound : Bound::kNone;
  };

  // Node names of their own for static functions with namesakes in other files, and for the
  // twins that the branches of a conditional define in one file ("#ifdef FAST ... #else ..."):
  // the first keeps the name, each later one adds its line. Calls bind to the first, the branch
  // read as compiled.
  const size_t folder = CommonFolderLength(model.sources);
  std::vector<NameId> nodeName(functionCount);
  for (size_t f = 0; f < functionCount; ++f) {
    FunctionRecord& function = model.functions[f];
    nodeName[f] = function.name;
    if (function.file < 0) continue;
    bool namesake = false;
    bool twin = false;
    for (int32_t g = firstDef[function.name]; g >= 0; g = nextDef[static_cast<size_t>(g)]) {
      const int32_t otherFile = model.functions[static_cast<size_t>(g)].file;
      namesake |= otherFile != function.file;
      twin |= static_cast<size_t>(g) < f && otherFile == function.file;
    }
    if (!(namesake && function.isStatic) && !twin) continue;
    const std::string& path = model.sources[static_cast<size_t>(function.file)].path;
    std::string qualified(model.NameOf(function.name));
    qualified += CallGraphModel::kFileQualifier;
    qualified.append(path, std::min(folder, path.size()));
    if (twin) (qualified += ':') += std::to_string(model.DetailsOf(function).line);
    nodeName[f] = model.names.Intern(qualified);
  }

  // The key of a slot as seen from a file, as an id in texts_ (0: none). Only member paths
  // depend on the file; each is walked once per file.
  absl::flat_hash_map<uint64_t, uint32_t> memberKeys;
  const auto keyOf = [&](uint32_t slot, int32_t file) -> uint32_t {
    const std::string_view text = texts_[slot];
    if (text.empty() || text[0] != kMember) return slot;
    const auto [it, added] =
        memberKeys.try_emplace((uint64_t{slot} << 32) | static_cast<uint32_t>(file), 0);
    if (added) it->second = texts_.Intern(KeyOf(text, file));
    return it->second;
  };
  std::string scratch;
  const auto findText = [&](std::string_view text) -> int64_t {
    NameId id = 0;
    return texts_.Find(text, id) ? int64_t{id} : -1;
  };

  // The flow graph over keys: into each key, the keys (and function names) that flow there.
  // Keys are numbered in the order they join the graph; keyOfText maps a text to its key.
  std::vector<uint32_t> keys;         // by key: its text
  std::vector<char> keyKinds;         // by key: the first character of its text
  std::vector<int32_t> keyOfText;     // by text: its key, -1 none
  const auto keyId = [&](uint32_t text) {
    if (keyOfText.size() <= text) keyOfText.resize(std::max<size_t>(texts_.size(), text + 1), -1);
    if (keyOfText[text] < 0) {
      keyOfText[text] = static_cast<int32_t>(keys.size());
      keys.push_back(text);
      keyKinds.push_back(texts_[text][0]);
    }
    return static_cast<uint32_t>(keyOfText[text]);
  };
  const auto findKey = [&](int64_t text) -> int64_t {
    if (text < 0 || static_cast<size_t>(text) >= keyOfText.size()) return -1;
    return keyOfText[static_cast<size_t>(text)];
  };
  struct Edge {
    uint32_t to, from;
    int32_t file;
  };
  std::vector<Edge> edges;
  edges.reserve(flows_.size());
  keyOfText.assign(texts_.size(), -1);
  for (const Flow& flow : flows_) {
    const uint32_t to = keyOf(flow.to, flow.file);
    const uint32_t from = keyOf(flow.from, flow.file);
    if (to == 0 || from == 0) continue;
    const uint32_t toKey = keyId(to);
    edges.push_back({toKey, keyId(from), flow.file});
  }
  flows_ = {};
  std::vector<uint32_t> inStart;
  std::vector<std::pair<uint32_t, int32_t>> inEdges;
  std::vector<int32_t> seenKey;
  const auto build = [&] {
    inStart.assign(keys.size() + 1, 0);
    for (const Edge& e : edges) ++inStart[e.to + 1];
    for (size_t k = 0; k < keys.size(); ++k) inStart[k + 1] += inStart[k];
    inEdges.resize(edges.size());
    std::vector<uint32_t> fill(inStart.begin(), inStart.end() - 1);
    for (const Edge& e : edges) inEdges[fill[e.to]++] = {e.from, e.file};
    seenKey.resize(keys.size(), -1);
  };
  build();
  // Member keys by member name, for dispatches whose struct type is not known.
  absl::flat_hash_map<std::string_view, std::vector<uint32_t>> byMember;
  for (uint32_t k = 0; k < keys.size(); ++k) {
    if (keyKinds[k] != kMember) continue;
    const std::string_view text = texts_[keys[k]];
    byMember[text.substr(text.rfind('|') + 1)].push_back(k);
  }
  // What a name key stands for, found when first met: its first definition, else the key of the
  // variable of that name.
  struct NameKey {
    int32_t firstDef = -2;  // -2: not looked up yet
    int32_t global = -1;
  };
  std::vector<NameKey> nameKeys;

  std::vector<int32_t> seenTarget(functionCount, -1);
  int32_t search = 0;
  std::vector<std::pair<uint32_t, int>> queue;
  const auto targetsOf = [&](const std::vector<uint32_t>& starts, std::vector<int32_t>& out) {
    ++search;
    out.clear();
    queue.clear();
    for (uint32_t k : starts) {
      // A key made after the graph was last built has no edges in it yet.
      if (k + 1 >= inStart.size()) continue;
      if (seenKey[k] != search) {
        seenKey[k] = search;
        queue.emplace_back(k, 0);
      }
    }
    for (size_t next = 0; next < queue.size(); ++next) {
      const auto [key, hops] = queue[next];
      for (uint32_t e = inStart[key]; e < inStart[key + 1]; ++e) {
        const auto [from, file] = inEdges[e];
        uint32_t onward = from;
        if (keyKinds[from] == kName) {
          if (nameKeys.size() <= from) nameKeys.resize(keys.size());
          NameKey& name = nameKeys[from];
          if (name.firstDef == -2) {
            const std::string_view text = texts_[keys[from]];
            name.firstDef = firstDefOf(text.substr(1));
            ((scratch = kGlobal) += text.substr(1));
            name.global = static_cast<int32_t>(findKey(findText(scratch)));
          }
          int32_t target = -1;
          if (bind(name.firstDef, file, target) == Bound::kFound) {
            if (seenTarget[static_cast<size_t>(target)] != search) {
              seenTarget[static_cast<size_t>(target)] = search;
              out.push_back(target);
            }
            continue;
          }
          // Not a function: a variable of another file.
          if (name.global < 0) continue;
          onward = static_cast<uint32_t>(name.global);
        }
        if (hops + 1 > kMaxHops || seenKey[onward] == search) continue;
        seenKey[onward] = search;
        queue.emplace_back(onward, hops + 1);
      }
    }
    std::sort(out.begin(), out.end());
  };

  // The targets of each dispatch, computed once per key (a text id; 0 has none).
  std::unordered_map<uint32_t, std::vector<int32_t>> cache;
  std::vector<uint32_t> starts;
  const auto dispatchTargets = [&](uint32_t key) -> const std::vector<int32_t>& {
    const auto cached = cache.find(key);
    if (cached != cache.end()) return cached->second;
    std::vector<int32_t>& out = cache[key];
    starts.clear();
    const std::string_view text = texts_[key];
    if (!text.empty() && text[0] == kMember) {
      const size_t bar = text.rfind('|');
      const std::string_view member = text.substr(bar + 1);
      const auto all = byMember.find(member);
      if (bar > 1) {
        // Narrowed by the type: registrations for it and those whose type is not known.
        ((scratch = kMember) += '|') += member;
        for (const int64_t k : {findKey(key), findKey(findText(scratch))}) {
          if (k >= 0) starts.push_back(static_cast<uint32_t>(k));
        }
        targetsOf(starts, out);
        // With nothing registered for the type, the member's name alone decides.
        if (!out.empty() || all == byMember.end()) return out;
      }
      if (all != byMember.end()) starts = all->second;
    } else {
      const int64_t k = findKey(key);
      if (k >= 0) starts.push_back(static_cast<uint32_t>(k));
    }
    targetsOf(starts, out);
    return out;
  };

  // The key each dispatch calls through.
  std::vector<uint32_t> siteKey(dispatches_.size());
  for (size_t d = 0; d < dispatches_.size(); ++d) {
    siteKey[d] = keyOf(dispatches_[d].slot, dispatches_[d].file);
  }
  // A function that takes another number of parameters than the call passes is not called
  // there (variadic and unreadable parameter lists stay).
  const auto fittingTargets = [&](size_t d, std::vector<int32_t>& out) {
    const Dispatch& site = dispatches_[d];
    out.clear();
    for (const int32_t t : dispatchTargets(siteKey[d])) {
      const int16_t parameters = functionParameters_[static_cast<size_t>(t)];
      if (parameters < 0 || parameters == site.arguments) out.push_back(t);
    }
  };
  std::vector<int32_t> fitting;

  // Once every slot has its key, the structs and typedefs have done their work.
  const auto forgetStructs = [&] {
    memberKeys = {};
    structs_ = {};
    typedefs_ = {};
  };
  if (passed_.empty()) forgetStructs();

  // The functions a dispatch passes on flow into the parameters of its targets; what reaches a
  // parameter so may be passed on by another dispatch: a few rounds, each on the graph so far.
  if (!passed_.empty()) {
    // The keys of the passed values; -1 where nothing can flow from there.
    std::vector<int64_t> passedKey(passed_.size(), -1);
    for (const Dispatch& site : dispatches_) {
      for (uint32_t p = site.passedBegin; p < site.passedEnd; ++p) {
        const uint32_t from = keyOf(passed_[p].second, site.file);
        if (from == 0) continue;
        const int64_t known = findKey(from);
        // A slot that nothing flows into passes nothing on; a function name always does, and a
        // parameter may receive in a round what it passes on in the next.
        const char kind = texts_[from][0];
        if (known >= 0) {
          passedKey[p] = known;
        } else if (kind == kName || kind == kParameter) {
          passedKey[p] = keyId(from);
        }
      }
    }
    forgetStructs();
    // The parameter keys of the targets, by function and position.
    absl::flat_hash_map<uint64_t, uint32_t> parameterKeys;
    absl::flat_hash_set<uint64_t> passedEdges;
    for (int round = 0; round < kMaxHops; ++round) {
      if (stopNow()) return {};
      const size_t before = edges.size();
      for (size_t d = 0; d < dispatches_.size(); ++d) {
        const Dispatch& site = dispatches_[d];
        if (site.passedBegin == site.passedEnd) continue;
        fittingTargets(d, fitting);
        for (const int32_t t : fitting) {
          for (uint32_t p = site.passedBegin; p < site.passedEnd; ++p) {
            if (passedKey[p] < 0) continue;
            const auto [it, added] = parameterKeys.try_emplace(
                (uint64_t{static_cast<uint32_t>(t)} << 32) |
                    static_cast<uint32_t>(passed_[p].first),
                0);
            if (added) {
              ((scratch = kParameter) +=
               model.NameOf(model.functions[static_cast<size_t>(t)].name)) += '|';
              AppendNumber(scratch, passed_[p].first);
              it->second = keyId(texts_.Intern(scratch));
            }
            const uint32_t toId = it->second;
            const uint32_t fromId = static_cast<uint32_t>(passedKey[p]);
            if (!passedEdges.insert((uint64_t{toId} << 32) | fromId).second) continue;
            edges.push_back({toId, fromId, site.file});
          }
        }
      }
      if (edges.size() == before) break;
      build();
      cache.clear();
    }
  }
  edges = {};
  passed_ = {};

  // The calls again, each bound; a dispatch with N targets becomes N records. Twice: a first
  // pass finds every target (and counts what the model will hold), so that the flow graph can
  // go before the second one writes the new records while the old ones are let go.
  CallGraphModel next;
  next.resolved = true;
  bool writing = false;
  bool halted = false;  // the first pass stopped
  size_t writtenCount = 0;
  const auto add = [&](NameId writtenName, NameId callee, const CallDetails& details,
                       const TextList& arguments) {
    if (writing) {
      next.AddResolvedCall(writtenName, callee, details, arguments);
    } else if (writtenName != callee) {
      ++writtenCount;
    }
  };
  // Whether a name is a variable at file scope: the text of its key, -1 none (-2 not looked up).
  std::vector<int64_t> globalOfName(nameCount, -2);
  const auto pass = [&] {
    const std::vector<std::pair<uint32_t, NameId>>& writtenNames = model.writtenNames;
    size_t written = 0;
    size_t dispatchAt = 0;
    size_t macroAt = 0;
    // The calls before `dropped` are read and gone (second pass).
    uint32_t dropped = 0;
    for (size_t f = 0; f < functionCount; ++f) {
      // Until the calls are written again, a stop leaves the model as it was.
      if (!writing && f % 4096 == 0 && stopNow()) {
        halted = true;
        return;
      }
      FunctionRecord& function = model.functions[f];
      const uint32_t first = static_cast<uint32_t>(next.calls.size());
      const CallIndexes calls = model.CallsOf(function);
      // The old calls are read once, in order: what was read is let go.
      if (writing && calls.first < calls.last) {
        while (dropped < calls.first) {
          model.calls.pop_front();
          ++dropped;
        }
        model.callDetails.ReleaseBefore(model.calls[calls.first - dropped].details());
      }
      for (const uint32_t c : calls) {
        const CallRecord& call = model.calls[c - dropped];
        CallDetails details;
        if (writing) details = model.DetailsOf(call);
        const TextList arguments = details.arguments;
        while (written < writtenNames.size() && writtenNames[written].first < c) ++written;
        const NameId writtenName =
            written < writtenNames.size() && writtenNames[written].first == c
                ? writtenNames[written].second
                : call.callee;
        while (dispatchAt < callDispatch_.size() && callDispatch_[dispatchAt].first < c) {
          ++dispatchAt;
        }
        while (macroAt < callMacro_.size() && callMacro_[macroAt].first < c) ++macroAt;
        const int32_t dispatch =
            dispatchAt < callDispatch_.size() && callDispatch_[dispatchAt].first == c
                ? callDispatch_[dispatchAt].second
                : -1;
        const int32_t macro = macroAt < callMacro_.size() && callMacro_[macroAt].first == c
                                  ? callMacro_[macroAt].second
                                  : -1;
        const auto addPointer = [&](const std::vector<int32_t>& targets, NameId via) {
          ++counts.dispatches;
          details.kind = CallKind::kPointer;
          details.via = via;
          if (targets.empty()) {
            ++counts.unbound;
            details.calleeIndex = -1;
            add(via, via, details, arguments);
          }
          for (const int32_t t : targets) {
            ++counts.pointerEdges;
            details.calleeIndex = t;
            add(via, nodeName[static_cast<size_t>(t)], details, arguments);
          }
        };
        if (dispatch >= 0) {
          const Dispatch& site = dispatches_[static_cast<size_t>(dispatch)];
          fittingTargets(static_cast<size_t>(dispatch), fitting);
          addPointer(fitting, model.names.Intern(vias_[site.via]));
          continue;
        }
        int32_t target = -1;
        const Bound bound =
            bind(call.callee < nameCount ? firstDef[call.callee] : -1, function.file, target);
        if (macro >= 0) {
          // A call the expansion of a macro makes: bound by scope as if written in the body,
          // shown with the macro's name as written.
          ++counts.macroCalls;
          details.kind = CallKind::kMacro;
          details.via = model.names.Intern(vias_[static_cast<size_t>(macro)]);
          details.calleeIndex = bound == Bound::kFound ? target : -1;
          add(details.via,
              bound == Bound::kFound ? nodeName[static_cast<size_t>(target)] : call.callee,
              details, arguments);
          continue;
        }
        if (bound == Bound::kFound) {
          ++counts.direct;
          details.calleeIndex = target;
          add(writtenName, nodeName[static_cast<size_t>(target)], details, arguments);
          continue;
        }
        // A variable of function pointer type at file scope, called by its name.
        if (bound == Bound::kNone && call.callee < nameCount) {
          int64_t& global = globalOfName[call.callee];
          if (global == -2) {
            (scratch = kGlobal) += model.NameOf(call.callee);
            global = findText(scratch);
            if (findKey(global) < 0) global = -1;
          }
          if (global >= 0) {
            const std::vector<int32_t>& targets = dispatchTargets(static_cast<uint32_t>(global));
            if (!targets.empty()) {
              addPointer(targets, call.callee);
              continue;
            }
          }
        }
        ++(bound == Bound::kAmbiguous ? counts.ambiguous : counts.unresolved);
        add(writtenName, call.callee, details, arguments);
      }
      if (writing) {
        function.firstCall = first;
        function.callCount = static_cast<uint32_t>(next.calls.size()) - first;
      }
    }
  };
  pass();
  if (halted || stopNow()) return {};
  // Every target is in the cache now.
  keys = {};
  keyKinds = {};
  keyOfText = {};
  inStart = {};
  inEdges = {};
  seenKey = {};
  seenTarget = {};
  nameKeys = {};
  byMember = {};
  queue = {};
  texts_ = NameTable();
  next.writtenNames.reserve(writtenCount);
  counts = {};
  writing = true;
  pass();
  for (size_t f = 0; f < functionCount; ++f) model.functions[f].name = nodeName[f];
  model.calls = std::move(next.calls);
  model.callDetails = std::move(next.callDetails);
  model.writtenNames = std::move(next.writtenNames);
  model.resolved = true;
  return counts;
}

}  // namespace quillmap
