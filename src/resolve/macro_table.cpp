#include "resolve/macro_table.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

#include "absl/container/flat_hash_set.h"
#include "resolve/byte_scan.h"
#include "resolve/c_identifier_chars.h"
#include "resolve/c_punctuators.h"

namespace quillmap {

namespace {

// Words followed by "(" that call nothing.
constexpr std::string_view kNotCalls[] = {
    "if",         "for",        "while",       "switch",       "return",       "sizeof",
    "do",         "else",       "case",        "goto",         "typeof",       "__typeof__",
    "__typeof",   "_Alignof",   "alignof",     "__alignof__",  "_Generic",     "_Static_assert",
    "static_assert", "__attribute__", "__attribute", "asm",     "__asm__",      "__asm",
    "volatile",   "__volatile__", "defined",   "void",         "char",         "short",
    "int",        "long",       "float",       "double",       "signed",       "unsigned",
    "_Bool",      "const",      "struct",      "union",        "enum",         "__extension__",
    "__declspec", "_Pragma",    "__builtin_offsetof", "offsetof"};

bool NotACall(std::string_view name) {
  if (name.starts_with("__builtin_")) return true;
  return std::find(std::begin(kNotCalls), std::end(kNotCalls), name) != std::end(kNotCalls);
}

// Reads one directive, `d` from its "#" with continuations joined and comments blanked.
class DirectiveReader {
 public:
  DirectiveReader(std::string_view text,
                  const std::function<void(size_t, std::string_view, MacroDefinition*)>& found,
                  const std::vector<std::string>* predefined,
                  std::vector<std::pair<size_t, size_t>>* dead)
      : text_(text), found_(found), dead_(dead) {
    if (predefined == nullptr) return;
    for (const std::string& definition : *predefined) {
      const size_t equals = definition.find('=');
      const std::string_view name = std::string_view(definition).substr(0, equals);
      build_.insert(Key(name));
      defined_.insert_or_assign(Key(name), equals == std::string::npos
                                               ? Value::kNonZero
                                               : ValueOf(std::string_view(definition).substr(equals + 1)));
    }
  }

  void Directive(std::string_view d, size_t offset) {
    size_t p = 1;
    while (p < d.size() && IsBlank(d[p])) ++p;
    size_t q = p;
    while (q < d.size() && IsIdentChar(d[q])) ++q;
    const std::string_view word = d.substr(p, q - p);
    if (word == "if" || word == "ifdef" || word == "ifndef") {
      const Decision c = Decide(word, d.substr(q));
      const Branch& parent = Enclosing(branches_.size());
      const bool live = c.condition != Condition::kFalse;
      branches_.push_back({parent.read && (live || c.assumed), parent.presumed || !live, live,
                           live && !c.assumed, parent.dead || c.ByBuild(Condition::kFalse),
                           c.ByBuild(Condition::kTrue)});
      DeadFrom(offset);
    } else if (word == "elif" && !branches_.empty()) {
      DeadUntil(offset);
      Branch& b = branches_.back();
      const Branch& parent = Enclosing(branches_.size() - 1);
      if (b.takenSurely) {
        b.read = false;
        b.dead = parent.dead || b.takenByBuild;
      } else {
        const Decision c = Decide("if", d.substr(q));
        const bool live = c.condition != Condition::kFalse;
        b.read = parent.read && (live || c.assumed);
        b.presumed = parent.presumed || !live || b.taken;
        b.taken = b.taken || live;
        b.takenSurely = live && !c.assumed;
        b.dead = parent.dead || c.ByBuild(Condition::kFalse);
        b.takenByBuild = c.ByBuild(Condition::kTrue);
      }
      DeadFrom(offset);
    } else if (word == "else" && !branches_.empty()) {
      DeadUntil(offset);
      Branch& b = branches_.back();
      const Branch& parent = Enclosing(branches_.size() - 1);
      b.read = parent.read && !b.takenSurely;
      b.presumed = parent.presumed || b.taken;
      b.dead = parent.dead || (b.takenSurely && b.takenByBuild);
      b.taken = true;
      b.takenSurely = true;
      DeadFrom(offset);
    } else if (word == "endif") {
      DeadUntil(offset);
      if (!branches_.empty()) branches_.pop_back();
    } else if (word == "define" && !branches_.empty() && branches_.back().read &&
               branches_.back().presumed) {
      Presumed(d, q, offset);
    } else if ((word == "define" || word == "undef") &&
               (branches_.empty() || (branches_.back().read && !branches_.back().presumed))) {
      while (q < d.size() && IsBlank(d[q])) ++q;
      size_t e = q;
      if (e < d.size() && IsIdentStart(d[e])) {
        while (e < d.size() && IsIdentChar(d[e])) ++e;
      }
      if (e == q) return;
      const std::string_view name = d.substr(q, e - q);
      // The text's own from here. Most texts have no such names: an empty set is not hashed.
      if (!build_.empty()) build_.erase(Key(name));
      if (word == "undef") {
        const auto known = defined_.find(Key(name));
        if (known != defined_.end()) defined_.erase(known);
        undefined_.insert(Lasting(name, offset + q));
        found_(offset, name, nullptr);
        return;
      }
      const absl::string_view key = Lasting(name, offset + q);
      defined_.insert_or_assign(key, Value::kUnknown);
      if (!undefined_.empty()) undefined_.erase(key);
      MacroDefinition macro;
      if (!Parse(d, e, macro)) return;
      if (!macro.functionLike) defined_.insert_or_assign(key, ValueOf(macro.body));
      found_(offset, name, &macro);
    }
  }

