/// The macros of C sources as the preprocessor sees them, without running one: read from the
/// "#define" and "#undef" lines of a text, looked up by name, and expanded with their arguments
/// ("#", "##", variadic lists) and rescanned, each expansion bounded in depth and size so that a
/// hostile macro (self-reference, endless recursion, a huge nest) costs a fixed amount of work.
/// Of "#if ... #else ... #endif" the first branch is read ("#if 0": the other), as the facts of
/// a source are read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <forward_list>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "absl/container/flat_hash_map.h"

namespace quillmap {

struct MacroDefinition {
  bool functionLike = false;
  bool variadic = false;                // its last parameter takes the rest ("..." or "args...")
  std::vector<std::string> parameters;  // a variadic "..." is "__VA_ARGS__"
  std::string body;                     // the replacement, comments left out, on one line
  /// Read in a branch presumed compiled (its condition rests on a name the scan never saw):
  /// it never replaces a definition in force, and only a source's own count (SourceMacros).
  bool presumed = false;
};

/// Calls `found(offset, name, definition)` for each "#define" (and with a null definition for
/// each "#undef") of the text, in text order; `offset` is that of the "#". The definition is
/// the caller's to take: it is not read again.
/// `predefined` names count as defined from the start (the build's -D options). `dead`, when
/// given, receives the ranges of the text (from the "#" of a branch's directive to that of the
/// next of its conditional) that those names decide are not compiled.
void ReadMacroDirectives(
    std::string_view text,
    const std::function<void(size_t, std::string_view, MacroDefinition*)>& found,
    const std::vector<std::string>* predefined = nullptr,
    std::vector<std::pair<size_t, size_t>>* dead = nullptr);

/// Whether a macro can matter to calls or names: its replacement holds an identifier. Tables of
/// numeric constants (register maps define millions) are not kept.
bool MacroCanName(const MacroDefinition& definition);

/// Where an expansion looks its macros up.
class MacroLookup {
 public:
  virtual ~MacroLookup() = default;
  virtual const MacroDefinition* Find(std::string_view name) const = 0;
};

/// Macros by name: the last definition counts, "#undef" removes one.
/// A sieve over a set of names by their length and first, middle and last bytes, 2^kLog2 bits:
/// most words looked up in a macro table are no macro, and most of them are turned away
/// without hashing. It never forgets a name; it takes no memory until the first.
template <int kLog2>
class NameSieve {
 public:
  void Add(std::string_view name) {
    if (name.empty()) return;
    if (bits_.empty()) bits_.resize((size_t{1} << kLog2) / 64);
    const size_t bit = Bit(name);
    bits_[bit / 64] |= uint64_t{1} << (bit % 64);
  }
  /// False when `name` was never added.
  bool MayHold(std::string_view name) const {
    if (bits_.empty() || name.empty()) return false;
    const size_t bit = Bit(name);
    return (bits_[bit / 64] >> (bit % 64) & 1) != 0;
  }

 private:
  static size_t Bit(std::string_view name) {
    const uint64_t ends = static_cast<uint8_t>(name.front()) |
                          uint64_t{static_cast<uint8_t>(name[name.size() / 2])} << 8 |
                          uint64_t{static_cast<uint8_t>(name.back())} << 16 |
                          uint64_t{name.size()} << 24;
    return static_cast<size_t>((ends * 0x9E3779B97F4A7C15u) >> (64 - kLog2));
  }
  std::vector<uint64_t> bits_;
};

class MacroTable : public MacroLookup {
 public:
  void Define(std::string_view name, MacroDefinition definition);
  void Undefine(std::string_view name);
  const MacroDefinition* Find(std::string_view name) const override;
  size_t size() const { return macros_.size(); }
  /// The directives of a text, in order (see ReadMacroDirectives).
  void Read(std::string_view text);
  /// Reads texts 0 .. count-1 as Read would one after the other; `load(i, text)` gives text i
  /// (false: there is none). With `workers` > 0 that many threads load and read the texts
  /// ahead, and what they read is taken into the table in order, so the table ends the same.
  /// `stop` is asked between texts (on the calling thread); true ends the reading there.
  void ReadAll(size_t count, const std::function<bool(size_t, std::string&)>& load,
               const std::function<bool()>& stop, unsigned workers);
  /// The names defined before any text (NAME or NAME=VALUE, as -D gives them); conditions on
  /// them are decided in every text read afterwards, the sources' too.
  void Predefine(std::string_view definition);
  const std::vector<std::string>& predefined() const { return predefined_; }
  /// Changes with every change of the table, and no two tables share one: what was derived
  /// from a table's answers holds as long as its version is the same.
  uint64_t version() const { return version_; }