 private:
  // A definition read in a branch presumed compiled (see Branch) counts only where it makes a
  // call or names a function, and never replaces a definition in force: a build that compiles
  // the branch calls what it names, one that does not keeps what stands.
  void Presumed(std::string_view d, size_t q, size_t offset) {
    while (q < d.size() && IsBlank(d[q])) ++q;
    size_t e = q;
    while (e < d.size() && IsIdentChar(d[e])) ++e;
    if (e == q || !IsIdentStart(d[q])) return;
    const std::string_view name = d.substr(q, e - q);
    if (defined_.contains(Key(name))) return;
    MacroDefinition macro;
    if (!Parse(d, e, macro) || !MakesACall(macro)) return;
    macro.presumed = true;
    found_(offset, name, &macro);
  }

  // The parameters and replacement of the definition whose name ends at `b`; false when its
  // parameter list never ends.
  static bool Parse(std::string_view d, size_t b, MacroDefinition& macro) {
    if (b < d.size() && d[b] == '(') {
      macro.functionLike = true;
      ++b;
      while (b < d.size() && d[b] != ')') {
        if (IsIdentStart(d[b])) {
          const size_t s = b;
          while (b < d.size() && IsIdentChar(d[b])) ++b;
          macro.parameters.emplace_back(d.substr(s, b - s));
        } else if (d.substr(b, 3) == "...") {
          macro.variadic = true;
          // "args..." names the rest; "..." alone is __VA_ARGS__.
          size_t before = b;
          while (before > 0 && IsBlank(d[before - 1])) --before;
          if (macro.parameters.empty() || d[before - 1] == ',') {
            macro.parameters.emplace_back("__VA_ARGS__");
          }
          b += 3;
        } else {
          ++b;
        }
      }
      if (b >= d.size()) return false;  // an unterminated parameter list defines nothing
      ++b;
    }
    while (b < d.size() && IsBlank(d[b])) ++b;
    size_t end = d.size();
    while (end > b && IsBlank(d[end - 1])) --end;
    macro.body.assign(d.substr(b, end - b));
    return true;
  }

  // Whether a replacement calls something ("name(", not a keyword), or an object-like one
  // names a function (one name, not in capitals: "SQLITE_OK" is a value).
  static bool MakesACall(const MacroDefinition& macro) {
    const std::string_view body = macro.body;
    bool oneName = !macro.functionLike && !body.empty() && IsIdentStart(body[0]) &&
                   std::any_of(body.begin(), body.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    for (size_t i = 0; i < body.size();) {
      const char c = body[i];
      if (IsIdentStart(c)) {
        const size_t s = i;
        while (i < body.size() && IsIdentChar(body[i])) ++i;
        if (s > 0) oneName = false;
        size_t k = i;
        while (k < body.size() && IsBlank(body[k])) ++k;
        if (k < body.size() && body[k] == '(' && !NotACall(body.substr(s, i - s))) return true;
      } else if (c == '"' || c == '\'') {
        oneName = false;
        ++i;
        while (i < body.size() && body[i] != c) i += body[i] == '\\' ? 2 : 1;
        ++i;
      } else {
        oneName = false;
        ++i;
      }
    }
    return oneName;
  }

  // A condition is decided where it asks only whether a name is defined (by this text so far),
  // or is a literal number; the others are read as true, and their "#else" not at all, so that
  // what both branches open is read once. A decision is `assumed` where it rests on a name that
  // neither this text nor the build defines or undefines: the compiler's command line may well
  // define it ("-DSQLITE_ENABLE_FTS5", "CONFIG_SMP").
  enum class Condition { kTrue, kFalse, kUnknown };
  struct Decision {
    Condition condition;
    bool assumed = false;
    bool build = false;  // it looked at a name that the build defines

    // Decided `c` by what the build defines, no assumption in it.
    bool ByBuild(Condition c) const { return condition == c && !assumed && build; }
  };
  Decision Decide(std::string_view word, std::string_view rest) const {
    size_t i = 0;
    const auto blanks = [&] {
      while (i < rest.size() && IsBlank(rest[i])) ++i;
    };
    const auto ident = [&]() -> std::string_view {
      blanks();
      const size_t s = i;
      while (i < rest.size() && IsIdentChar(rest[i])) ++i;
      return rest.substr(s, i - s);
    };
    const auto isDefined = [&](std::string_view name) {
      return defined_.find(Key(name)) != defined_.end();
    };
    const auto isUnseen = [&](std::string_view name) {
      return !isDefined(name) && !undefined_.contains(Key(name));
    };
    const auto onlyBlanksLeft = [&] {
      blanks();
      return i >= rest.size();
    };
    if (word == "ifdef" || word == "ifndef") {
      const std::string_view name = ident();
      if (name.empty()) return {Condition::kUnknown};
      return {isDefined(name) == (word == "ifdef") ? Condition::kTrue : Condition::kFalse,
              isUnseen(name), build_.contains(Key(name))};
    }
    // A chain of "[!]defined(NAME)" or numbers joined by "&&" alone or by "||" alone.
    char joint = 0;
    bool anyUnknown = false, anyTrue = false, anyFalse = false;
    // Whether every true (every false) term rests on an unseen name, and whether any does.
    bool assumedTrue = true, assumedFalse = true, anyAssumed = false;
    bool build = false;
    while (true) {
      bool assumed = false;
      blanks();
      bool negate = false;
      while (i < rest.size() && rest[i] == '!') {
        negate = !negate;
        ++i;
      }
      const std::string_view first = ident();
      Condition c = Condition::kUnknown;
      if (first == "defined") {
        blanks();
        const bool paren = i < rest.size() && rest[i] == '(';
        if (paren) ++i;
        const std::string_view name = ident();
        blanks();
        if (paren && !(i < rest.size() && rest[i] == ')')) return {Condition::kUnknown};
        if (paren) ++i;
        if (name.empty()) return {Condition::kUnknown};
        c = isDefined(name) ? Condition::kTrue : Condition::kFalse;
        assumed = isUnseen(name);
        build |= build_.contains(Key(name));
      } else if (!first.empty() && first[0] >= '0' && first[0] <= '9' &&
                 first.find_first_not_of("0123456789") == std::string_view::npos) {
        c = first.find_first_not_of('0') == std::string_view::npos ? Condition::kFalse
                                                                   : Condition::kTrue;
      } else if (!first.empty() && IsIdentStart(first[0])) {
        // A name stands for its value: 0 when not defined, as the preprocessor reads it.
        const auto it = defined_.find(Key(first));
        build |= build_.contains(Key(first));
        if (it == defined_.end()) {
          c = Condition::kFalse;
          assumed = isUnseen(first);
        } else {
          if (it->second == Value::kUnknown) return {Condition::kUnknown};
          c = it->second == Value::kZero ? Condition::kFalse : Condition::kTrue;
        }
      } else {
        return {Condition::kUnknown};
      }
      if (negate && c != Condition::kUnknown) {
        c = c == Condition::kTrue ? Condition::kFalse : Condition::kTrue;
      }
      anyTrue |= c == Condition::kTrue;
      anyFalse |= c == Condition::kFalse;
      anyUnknown |= c == Condition::kUnknown;
      if (c == Condition::kTrue) assumedTrue &= assumed;
      if (c == Condition::kFalse) assumedFalse &= assumed;
      anyAssumed |= assumed;
      if (onlyBlanksLeft()) break;
      if (i + 1 >= rest.size() || rest[i] != rest[i + 1] || (rest[i] != '&' && rest[i] != '|')) {
        return {Condition::kUnknown};
      }
      if (joint != 0 && joint != rest[i]) return {Condition::kUnknown};
      joint = rest[i];
      i += 2;
    }
    // What an unseen name could turn: "a || b" true by assumed terms alone or false with one of
    // them, "a && b" false by assumed terms alone or true with one of them.
    if (joint == '|') {
      if (anyTrue) return {Condition::kTrue, assumedTrue, build};
      return {anyUnknown ? Condition::kUnknown : Condition::kFalse, !anyUnknown && anyAssumed,
              build};
    }
    if (anyFalse) return {Condition::kFalse, assumedFalse, build};
    return {anyUnknown ? Condition::kUnknown : Condition::kTrue, !anyUnknown && anyAssumed, build};
  }

  // A branch is read as compiled, or presumed compiled (its condition is false only by an
  // assumption, or an earlier branch was taken only by one), or not at all.
  struct Branch {
    bool read;         // its directives are read
    bool presumed;     // ... as presumed (see Presumed)
    bool taken;        // a branch of this conditional was read as compiled (or may have been)
    bool takenSurely;  // ... and not by an assumption: the later branches are dead
    bool dead;         // the build's names decide that it is not compiled
    bool takenByBuild;  // a branch of this conditional was taken by the build's names
  };
  // The branch that encloses the conditional at `depth` (0: the text itself).
  const Branch& Enclosing(size_t depth) const {
    static constexpr Branch kText{true, false, true, true, false, false};
    return depth == 0 ? kText : branches_[depth - 1];
  }

 public:
  // The innermost branch, just entered at `offset`: where it is dead and the one around it is
  // not, a dead range begins.
  void DeadFrom(size_t offset) {
    if (dead_ == nullptr || branches_.empty() || !branches_.back().dead ||
        Enclosing(branches_.size() - 1).dead) {
      return;
    }
    deadFrom_ = offset;
  }
  // The innermost branch ends at `offset` (its next #elif, #else or #endif).
  void DeadUntil(size_t offset) {
    if (dead_ == nullptr || branches_.empty() || !branches_.back().dead ||
        Enclosing(branches_.size() - 1).dead) {
      return;
    }
    dead_->emplace_back(deadFrom_, offset);
  }
  // At the end of the text: an open dead range runs to it.
  void DeadToEnd() {
    for (size_t depth = 1; depth <= branches_.size(); ++depth) {
      if (branches_[depth - 1].dead && dead_ != nullptr) {
        dead_->emplace_back(deadFrom_, text_.size());
        return;
      }
    }
  }

 private:
  // What "#if NAME" reads of a defined name: its value when that is a decimal number (with
  // "U" and "L" suffixes), else nothing known.
  enum class Value : uint8_t { kUnknown, kZero, kNonZero };
  static Value ValueOf(std::string_view value) {
    while (!value.empty() && (value.back() == 'U' || value.back() == 'L' ||
                              value.back() == 'u' || value.back() == 'l')) {
      value.remove_suffix(1);
    }
    if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos) {
      return Value::kUnknown;
    }
    return value.find_first_not_of('0') == std::string_view::npos ? Value::kZero
                                                                  : Value::kNonZero;
  }
  static absl::string_view Key(std::string_view name) { return {name.data(), name.size()}; }
  // A view of `name`, read at `at` of the text, that lasts as long as the reader: into the
  // text where it stands there as read (no continuation or comment joined before it), else
  // into a copy.
  absl::string_view Lasting(std::string_view name, size_t at) {
    if (at <= text_.size() && text_.substr(at, name.size()) == name) {
      return Key(text_.substr(at, name.size()));
    }
    return Key(names_.emplace_back(name));
  }
  std::string_view text_;
  const std::function<void(size_t, std::string_view, MacroDefinition*)>& found_;
  std::vector<Branch> branches_;
  absl::flat_hash_map<absl::string_view, Value> defined_;
  absl::flat_hash_set<absl::string_view> undefined_;  // by an "#undef" read as compiled
  absl::flat_hash_set<absl::string_view> build_;      // defined by the build (and not the text)
  std::vector<std::pair<size_t, size_t>>* dead_;
  size_t deadFrom_ = 0;
  std::deque<std::string> names_;  // the names that do not stand in the text as read
};

}  // namespace

void ReadMacroDirectives(
    std::string_view text,
    const std::function<void(size_t, std::string_view, MacroDefinition*)>& found,
    const std::vector<std::string>* predefined, std::vector<std::pair<size_t, size_t>>* dead) {
  DirectiveReader reader(text, found, predefined, dead);
  std::string directive;
  const size_t n = text.size();
  size_t i = 0;
  bool lineStart = true;
  while (i < n) {
    const char c = text[i];
    if (c == '\n') {
      lineStart = true;
      ++i;
    } else if (IsBlank(c)) {
      ++i;
    } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
      const size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
    } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
      while (i < n && text[i] != '\n') ++i;
    } else if (c == '\\' && i + 1 < n && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
      i += text[i + 1] == '\r' && i + 2 < n && text[i + 2] == '\n' ? 3 : 2;
    } else if (c == '#' && lineStart) {
      const size_t start = i;
      directive.clear();
      while (i < n && text[i] != '\n') {
        const char d = text[i];
        if (d == '\\' && i + 1 < n && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
          i += text[i + 1] == '\r' && i + 2 < n && text[i + 2] == '\n' ? 3 : 2;
          directive += ' ';
        } else if (d == '/' && i + 1 < n && text[i + 1] == '*') {
          const size_t end = text.find("*/", i + 2);
          i = end == std::string_view::npos ? n : end + 2;
          directive += ' ';
        } else if (d == '/' && i + 1 < n && text[i + 1] == '/') {
          while (i < n && text[i] != '\n') ++i;
        } else if (d == '"' || d == '\'') {
          const size_t s = i++;
          while (i < n && text[i] != d && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
          if (i < n && text[i] == d) ++i;
          i = std::min(i, n);
          directive.append(text.substr(s, i - s));
        } else {
          // The run of bytes up to the next that may end the line, join it, or open a
          // comment or literal is taken as it stands.
          const size_t s = i;
          i = FindAnyOf<'\n', '/', '\\', '"', '\''>(text, i + 1);
          directive.append(text.substr(s, i - s));
        }
      }
      reader.Directive(directive, start);
    } else {
      lineStart = false;
      if (c == '"' || c == '\'') {
        ++i;
        while (i < n && text[i] != c && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
        if (i < n && text[i] == c) ++i;
      } else {
        ++i;
      }
      // Until the line ends no "#" begins a directive: only what may end the line, hide its
      // end or open a literal is looked at.
      i = FindAnyOf<'\n', '/', '\\', '"', '\''>(text, i);
    }
  }
  reader.DeadToEnd();
}

bool MacroCanName(const MacroDefinition& definition) {
  const std::string& body = definition.body;
  for (size_t i = 0; i < body.size();) {
    const char c = body[i];
    if (c >= '0' && c <= '9') {
      while (i < body.size() && (IsIdentChar(body[i]) || body[i] == '.')) ++i;
    } else if (c == '"' || c == '\'') {
      ++i;
      while (i < body.size() && body[i] != c) i += body[i] == '\\' ? 2 : 1;
      ++i;
    } else if (IsIdentStart(c)) {
      return true;
    } else {
      ++i;
    }
  }
  return false;
}

namespace {

// Abseil's tables look strings up by its own view type.
absl::string_view Key(std::string_view name) { return {name.data(), name.size()}; }

}  // namespace

void MacroTable::Changed() {
  static std::atomic<uint64_t> versions{0};
  version_ = ++versions;
}

void MacroTable::Define(std::string_view name, MacroDefinition definition) {
  // Whether a header's presumed macro would hide a function cannot be known: the functions
  // stand in the sources (see FactReader::MacroUse). Only a source's own are kept.
  if (definition.presumed) return;
  if (!MacroCanName(definition)) {
    Undefine(name);
    return;
  }
  sieve_.Add(name);
  macros_.insert_or_assign(std::string(name), std::move(definition));
  Changed();
}

void MacroTable::Undefine(std::string_view name) {
  // Most names undefined were never defined here (every numeric "#define" is dropped so).
  if (!sieve_.MayHold(name)) return;
  const auto it = macros_.find(Key(name));
  if (it == macros_.end()) return;
  macros_.erase(it);
  Changed();
}

const MacroDefinition* MacroTable::Find(std::string_view name) const {
  if (macros_.empty() || !sieve_.MayHold(name)) return nullptr;
  const auto it = macros_.find(Key(name));
  return it == macros_.end() ? nullptr : &it->second;
}

void MacroTable::Read(std::string_view text) {
  ReadMacroDirectives(
      text,
      [this](size_t, std::string_view name, MacroDefinition* m) {
        if (m == nullptr) {
          Undefine(name);
        } else {
          Define(name, std::move(*m));
        }
      },
      &predefined_);
}

void MacroTable::ReadAll(size_t count, const std::function<bool(size_t, std::string&)>& load,
                         const std::function<bool()>& stop, unsigned workers) {
  if (workers == 0) {
    std::string text;
    for (size_t i = 0; i < count && !stop(); ++i) {
      text.clear();
      if (load(i, text)) Read(text);
    }
    return;
  }
  // A directive as a worker read it: a definition to keep, or a name to forget (an "#undef",
  // or a definition that cannot name anything).
  struct Directive {
    std::string name;
    std::optional<MacroDefinition> definition;
  };
  struct Text {
    bool ready = false;
    std::vector<Directive> directives;
  };
  // Workers run at most this many texts ahead of the one taken into the table.
  constexpr size_t kAhead = 256;
  std::vector<Text> texts(count);
  std::mutex mutex;
  std::condition_variable changed;
  size_t taken = 0;  // texts taken into the table
  bool quit = false;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    std::string text;
    std::vector<Directive> directives;
    while (true) {
      const size_t i = next++;
      if (i >= count) return;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return quit || i < taken + kAhead; });
        if (quit) return;
      }
      text.clear();
      directives.clear();
      if (load(i, text)) {
        ReadMacroDirectives(
            text,
            [&](size_t, std::string_view name, MacroDefinition* m) {
              Directive& d = directives.emplace_back();
              d.name.assign(name);
              if (m != nullptr && MacroCanName(*m)) d.definition = std::move(*m);
            },
            &predefined_);
      }
      std::lock_guard lock(mutex);
      texts[i].directives = std::move(directives);
      texts[i].ready = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work);
  for (size_t i = 0; i < count; ++i) {
    if (stop()) break;
    std::vector<Directive> directives;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return texts[i].ready; });
      directives = std::move(texts[i].directives);
    }
    for (Directive& d : directives) {
      if (d.definition) {
        if (d.definition->presumed) continue;  // see Define
        sieve_.Add(d.name);
        macros_.insert_or_assign(std::move(d.name), std::move(*d.definition));
        Changed();
      } else {
        Undefine(d.name);
      }
    }
    std::lock_guard lock(mutex);
    taken = i + 1;
    changed.notify_all();
  }
  {
    std::lock_guard lock(mutex);
    quit = true;
    changed.notify_all();
  }
  for (std::thread& t : threads) t.join();
}