 private:
  void Changed();

  // The names ever defined (4 M bits, 512 KB): a name that "#undef" removed keeps its bit.
  NameSieve<22> sieve_;
  // Looked up for every word of every body: an open-addressing table keeps that to about one
  // cache miss. Its values move when it grows, which it does only while texts are read.
  absl::flat_hash_map<std::string, MacroDefinition> macros_;
  std::vector<std::string> predefined_;
  uint64_t version_ = 0;
};

/// The macros one source sees at a place in it: its own definitions up to that place, else the
/// table of the project's headers. A source's definitions never reach another source.
class SourceMacros : public MacroLookup {
 public:
  /// Reads the directives of `text`; `headers` may be null. `defines` ("NAME" or "NAME=VALUE",
  /// as -D gives them) are the source's own build's: they hold from its start, for conditions
  /// as the headers' predefined names do, and as definitions.
  SourceMacros(std::string_view text, const MacroTable* headers,
               const std::vector<std::string>* defines = nullptr);
  /// Lookups answer as at `offset` of the text from now on.
  void At(size_t offset) { at_ = offset; }
  const MacroDefinition* Find(std::string_view name) const override;
  bool empty() const { return byName_.empty() && headers_ == nullptr; }
  /// How many of the source's own directives lie at or before the place of the lookups. Two
  /// places with the same count see the same macros; with none, lookups answer as the headers'
  /// table alone does.
  size_t DirectivesBefore() const;
  const MacroTable* headers() const { return headers_; }
  /// The ranges of the text that the build's names decide are not compiled, in text order
  /// (see ReadMacroDirectives).
  const std::vector<std::pair<size_t, size_t>>& dead() const { return dead_; }
  /// Whether `macro` is one of the source's own definitions.
  bool Owns(const MacroDefinition* macro) const {
    return !definitions_.empty() && std::less_equal<>()(definitions_.data(), macro) &&
           std::less<>()(macro, definitions_.data() + definitions_.size());
  }

 private:
  struct Directive {
    size_t offset;
    int32_t definition;  // index into definitions_, -1 for "#undef"
  };
  std::vector<MacroDefinition> definitions_;
  absl::flat_hash_map<std::string, std::vector<Directive>> byName_;  // in text order
  NameSieve<12> sieve_;          // the names of byName_ (4096 bits)
  std::vector<size_t> offsets_;  // of every directive, in text order
  std::vector<std::pair<size_t, size_t>> dead_;
  const MacroTable* headers_;
  size_t at_ = 0;
};

/// A token of an expansion. `argument` says where it came from: -1 a replacement text, k >= 0
/// the k-th argument of the use as written, kTrailing the parenthesised list after an
/// object-like use ("get4byte(p)").
struct MacroToken {
  enum class Kind : uint8_t { kIdent, kNumber, kString, kPunct };
  Kind kind = Kind::kPunct;
  int32_t argument = -1;
  uint32_t hidden = 0;  // the macros not to expand again in it (index into the expander's sets)
  /// Into the text it was read from (the use, a replacement text), or into the expander that
  /// made it ("##", "#"): it lives as long as both.
  std::string_view text;
};

/// Splits C text into tokens, each a view into `text`; comments and line continuations are
/// blank.
void TokenizeMacroText(std::string_view text, std::vector<MacroToken>& out);

/// Bounds of one expansion. Within them the result is what a preprocessor gives; past them the
/// rest stays as written and the result says so.
struct MacroLimits {
  int depth = 32;          // nested argument expansions
  size_t expansions = 256;  // macro replacements in all
  size_t tokens = 4096;     // tokens held at once
};

/// The tokens of replacement texts, split once for many expansions. What is kept for a
/// definition views its text: each definition outlives its entry (the headers' table for the
/// whole scan; a source's own definitions until the next source).
class MacroBodies {
 public:
  /// From here on the definitions owned by `source` are kept for it alone; those of an earlier
  /// source are dropped, and everything when the headers' table changed.
  void StartSource(const SourceMacros& source);
  const std::vector<MacroToken>& Of(const MacroDefinition& macro);