void MacroTable::Predefine(std::string_view definition) {
  const size_t equals = definition.find('=');
  MacroDefinition macro;
  if (equals != std::string_view::npos) macro.body.assign(definition.substr(equals + 1));
  const std::string_view name = definition.substr(0, equals);
  if (name.empty()) return;
  predefined_.emplace_back(definition);
  Changed();
  Define(name, std::move(macro));
}

SourceMacros::SourceMacros(std::string_view text, const MacroTable* headers,
                           const std::vector<std::string>* defines)
    : headers_(headers) {
  const auto found = [this](size_t offset, std::string_view name, MacroDefinition* m) {
    // A presumed definition stands back behind the headers' as well.
    if (m != nullptr && m->presumed && headers_ != nullptr && headers_->Find(name) != nullptr) {
      return;
    }
    int32_t index = -1;
    if (m != nullptr && MacroCanName(*m)) {
      index = static_cast<int32_t>(definitions_.size());
      definitions_.push_back(std::move(*m));
    }
    auto it = byName_.find(Key(name));
    if (it == byName_.end()) {
      it = byName_.emplace(std::string(name), std::vector<Directive>()).first;
      sieve_.Add(name);
    }
    it->second.push_back({offset, index});
    offsets_.push_back(offset);
  };
  const std::vector<std::string>* predefined =
      headers == nullptr ? nullptr : &headers->predefined();
  std::vector<std::string> withOwn;
  if (defines != nullptr && !defines->empty()) {
    // The source's own -D options: definitions from its first byte on.
    if (predefined != nullptr) withOwn = *predefined;
    withOwn.insert(withOwn.end(), defines->begin(), defines->end());
    predefined = &withOwn;
    for (const std::string& define : *defines) {
      const size_t equals = define.find('=');
      MacroDefinition macro;
      if (equals != std::string::npos) macro.body = define.substr(equals + 1);
      if (equals != 0) found(0, std::string_view(define).substr(0, equals), &macro);
    }
  }
  ReadMacroDirectives(text, found, predefined, &dead_);
}

size_t SourceMacros::DirectivesBefore() const {
  return static_cast<size_t>(std::upper_bound(offsets_.begin(), offsets_.end(), at_) -
                             offsets_.begin());
}

const MacroDefinition* SourceMacros::Find(std::string_view name) const {
  if (sieve_.MayHold(name)) {
    const auto it = byName_.find(Key(name));
    if (it != byName_.end()) {
      const std::vector<Directive>& directives = it->second;
      const auto after = std::upper_bound(
          directives.begin(), directives.end(), at_,
          [](size_t offset, const Directive& d) { return offset < d.offset; });
      if (after != directives.begin()) {
        const int32_t index = std::prev(after)->definition;
        return index < 0 ? nullptr : &definitions_[static_cast<size_t>(index)];
      }
    }
  }
  return headers_ == nullptr ? nullptr : headers_->Find(name);
}

void TokenizeMacroText(std::string_view text, std::vector<MacroToken>& out) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (IsBlank(c) || c == '\n') {
      ++i;
      continue;
    }
    if (c == '\\' && i + 1 < n && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
      i += 2;
      continue;
    }
    if (c == '/' && i + 1 < n && text[i + 1] == '*') {
      const size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
      continue;
    }
    if (c == '/' && i + 1 < n && text[i + 1] == '/') {
      while (i < n && text[i] != '\n') ++i;
      continue;
    }
    MacroToken token;
    const size_t start = i;
    if (IsIdentStart(c)) {
      while (i < n && IsIdentChar(text[i])) ++i;
      token.kind = MacroToken::Kind::kIdent;
      if (i < n && (text[i] == '"' || text[i] == '\'') && i - start <= 2) {
        token.kind = MacroToken::Kind::kString;  // L"..", u8"..": the literal follows
      }
    } else if ((c >= '0' && c <= '9') || (c == '.' && i + 1 < n && text[i + 1] >= '0' &&
                                          text[i + 1] <= '9')) {
      while (i < n && (IsIdentChar(text[i]) || text[i] == '.' ||
                       ((text[i] == '+' || text[i] == '-') &&
                        (text[i - 1] == 'e' || text[i - 1] == 'E' || text[i - 1] == 'p' ||
                         text[i - 1] == 'P')))) {
        ++i;
      }
      token.kind = MacroToken::Kind::kNumber;
    } else if (c == '"' || c == '\'') {
      token.kind = MacroToken::Kind::kString;
    } else {
      token.kind = MacroToken::Kind::kPunct;
      i = start + CPunctuatorLength(text, start);
    }
    if (token.kind == MacroToken::Kind::kString) {
      const char quote = text[i];
      ++i;
      while (i < n && text[i] != quote && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
      if (i < n && text[i] == quote) ++i;
      i = std::min(i, n);
    }
    token.text = text.substr(start, i - start);
    out.push_back(std::move(token));
  }
}