 private:
  // Past this many tokens kept, the cache starts over: a bound on its memory.
  static constexpr size_t kMaxTokens = size_t{1} << 18;
  using Bodies = std::unordered_map<const MacroDefinition*, std::vector<MacroToken>>;
  Bodies shared_;  // the headers' definitions
  Bodies local_;   // the source's own
  const SourceMacros* source_ = nullptr;
  uint64_t version_ = 0;
  size_t tokens_ = 0;
};

class MacroExpander {
 public:
  /// With `bodies`, replacement texts are split once for all expansions that share it.
  explicit MacroExpander(const MacroLookup& macros, MacroLimits limits = {},
                         MacroBodies* bodies = nullptr);
  ~MacroExpander();

  /// Expands `use`, the tokens of one use as the text writes it: the macro's name, then its
  /// argument list (or, after an object-like macro, the list that follows it). Returns false
  /// when a limit cut the expansion short.
  bool Expand(std::vector<MacroToken> use, std::vector<MacroToken>& out);

  /// The names called in an expansion: an identifier followed by "(" that is not a keyword or a
  /// member, unless both came from the same argument as written (a call the text shows itself).
  static void CallsOf(const std::vector<MacroToken>& expansion, std::vector<std::string>& calls);

 private:
  bool Hidden(uint32_t set, const MacroDefinition* macro) const;
  uint32_t Hide(uint32_t set, const MacroDefinition* macro);
  // Rescans `input` into `out`; false when cut short.
  bool Rescan(std::vector<MacroToken>& input, std::vector<MacroToken>& out, int depth);
  // The replacement of `macro` with `arguments` substituted ("#", "##" applied).
  bool Substitute(const MacroDefinition& macro, std::span<const std::vector<MacroToken>> arguments,
                  const MacroToken& name, std::vector<MacroToken>& out, int depth);

  struct ExpansionLevel;
  // The buffers of nesting level `depth`; each keeps its place while deeper ones are added.
  ExpansionLevel& LevelAt(int depth);

  struct HiddenSet {
    uint32_t parent;
    const MacroDefinition* macro;
  };
  // Keeps the text of a token that the expansion made; the view stays valid while the
  // expander lives.
  std::string_view Made(std::string text) { return made_.emplace_front(std::move(text)); }

  const MacroLookup& macros_;
  MacroLimits limits_;
  MacroBodies* bodies_;
  size_t expansions_ = 0;
  std::vector<HiddenSet> sets_{{0, nullptr}};  // set 0 is empty
  // Never moves its strings, and takes no memory before the first (most expansions make none).
  std::forward_list<std::string> made_;
  std::vector<std::unique_ptr<ExpansionLevel>> levels_;
};

/// How a definition whose name position holds a macro that no table knows is named: the macros
/// whose names match `pattern` ("*" any run of characters) name it by `nameTemplate`, where $0,
/// $1, ... stand for the identifiers of their arguments ("SYSCALL_DEFINE*" -> "sys_$0").
struct MacroNameRule {
  std::string pattern;
  std::string nameTemplate;
};

/// The rules for the common Linux forms (SYSCALL_DEFINEn, COMPAT_SYSCALL_DEFINEn).
std::vector<MacroNameRule> BuiltInMacroNameRules();

/// Reads a rule written "PATTERN TEMPLATE"; false when it is not two words.
bool ParseMacroNameRule(std::string_view text, MacroNameRule& rule);

/// Whether the pattern of a rule matches the macro name `name`; NameByRules gives "" for a use
/// of any other name.
bool MacroNameRuleMatches(const std::vector<MacroNameRule>& rules, std::string_view name);

/// The name that the first matching rule gives the use `use` (its name and argument list), or "".
std::string NameByRules(const std::vector<MacroNameRule>& rules,
                        const std::vector<MacroToken>& use);

/// The name an expansion defines when a parameter list and a body follow it, or follow its last
/// parameter list: the identifier before that list, else its last token when that is an
/// identifier; "" when there is none.
std::string DefinedNameOf(const std::vector<MacroToken>& expansion, bool listFollows);

inline constexpr int32_t kTrailingArguments = -2;
/// The name of the macro of a use (MacroToken::argument).
inline constexpr int32_t kUseName = -3;

}  // namespace quillmap