bool MacroExpander::Hidden(uint32_t set, const MacroDefinition* macro) const {
  for (uint32_t s = set; s != 0; s = sets_[s].parent) {
    if (sets_[s].macro == macro) return true;
  }
  return false;
}

uint32_t MacroExpander::Hide(uint32_t set, const MacroDefinition* macro) {
  sets_.push_back({set, macro});
  return static_cast<uint32_t>(sets_.size() - 1);
}

namespace {

// Asked of nearly every token of every expansion, mostly with one byte: that byte decides.
inline bool IsPunct(const MacroToken& t, std::string_view text) {
  return t.kind == MacroToken::Kind::kPunct && t.text.size() == text.size() &&
         t.text[0] == text[0] && (text.size() == 1 || t.text == text);
}

int ParameterOf(const MacroDefinition& macro, const MacroToken& t) {
  if (!macro.functionLike || t.kind != MacroToken::Kind::kIdent) return -1;
  for (size_t p = 0; p < macro.parameters.size(); ++p) {
    if (macro.parameters[p] == t.text) return static_cast<int>(p);
  }
  return -1;
}

// What "##" makes of two tokens: an identifier when it spells one, else text that calls nothing.
void Reclassify(MacroToken& t) {
  if (!t.text.empty() && IsIdentStart(t.text[0]) &&
      std::all_of(t.text.begin(), t.text.end(), IsIdentChar)) {
    t.kind = MacroToken::Kind::kIdent;
  } else if (!t.text.empty() && t.text[0] >= '0' && t.text[0] <= '9') {
    t.kind = MacroToken::Kind::kNumber;
  } else if (t.kind == MacroToken::Kind::kIdent) {
    t.kind = MacroToken::Kind::kPunct;
  }
}

std::string Stringified(const std::vector<MacroToken>& argument) {
  std::string s = "\"";
  for (size_t k = 0; k < argument.size(); ++k) {
    if (k > 0) s += ' ';
    for (const char c : argument[k].text) {
      if (argument[k].kind == MacroToken::Kind::kString && (c == '"' || c == '\\')) s += '\\';
      s += c;
    }
  }
  return s + '"';
}

}  // namespace

void MacroBodies::StartSource(const SourceMacros& source) {
  const uint64_t version = source.headers() == nullptr ? 0 : source.headers()->version();
  if (version != version_ || tokens_ > kMaxTokens) {
    shared_.clear();
    tokens_ = 0;
    version_ = version;
  }
  local_.clear();
  source_ = &source;
}

const std::vector<MacroToken>& MacroBodies::Of(const MacroDefinition& macro) {
  Bodies& bodies = source_ != nullptr && source_->Owns(&macro) ? local_ : shared_;
  const auto [it, added] = bodies.try_emplace(&macro);
  if (added) {
    TokenizeMacroText(macro.body, it->second);
    tokens_ += it->second.size();
  }
  return it->second;
}

// The buffers of one level of nested expansion: at every level an expansion takes and lets go
// of several token lists for each macro it replaces, which keep their room while the use is
// expanded.
struct MacroExpander::ExpansionLevel {
  std::vector<MacroToken> replacement;             // Rescan: of the macro being replaced
  std::vector<std::vector<MacroToken>> arguments;  // Rescan: its arguments (the first few used)
  std::vector<std::vector<MacroToken>> expanded;   // Substitute: the arguments expanded
  std::vector<char> done;                          // Substitute: which are
  std::vector<MacroToken> copy;                    // Substitute: an argument being expanded
};

MacroExpander::MacroExpander(const MacroLookup& macros, MacroLimits limits, MacroBodies* bodies)
    : macros_(macros), limits_(limits), bodies_(bodies) {}

MacroExpander::~MacroExpander() = default;

MacroExpander::ExpansionLevel& MacroExpander::LevelAt(int depth) {
  while (levels_.size() <= static_cast<size_t>(depth)) {
    levels_.push_back(std::make_unique<ExpansionLevel>());
  }
  return *levels_[static_cast<size_t>(depth)];
}

bool MacroExpander::Substitute(const MacroDefinition& macro,
                               std::span<const std::vector<MacroToken>> arguments,
                               const MacroToken& name, std::vector<MacroToken>& out, int depth) {
  bool ok = true;
  ExpansionLevel& scratch = LevelAt(depth);
  std::vector<MacroToken> split;
  if (bodies_ == nullptr) TokenizeMacroText(macro.body, split);
  const std::vector<MacroToken>& body = bodies_ == nullptr ? split : bodies_->Of(macro);
  const uint32_t bodySet = Hide(name.hidden, &macro);
  const int32_t bodyArgument = name.argument == kUseName ? -1 : name.argument;
  uint32_t lastIn = UINT32_MAX, lastOut = 0;
  const auto fromArgument = [&](MacroToken t) {
    if (t.hidden != lastIn) {
      lastIn = t.hidden;
      lastOut = Hide(t.hidden, &macro);
    }
    t.hidden = lastOut;
    out.push_back(std::move(t));
  };
  std::vector<std::vector<MacroToken>>& expanded = scratch.expanded;
  if (expanded.size() < arguments.size()) expanded.resize(arguments.size());
  for (size_t p = 0; p < arguments.size(); ++p) expanded[p].clear();
  std::vector<char>& done = scratch.done;
  done.assign(arguments.size(), 0);
  out.reserve(out.size() + body.size());
  static const std::vector<MacroToken> kNone;
  const auto raw = [&](int p) -> const std::vector<MacroToken>& {
    return static_cast<size_t>(p) < arguments.size() ? arguments[static_cast<size_t>(p)] : kNone;
  };
  bool leftEmpty = false;  // the operand before a "##" was an empty argument
  for (size_t k = 0; k < body.size(); ++k) {
    MacroToken t = body[k];
    if (IsPunct(t, "##")) {
      if (++k >= body.size()) break;
      const int p = ParameterOf(macro, body[k]);
      std::vector<MacroToken> right;
      if (p >= 0) {
        right = raw(p);
        if (right.empty()) {
          // GNU: ", ## __VA_ARGS__" drops the comma when the list is empty.
          if (macro.variadic && static_cast<size_t>(p) + 1 == macro.parameters.size() &&
              !out.empty() && IsPunct(out.back(), ",")) {
            out.pop_back();
          }
          continue;
        }
      } else {
        right.push_back(body[k]);
        right.back().argument = bodyArgument;
        right.back().hidden = bodySet;
      }
      if (out.empty() || leftEmpty) {
        for (MacroToken& r : right) fromArgument(std::move(r));
        leftEmpty = false;
        continue;
      }
      out.back().text = Made(std::string(out.back().text) += right[0].text);
      Reclassify(out.back());
      for (size_t r = 1; r < right.size(); ++r) fromArgument(std::move(right[r]));
      continue;
    }
    leftEmpty = false;
    if (IsPunct(t, "#") && macro.functionLike && k + 1 < body.size() &&
        ParameterOf(macro, body[k + 1]) >= 0) {
      MacroToken s;
      s.kind = MacroToken::Kind::kString;
      s.text = Made(Stringified(raw(ParameterOf(macro, body[++k]))));
      s.argument = bodyArgument;
      s.hidden = bodySet;
      out.push_back(std::move(s));
      continue;
    }
    const int p = ParameterOf(macro, t);
    if (p >= 0) {
      if (k + 1 < body.size() && IsPunct(body[k + 1], "##")) {
        leftEmpty = raw(p).empty();
        for (const MacroToken& a : raw(p)) fromArgument(a);
      } else if (static_cast<size_t>(p) < arguments.size()) {
        // An argument is expanded whole before it takes its place.
        if (!done[static_cast<size_t>(p)]) {
          done[static_cast<size_t>(p)] = 1;
          scratch.copy.assign(arguments[static_cast<size_t>(p)].begin(),
                              arguments[static_cast<size_t>(p)].end());
          if (!Rescan(scratch.copy, expanded[static_cast<size_t>(p)], depth + 1)) ok = false;
        }
        for (const MacroToken& a : expanded[static_cast<size_t>(p)]) fromArgument(a);
      }
      continue;
    }
    t.argument = bodyArgument;
    t.hidden = bodySet;
    out.push_back(std::move(t));
  }
  return ok;
}

bool MacroExpander::Rescan(std::vector<MacroToken>& input, std::vector<MacroToken>& out,
                           int depth) {
  bool ok = true;
  if (depth > limits_.depth) {
    for (MacroToken& t : input) out.push_back(std::move(t));
    return false;
  }
  std::reverse(input.begin(), input.end());
  std::vector<MacroToken>& pending = input;  // the next token is at the back
  ExpansionLevel& scratch = LevelAt(depth);
  std::vector<MacroToken>& replacement = scratch.replacement;
  // The arguments of the macro being replaced are the first `argumentCount`; the lists after
  // them keep their room for later uses.
  std::vector<std::vector<MacroToken>>& arguments = scratch.arguments;
  size_t argumentCount = 0;
  const auto startArgument = [&] {
    if (argumentCount == arguments.size()) arguments.emplace_back();
    arguments[argumentCount++].clear();
  };
  out.reserve(out.size() + input.size());
  while (!pending.empty()) {
    MacroToken t = std::move(pending.back());
    pending.pop_back();
    const MacroDefinition* macro =
        ok && t.kind == MacroToken::Kind::kIdent ? macros_.Find(t.text) : nullptr;
    if (macro == nullptr || Hidden(t.hidden, macro)) {
      out.push_back(std::move(t));
      continue;
    }
    if (macro->functionLike && (pending.empty() || !IsPunct(pending.back(), "("))) {
      out.push_back(std::move(t));  // the name alone is no use of a function-like macro
      continue;
    }
    if (expansions_ >= limits_.expansions || pending.size() + out.size() > limits_.tokens ||
        sets_.size() > limits_.tokens * 4) {
      ok = false;
      out.push_back(std::move(t));
      continue;
    }
    argumentCount = 0;
    if (macro->functionLike) {
      startArgument();
      int level = 0;
      size_t j = pending.size();
      bool closed = false;
      while (j-- > 0) {
        const MacroToken& a = pending[j];
        if (IsPunct(a, "(")) {
          if (level++ == 0) continue;
        } else if (IsPunct(a, ")")) {
          if (--level == 0) {
            closed = true;
            break;
          }
        } else if (level == 1 && IsPunct(a, ",") &&
                   !(macro->variadic && argumentCount == macro->parameters.size())) {
          startArgument();
          continue;
        }
        arguments[argumentCount - 1].push_back(a);
      }
      if (!closed) {  // an unterminated list: the rest stays as written
        ok = false;
        out.push_back(std::move(t));
        continue;
      }
      pending.resize(j);
      if (macro->parameters.empty() && argumentCount == 1 && arguments[0].empty()) {
        argumentCount = 0;
      }
    }
    ++expansions_;
    replacement.clear();
    const std::span<const std::vector<MacroToken>> taken(arguments.data(), argumentCount);
    if (!Substitute(*macro, taken, t, replacement, depth)) ok = false;
    if (pending.size() + replacement.size() > limits_.tokens) {
      ok = false;
      replacement.resize(limits_.tokens > pending.size() ? limits_.tokens - pending.size() : 0);
    }
    // Grown by at least half at a time: most replacements add a few tokens to a long list.
    if (pending.capacity() < pending.size() + replacement.size()) {
      pending.reserve(std::max(pending.size() + replacement.size(), pending.capacity() * 3 / 2));
    }
    pending.insert(pending.end(), replacement.rbegin(), replacement.rend());
  }
  return ok;
}

bool MacroExpander::Expand(std::vector<MacroToken> use, std::vector<MacroToken>& out) {
  out.clear();
  expansions_ = 0;
  sets_.resize(1);
  // Mark where each token of the use came from: the arguments by position, or the list that
  // follows an object-like macro.
  if (!use.empty()) {
    const MacroDefinition* macro =
        use[0].kind == MacroToken::Kind::kIdent ? macros_.Find(use[0].text) : nullptr;
    const bool functionLike = macro != nullptr && macro->functionLike;
    use[0].argument = kUseName;
    int level = 0;
    int32_t argument = 0;
    for (size_t k = 1; k < use.size(); ++k) {
      MacroToken& t = use[k];
      if (!functionLike) {
        t.argument = kTrailingArguments;
        continue;
      }
      if (IsPunct(t, "(") && level++ == 0) continue;
      if (IsPunct(t, ")") && --level == 0) continue;
      if (level == 1 && IsPunct(t, ",")) {
        ++argument;
        continue;
      }
      t.argument = argument;
    }
  }
  return Rescan(use, out, 0);
}

void MacroExpander::CallsOf(const std::vector<MacroToken>& expansion,
                            std::vector<std::string>& calls) {
  calls.clear();
  for (size_t k = 0; k + 1 < expansion.size(); ++k) {
    const MacroToken& t = expansion[k];
    const MacroToken& next = expansion[k + 1];
    if (t.kind != MacroToken::Kind::kIdent || !IsPunct(next, "(")) continue;
    if (t.argument == kUseName) continue;  // the use itself, left as written
    if (t.argument != -1 && t.argument == next.argument) continue;
    if (k > 0 && (IsPunct(expansion[k - 1], ".") || IsPunct(expansion[k - 1], "->"))) continue;
    if (NotACall(t.text)) continue;
    if (std::find(calls.begin(), calls.end(), t.text) == calls.end()) calls.emplace_back(t.text);
  }
}

namespace {

bool MatchesGlob(std::string_view pattern, std::string_view name) {
  // One "*" matches any run; linear enough for the short names of macros.
  const size_t star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == name;
  const std::string_view head = pattern.substr(0, star);
  const std::string_view rest = pattern.substr(star + 1);
  if (!name.starts_with(head)) return false;
  for (size_t from = head.size(); from <= name.size(); ++from) {
    if (MatchesGlob(rest, name.substr(from))) return true;
  }
  return false;
}

}  // namespace

std::vector<MacroNameRule> BuiltInMacroNameRules() {
  return {{"SYSCALL_DEFINE*", "sys_$0"},
          {"COMPAT_SYSCALL_DEFINE*", "compat_sys_$0"}};
}

bool ParseMacroNameRule(std::string_view text, MacroNameRule& rule) {
  const size_t blank = text.find_first_of(" \t");
  if (blank == std::string_view::npos) return false;
  const size_t second = text.find_first_not_of(" \t", blank);
  if (second == std::string_view::npos) return false;
  rule.pattern.assign(text.substr(0, blank));
  rule.nameTemplate.assign(text.substr(second));
  while (!rule.nameTemplate.empty() && IsBlank(rule.nameTemplate.back()))
    rule.nameTemplate.pop_back();
  return !rule.pattern.empty() && rule.nameTemplate.find_first_of(" \t") == std::string::npos;
}

bool MacroNameRuleMatches(const std::vector<MacroNameRule>& rules, std::string_view name) {
  return std::any_of(rules.begin(), rules.end(),
                     [&](const MacroNameRule& rule) { return MatchesGlob(rule.pattern, name); });
}

std::string NameByRules(const std::vector<MacroNameRule>& rules,
                        const std::vector<MacroToken>& use) {
  if (use.empty()) return {};
  for (const MacroNameRule& rule : rules) {
    if (!MatchesGlob(rule.pattern, use[0].text)) continue;
    // The first identifier of each argument.
    std::vector<std::string_view> arguments;
    int level = 0;
    bool taken = false;
    for (size_t k = 1; k < use.size(); ++k) {
      const MacroToken& t = use[k];
      if (IsPunct(t, "(")) {
        if (level++ == 0) arguments.emplace_back();
        continue;
      }
      if (IsPunct(t, ")")) {
        if (--level == 0) break;
        continue;
      }
      if (level == 1 && IsPunct(t, ",")) {
        arguments.emplace_back();
        taken = false;
        continue;
      }
      if (level == 1 && !taken && t.kind == MacroToken::Kind::kIdent && !arguments.empty()) {
        arguments.back() = t.text;
        taken = true;
      }
    }
    std::string name;
    const std::string& pattern = rule.nameTemplate;
    for (size_t i = 0; i < pattern.size(); ++i) {
      if (pattern[i] == '$' && i + 1 < pattern.size() && pattern[i + 1] >= '0' &&
          pattern[i + 1] <= '9') {
        const size_t k = static_cast<size_t>(pattern[++i] - '0');
        if (k >= arguments.size() || arguments[k].empty()) return {};
        name += arguments[k];
      } else {
        name += pattern[i];
      }
    }
    return name;
  }
  return {};
}

std::string DefinedNameOf(const std::vector<MacroToken>& expansion, bool listFollows) {
  if (expansion.empty()) return {};
  const MacroToken& last = expansion.back();
  if (listFollows && last.kind == MacroToken::Kind::kIdent && !NotACall(last.text)) {
    return std::string(last.text);
  }
  if (!IsPunct(last, ")")) return {};
  int level = 0;
  for (size_t k = expansion.size(); k-- > 0;) {
    if (IsPunct(expansion[k], ")")) ++level;
    if (IsPunct(expansion[k], "(") && --level == 0) {
      if (k > 0 && expansion[k - 1].kind == MacroToken::Kind::kIdent &&
          !NotACall(expansion[k - 1].text)) {
        return std::string(expansion[k - 1].text);
      }
      return {};
    }
  }
  return {};
}

}  // namespace quillmap
