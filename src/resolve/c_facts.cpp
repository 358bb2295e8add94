#include "resolve/c_facts.h"

#include <algorithm>
#include <array>
#include <deque>
#include <unordered_map>

#include "absl/container/flat_hash_map.h"
#include "resolve/byte_scan.h"
#include "resolve/c_identifier_chars.h"
#include "resolve/c_punctuators.h"

namespace quillmap {

namespace {

enum class Kind : uint8_t { kIdent, kNumber, kString, kPunct };

// What a punctuator is, in one byte: most are their own byte; the operators of several bytes
// that the reader asks about have codes below the printable bytes, the others share one.
constexpr char kArrow = '\x01';        // "->"
constexpr char kEllipsis = '\x02';     // "..."
constexpr char kPaste = '\x03';        // "##"
constexpr char kOtherOperator = '\x04';
constexpr char kOtherByte = '\x05';    // a byte outside the printable ones
constexpr char kNoOperator = '\0';     // not a punctuator

struct Tok {
  Kind kind;
  char op;  // kPunct: see kArrow; kNoOperator for the other kinds
  std::string_view text;
  size_t offset;
  int line;
};

// The code of a punctuator spelt `text` (one to three bytes).
inline char OperatorCode(std::string_view text) {
  if (text.size() == 1) {
    const char c = text[0];
    return c > ' ' && c < '\x7f' ? c : kOtherByte;
  }
  if (text == "->") return kArrow;
  if (text == "...") return kEllipsis;
  if (text == "##") return kPaste;
  return kOtherOperator;
}


// A function-like macro: tables are often written as a list of macro calls that each expand to
// one braced element ("FUNCTION(trim, 1, 0, trimFunc)"), or a whole table declared by one
// ("IOMETHODS(finder, methods, 3, xClose, ...)").
struct Macro {
  std::vector<std::string_view> parameters;
  size_t bodyStart = 0;  // offsets of its replacement text
  size_t bodyEnd = 0;
  bool dispatches = false;  // its text may call through a member ("->f(", ".f(", ")(")
};
using Macros = std::unordered_map<std::string_view, Macro>;

// Tokens of the text: comments and preprocessor lines left out, literals as one token. The
// function-like macros go to `macros` when given.
void Tokenize(std::string_view text, std::vector<Tok>& out, Macros* macros) {
  out.clear();
  size_t i = 0;
  int line = 1;
  int nesting = 0;  // open conditionals
  bool skipping = false;
  int skipFrom = 0;  // the conditional whose later branches are skipped
  bool deadBranch = false;  // what is skipped is the "#if 0" branch of skipFrom
  bool lineStart = true;
  const size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      lineStart = true;
      ++i;
      continue;
    }
    if (IsBlank(c)) {
      ++i;
      while (i < n && IsBlank(text[i])) ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && text[i + 1] == '*') {
      const size_t end = text.find("*/", i + 2);
      const size_t stop = end == std::string_view::npos ? n : end + 2;
      line += static_cast<int>(std::count(text.begin() + static_cast<ptrdiff_t>(i),
                                          text.begin() + static_cast<ptrdiff_t>(stop), '\n'));
      i = stop;
      continue;
    }
    if (c == '/' && i + 1 < n && text[i + 1] == '/') {
      while (i < n && text[i] != '\n') ++i;
      continue;
    }
    if (c == '#' && lineStart) {
      // Of "#if ... #else ... #endif" the first branch is read, so that braces opened in both
      // branches are counted once.
      size_t w = i + 1;
      while (w < n && (text[w] == ' ' || text[w] == '\t')) ++w;
      size_t we = w;
      while (we < n && IsIdentChar(text[we])) ++we;
      const std::string_view word = text.substr(w, we - w);
      if (word.starts_with("if")) {
        ++nesting;
        // "#if 0" is dead code: its "#else" is read instead.
        size_t c0 = we;
        while (c0 < n && (text[c0] == ' ' || text[c0] == '\t')) ++c0;
        if (word == "if" && !skipping && c0 < n && text[c0] == '0' &&
            (c0 + 1 >= n || !IsIdentChar(text[c0 + 1]))) {
          skipping = true;
          skipFrom = nesting;
          deadBranch = true;
        }
      } else if (word == "endif") {
        if (skipping && nesting == skipFrom) skipping = false;
        if (nesting > 0) --nesting;
      } else if ((word == "else" || word == "elif") && skipping && deadBranch &&
                 nesting == skipFrom) {
        skipping = false;
        deadBranch = false;
      } else if ((word == "else" || word == "elif") && !skipping && nesting > 0) {
        skipping = true;
        skipFrom = nesting;
        deadBranch = false;
      } else if (word == "define" && macros != nullptr && !skipping) {
        size_t p = we;
        while (p < n && (text[p] == ' ' || text[p] == '\t')) ++p;
        size_t q = p;
        while (q < n && IsIdentChar(text[q])) ++q;
        if (q > p && q < n && text[q] == '(') {
          Macro macro;
          size_t r = q + 1;
          while (r < n && text[r] != ')' && text[r] != '\n') {
            if (IsIdentStart(text[r])) {
              const size_t s0 = r;
              while (r < n && IsIdentChar(text[r])) ++r;
              macro.parameters.push_back(text.substr(s0, r - s0));
            } else {
              ++r;
            }
          }
          size_t body = r + 1;
          while (body < n && (text[body] == ' ' || text[body] == '\t' || text[body] == '\r' ||
                              (text[body] == '\\' && body + 1 < n && text[body + 1] == '\n') ||
                              (text[body] == '\n' && text[body - 1] == '\\'))) {
            ++body;
          }
          size_t end = body;
          while (end < n && !(text[end] == '\n' && text[end - 1] != '\\')) ++end;
          if (body < end) {
            macro.bodyStart = body;
            macro.bodyEnd = end;
            const std::string_view replacement = text.substr(body, end - body);
            macro.dispatches = replacement.find("->") != std::string_view::npos ||
                               replacement.find(")(") != std::string_view::npos;
            (*macros)[text.substr(p, q - p)] = std::move(macro);
          }
        }
      }
      // A directive runs to the line feed not escaped by a backslash.
      while (i < n && !(text[i] == '\n' && (i == 0 || text[i - 1] != '\\'))) {
        if (text[i] == '\n') ++line;
        if (text[i] == '/' && i + 1 < n && text[i + 1] == '*') {
          const size_t end = text.find("*/", i + 2);
          const size_t stop = end == std::string_view::npos ? n : end + 2;
          line += static_cast<int>(std::count(text.begin() + static_cast<ptrdiff_t>(i),
                                              text.begin() + static_cast<ptrdiff_t>(stop), '\n'));
          i = stop;
          continue;
        }
        ++i;
      }
      continue;
    }
    lineStart = false;
    if (skipping) {
      // Inside a branch not read: only literals matter (a quote may hold a "#" or a line feed).
      if (c == '"' || c == '\'') {
        ++i;
        while (i < n && text[i] != c && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
        if (i < n && text[i] == c) ++i;
      } else {
        ++i;
      }
      // Until the line ends only a comment or a literal can matter.
      i = FindAnyOf<'\n', '/', '"', '\''>(text, i);
      continue;
    }
    const size_t start = i;
    Kind kind = Kind::kPunct;
    if (IsIdentStart(c)) {
      while (i < n && IsIdentChar(text[i])) ++i;
      kind = Kind::kIdent;
      if (i < n && (text[i] == '"' || text[i] == '\'') && i - start <= 2) {
        kind = Kind::kString;  // L"..", u8"..": the literal follows
      }
    } else if (c >= '0' && c <= '9') {
      while (i < n && (IsIdentChar(text[i]) || text[i] == '.')) ++i;
      kind = Kind::kNumber;
    } else {
      kind = c == '"' || c == '\'' ? Kind::kString : Kind::kPunct;
    }
    if (kind == Kind::kString) {
      const char quote = text[i];
      ++i;
      while (i < n && text[i] != quote && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
      if (i < n && text[i] == quote) ++i;
      if (i > n) i = n;
    } else if (kind == Kind::kPunct) {
      i += CPunctuatorLength(text, start);
    }
    const std::string_view spelt = text.substr(start, i - start);
    out.push_back({kind, kind == Kind::kPunct ? OperatorCode(spelt) : kNoOperator, spelt, start,
                   line});
  }
}

constexpr std::string_view kQualifiers[] = {
    "const",  "volatile",   "static",     "extern",      "register", "inline", "__inline",
    "__inline__", "restrict", "__restrict", "auto",      "_Atomic",  "typedef", "__extension__",
    "signed", "unsigned",   "long",       "short",       "__const"};
constexpr std::string_view kPlainTypes[] = {"int",  "char",   "void",  "float", "double",
                                            "_Bool", "bool", "signed", "unsigned", "long", "short"};
constexpr std::string_view kStatementWords[] = {"return", "if",    "while", "for",   "do",
                                                "switch", "case",  "goto",  "else",  "break",
                                                "continue", "sizeof", "default"};

// For each first byte, the lengths of the words of a list that begin with it (bit k: length k).
template <size_t N>
constexpr std::array<uint32_t, 256> LengthsByFirstByte(const std::string_view (&words)[N]) {
  std::array<uint32_t, 256> lengths{};
  for (const std::string_view w : words) lengths[static_cast<uint8_t>(w[0])] |= uint32_t{1} << w.size();
  return lengths;
}

// Whether `word` is one of kWords. Asked of most identifiers, most of which are turned away by
// their first byte and length.
template <const auto& kWords>
bool In(std::string_view word) {
  static constexpr std::array<uint32_t, 256> kLengths = LengthsByFirstByte(kWords);
  if (word.empty() || word.size() >= 32 ||
      (kLengths[static_cast<uint8_t>(word[0])] >> word.size() & 1) == 0) {
    return false;
  }
  for (const std::string_view w : kWords) {
    if (w.size() == word.size() && w == word) return true;
  }
  return false;
}

// The position that stands for a function's return value among its parameters.
constexpr int32_t kReturnValue = -1;

bool IsAggregate(std::string_view w) { return w == "struct" || w == "union" || w == "enum"; }

// Most comparisons are of one-byte tokens: the first byte decides them.
inline bool Is(const Tok& t, std::string_view text) {
  return t.text.size() == text.size() && t.text[0] == text[0] &&
         (text.size() == 1 || t.text == text);
}

// A punctuator by its code (see kArrow).
inline bool Is(const Tok& t, char op) { return t.op == op; }

// A name that reads as a value: constants and macros in capitals are left out.
bool HasLower(std::string_view name) {
  return std::any_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// A declarator: its name, whether it declares a pointer to a function (or an array of them),
// an array, or a function, and where its initialiser starts (0: none).
struct Declarator {
  std::string_view name;
  bool functionPointer = false;
  bool array = false;
  bool function = false;
  size_t init = 0;  // token index after "="
  size_t end = 0;   // the "," or end of the declarator
};

struct Declaration {
  std::string_view type;  // the struct tag or typedef name; empty for plain types
  bool plain = false;     // a plain C type (int, char ...)
  size_t bodyOpen = 0;    // the "{" of a struct body within the declaration, 0: none
  size_t bodyClose = 0;
  bool isStruct = false;  // the body is a struct or union (not an enum)
  bool isTypedef = false;
  bool isStatic = false;
  std::vector<Declarator> declarators;
};

// The calls that uses of macros expand to, by the text of the use: the same text with the same
// macros in sight expands to the same calls, and a large tree repeats its uses (a constant in
// every other line, the same lock macro on the same member). Uses that see only the headers'
// table are kept from source to source while the table stays as it is; the others, which see
// the source's own definitions, for that source only.
class MacroUseMemo {
 public:
  void StartSource(const SourceMacros& source) {
    const uint64_t version = source.headers()->version();
    if (version != version_ || sharedBytes_ > kSharedBytes) {
      shared_.clear();
      sharedBytes_ = 0;
      version_ = version;
    }
    local_.clear();
    bodies.StartSource(source);
  }

  MacroBodies bodies;

  const std::vector<std::string>* Find(const SourceMacros& macros, std::string_view use) {
    const size_t before = macros.DirectivesBefore();
    const auto& map = before == 0 ? shared_ : local_;
    const auto it = map.find(before == 0 ? use : LocalKey(before, use));
    return it == map.end() ? nullptr : &it->second;
  }
  void Keep(const SourceMacros& macros, std::string_view use,
            const std::vector<std::string>& calls) {
    const size_t before = macros.DirectivesBefore();
    if (before != 0) {
      local_.emplace(LocalKey(before, use), calls);
      return;
    }
    sharedBytes_ += use.size() + sizeof(calls) + 64;
    for (const std::string& call : calls) sharedBytes_ += call.size() + sizeof(call);
    shared_.emplace(use, calls);
  }

 private:
  // Past this the kept uses are dropped and kept anew: a bound on the memory of a huge tree.
  static constexpr size_t kSharedBytes = size_t{64} << 20;
  std::string_view LocalKey(size_t before, std::string_view use) {
    key_.assign(reinterpret_cast<const char*>(&before), sizeof before);
    key_.append(use);
    return key_;
  }
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Calls = std::unordered_map<std::string, std::vector<std::string>, Hash, std::equal_to<>>;
  Calls shared_;
  Calls local_;
  size_t sharedBytes_ = 0;
  uint64_t version_ = 0;
  std::string key_;
};

class FactReader {
 public:
  FactReader(std::string_view text, const std::vector<CDefinitionRange>& ranges, CFileFacts& facts,
             std::vector<Tok>& tokens, SourceMacros* sourceMacros,
             const std::vector<MacroNameRule>* nameRules, MacroUseMemo* memo = nullptr)
      : text_(text),
        ranges_(ranges),
        facts_(facts),
        t_(tokens),
        sourceMacros_(sourceMacros),
        nameRules_(nameRules),
        memo_(memo) {}

  void Run();

 private:
  // Just after the group that the bracket at `i` opens (or the end).
  size_t Skip(size_t i, size_t end) const {
    const char openOp = t_[i].op;
    const char closeOp = openOp == '(' ? ')' : openOp == '[' ? ']' : openOp == '{' ? '}' : 0;
    if (closeOp != 0) {
      int depth = 0;
      for (; i < end; ++i) {
        const char op = t_[i].op;
        if (op == openOp) {
          ++depth;
        } else if (op == closeOp && --depth == 0) {
          return i + 1;
        }
      }
      return end;
    }
    const std::string_view open = t_[i].text;
    const std::string_view close = open == "(" ? ")" : open == "[" ? "]" : "}";
    int depth = 0;
    for (; i < end; ++i) {
      if (t_[i].text == open) ++depth;
      if (t_[i].text == close && --depth == 0) return i + 1;
    }
    return end;
  }
  bool Opens(size_t i) const {
    return t_[i].kind == Kind::kPunct && (Is(t_[i], '(') || Is(t_[i], '[') || Is(t_[i], '{'));
  }
  // Each non-empty argument of the list whose "(" is at `open` and whose group ends at `close`
  // (just after its ")"), as `each(first, end, position)`; nothing past `b`.
  template <typename Each>
  void EachArgument(size_t open, size_t close, size_t b, Each each) {
    const size_t closeParen = close - 1;
    int32_t position = 0;
    size_t start = open + 1;
    for (size_t j = open + 1; j <= closeParen && closeParen < b; ++j) {
      if (j < closeParen && Opens(j)) {
        j = Skip(j, closeParen) - 1;
        continue;
      }
      if (j != closeParen && !Is(t_[j], ',')) continue;
      if (j > start) each(start, j, position);
      ++position;
      start = j + 1;
    }
  }
  // The index of the bracket that closes before `i` opened: i at ")" "]" or "}".
  size_t OpenOf(size_t i, size_t floor) const {
    const char closeOp = t_[i].op;
    const char openOp = closeOp == ')' ? '(' : closeOp == ']' ? '[' : closeOp == '}' ? '{' : 0;
    if (openOp != 0) {
      int depth = 0;
      for (size_t j = i + 1; j-- > floor;) {
        const char op = t_[j].op;
        if (op == closeOp) {
          ++depth;
        } else if (op == openOp && --depth == 0) {
          return j;
        }
      }
      return floor;
    }
    const std::string_view close = t_[i].text;
    const std::string_view open = close == ")" ? "(" : close == "]" ? "[" : "{";
    int depth = 0;
    for (size_t j = i + 1; j-- > floor;) {
      if (t_[j].text == close) ++depth;
      if (t_[j].text == open && --depth == 0) return j;
    }
    return floor;
  }

  Declaration ParseDeclaration(size_t a, size_t b) const;
  Declarator ParseDeclarator(size_t a, size_t b) const;
  void FileScope(size_t a, size_t b);
  // The type name of a declaration's struct (giving an untagged one a name).
  std::string_view DefineStruct(Declaration& decl);
  void StructBody(std::string name, size_t open, size_t close);
  void Initialiser(const CSlot& base, const CSlot& variable, bool array, size_t open, size_t close,
                   int depth);
  // With `paths` false a member path is not spelt out: the slot says only that it is one.
  CSlot ValueSource(size_t a, size_t b, bool paths = true) const;
  // Calls `found(slot)` for each value t_[a, b) may take: both branches of "c ? f : g".
  template <class Found>
  void EachValueSource(size_t a, size_t b, Found&& found, int depth = 0,
                       bool paths = true) const;
  // Reads the braced replacement of `macro` called with the arguments t_[open, close) as the
  // initialiser of `slot`.
  void Expand(const Macro& macro, size_t open, size_t close, const CSlot& slot, int depth);
  // Appends the replacement of `macro` called with the arguments t_[open, close); returns where
  // it starts.
  size_t ExpandTokens(const Macro& macro, size_t open, size_t close);
  // The declarations of t_[from, to), a stretch at file scope.
  void FileScopeTokens(size_t from, size_t to);
  CSlot Expression(size_t a, size_t b) const;
  CSlot Postfix(size_t first, size_t last, std::string_view& via) const;
  CSlot NameSlot(std::string_view name) const;
  void Function(size_t r, size_t a, size_t b);
  void Parameters(size_t r, size_t header, size_t body);
  void Body(size_t a, size_t b);
  // The use of a macro at t_[i] inside body t_[a, b), with the calls of its expansion.
  void MacroUse(size_t i, size_t b);
  // Whether the text defines a function named `name`.
  bool DefinesFunction(std::string_view name);
  // The name that a macro in the name's place of definition r makes (see CDefinitionFacts).
  void MadeName(size_t r, size_t header, size_t body);
  void LocalDeclaration(size_t a, size_t b);
  void Flow(CSlot to, CSlot from) {
    if (to.valid() && from.valid()) facts_.flows.push_back({std::move(to), std::move(from)});
  }
  std::string Via(size_t a, size_t b) const {
    std::string via;
    for (size_t i = a; i < b; ++i) via += t_[i].text;
    return via;
  }
  int ArgumentCount(size_t open, size_t end) const {
    const size_t close = Skip(open, end);
    if (close == open + 2) return 0;
    int count = 1;
    for (size_t i = open + 1; i + 1 < close; ++i) {
      if (Opens(i)) {
        i = Skip(i, close) - 1;
      } else if (Is(t_[i], ',')) {
        ++count;
      }
    }
    return count;
  }

  struct Local {
    std::string_view type;
    bool functionPointer;
    int parameter;  // position, -1 for a local
  };

  // The local or parameter of the function being read that `slot` names, or null.
  const Local* LocalOf(const CSlot& slot) const {
    if (slot.kind == CSlot::Kind::kLocal) {
      const auto it = locals_.find(slot.name);
      return it == locals_.end() ? nullptr : &it->second;
    }
    if (slot.kind != CSlot::Kind::kParameter || slot.name != functionName_) return nullptr;
    for (const auto& [name, local] : locals_) {
      if (local.parameter == slot.index) return &local;
    }
    return nullptr;
  }

  std::string_view text_;
  const std::vector<CDefinitionRange>& ranges_;
  CFileFacts& facts_;
  std::vector<Tok>& t_;
  Macros macros_;
  SourceMacros* sourceMacros_;  // null: macro uses are not expanded
  const std::vector<MacroNameRule>* nameRules_;
  MacroUseMemo* memo_;  // with sourceMacros_
  std::vector<std::string_view> definedNames_;  // sorted; made when a presumed macro is used
  std::vector<Tok> header_;                     // a header's own tokens (see Run)
  std::vector<MacroToken> use_;
  std::vector<MacroToken> expansion_;
  std::vector<std::string> calls_;
  int expanding_ = 0;  // macro expansions under way (each one's tokens follow the text's)
  // Looked up for most identifiers of every body: open addressing keeps that to one probe.
  absl::flat_hash_map<std::string_view, Local> globals_;
  absl::flat_hash_map<std::string_view, Local> locals_;
  std::vector<std::string_view> functionTypes_;  // typedefs of function (pointer) types
  // The file's functions: which of their parameters are function pointers.
  absl::flat_hash_map<std::string_view, std::vector<bool>> pointerParameters_;
  std::deque<std::string> pasted_;  // names that macro expansion glued with "##"
  int32_t function_ = -1;
  std::string_view functionName_;
};

Declarator FactReader::ParseDeclarator(size_t a, size_t b) const {
  Declarator d;
  d.end = b;
  size_t i = a;
  for (; i < b; ++i) {
    const Tok& t = t_[i];
    if (Is(t, '=')) {
      // "x =" at the end of the text or of a macro's expansion initialises with nothing.
      if (i + 1 < b) d.init = i + 1;
      break;
    }
    if (Is(t, '(')) {
      // "(*name)(...)", "(*name[4])(...)", or a parameter list after the name.
      size_t j = i + 1;
      while (j < b && (Is(t_[j], '*') || (t_[j].kind == Kind::kIdent && j + 1 < b &&
                                          t_[j + 1].kind == Kind::kIdent))) {
        ++j;
      }
      // "(*(*name)(args))(void)": a pointer to a function that returns one.
      if (j < b && Is(t_[i + 1], '*') && Is(t_[j], '(')) {
        size_t k = j;
        while (k < b && (Is(t_[k], '(') || Is(t_[k], '*'))) ++k;
        if (k < b && t_[k].kind == Kind::kIdent) j = k;
      }
      if (j > i + 1 && j < b && t_[j].kind == Kind::kIdent && Is(t_[i + 1], '*')) {
        d.name = t_[j].text;
        d.functionPointer = true;
        if (j + 1 < b && Is(t_[j + 1], '[')) d.array = true;
      } else if (!d.name.empty()) {
        d.function = !d.functionPointer;
      }
      i = Skip(i, b) - 1;
      continue;
    }
    if (Is(t, '[')) {
      d.array = true;
      i = Skip(i, b) - 1;
      continue;
    }
    if (Is(t, ':')) break;  // a bit-field's width
    if (t.kind == Kind::kIdent && !d.functionPointer && !In<kQualifiers>(t.text)) {
      if (t.text.starts_with("__attribute")) {
        if (i + 1 < b && Is(t_[i + 1], '(')) i = Skip(i + 1, b) - 1;
        continue;
      }
      d.name = t.text;
    }
  }
  return d;
}

Declaration FactReader::ParseDeclaration(size_t a, size_t b) const {
  Declaration decl;
  size_t i = a;
  for (; i < b; ++i) {
    const Tok& t = t_[i];
    if (t.kind != Kind::kIdent) break;
    if (Is(t, "typedef")) decl.isTypedef = true;
    if (Is(t, "static")) decl.isStatic = true;
    if (t.text.starts_with("__attribute") || t.text == "__declspec" || t.text == "__aligned") {
      if (i + 1 < b && Is(t_[i + 1], '(')) i = Skip(i + 1, b) - 1;
      continue;
    }
    if (In<kQualifiers>(t.text)) {
      if (In<kPlainTypes>(t.text)) decl.plain = true;
      continue;
    }
    if (IsAggregate(t.text)) {
      decl.isStruct = t.text != "enum";
      ++i;
      while (i < b && t_[i].kind == Kind::kIdent && t_[i].text.starts_with("__attribute")) {
        i = i + 1 < b && Is(t_[i + 1], '(') ? Skip(i + 1, b) : i + 1;
      }
      if (i < b && t_[i].kind == Kind::kIdent) decl.type = t_[i++].text;
      if (i < b && Is(t_[i], '{')) {
        decl.bodyOpen = i;
        i = Skip(i, b);
        decl.bodyClose = i - 1;
      }
      break;
    }
    if (In<kPlainTypes>(t.text)) {
      decl.plain = true;
      ++i;
      // "unsigned long int x": the rest of a plain type.
      while (i < b && t_[i].kind == Kind::kIdent && (In<kPlainTypes>(t_[i].text) ||
                                                    In<kQualifiers>(t_[i].text))) {
        ++i;
      }
      break;
    }
    decl.type = t.text;  // a typedef name
    ++i;
    break;
  }
  if (decl.plain && decl.bodyOpen == 0) decl.type = {};
  // The declarators, split at the commas outside brackets.
  size_t start = i;
  for (size_t j = i; j <= b; ++j) {
    if (j < b && Opens(j)) {
      j = Skip(j, b) - 1;
      continue;
    }
    if (j == b || Is(t_[j], ',')) {
      if (j > start) {
        Declarator d = ParseDeclarator(start, j);
        d.end = j;
        if (!d.name.empty()) decl.declarators.push_back(d);
      }
      start = j + 1;
    }
  }
  return decl;
}

void FactReader::StructBody(std::string name, size_t open, size_t close) {
  const size_t index = facts_.structs.size();
  facts_.structs.push_back({name, {}});
  int anonymous = 0;
  size_t start = open + 1;
  for (size_t i = open + 1; i <= close; ++i) {
    if (i < close && Is(t_[i], '{')) {
      i = Skip(i, close) - 1;
      continue;
    }
    if (i < close && Is(t_[i], '(')) {
      i = Skip(i, close) - 1;
      continue;
    }
    if (i == close || Is(t_[i], ';')) {
      if (i > start) {
        const Declaration decl = ParseDeclaration(start, i);
        std::string type(decl.type);
        if (decl.bodyOpen != 0 && decl.isStruct) {
          // A struct inside: its own type, or its members promoted when it has no name.
          if (type.empty()) {
            type = decl.declarators.empty() ? std::string()
                                            : name + "." + std::string(decl.declarators[0].name);
            if (type.empty()) type = name + ".#" + std::to_string(anonymous++);
          }
          StructBody(type, decl.bodyOpen, decl.bodyClose);
          if (decl.declarators.empty()) {
            // Read again after the inner body was added: the vector may have grown.
            std::vector<CMember> inner;
            for (const CStruct& s : facts_.structs) {
              if (s.name == type) inner = s.members;
            }
            for (CMember& m : inner) facts_.structs[index].members.push_back(std::move(m));
          }
        }
        for (const Declarator& d : decl.declarators) {
          facts_.structs[index].members.push_back(
              {std::string(d.name), d.functionPointer ? std::string() : type, d.array});
        }
      }
      start = i + 1;
    }
  }
}

CSlot FactReader::NameSlot(std::string_view name) const {
  CSlot slot;
  if (function_ >= 0) {
    const auto local = locals_.find(name);
    if (local != locals_.end()) {
      if (local->second.parameter >= 0) {
        slot.kind = CSlot::Kind::kParameter;
        slot.name = functionName_;
        slot.index = local->second.parameter;
      } else {
        slot.kind = CSlot::Kind::kLocal;
        slot.name = name;
        slot.index = function_;
      }
      return slot;
    }
  }
  slot.kind = globals_.contains(name) ? CSlot::Kind::kGlobal : CSlot::Kind::kName;
  slot.name = name;
  return slot;
}

// A value that names a function or a slot: "fn", "&fn", "(type)fn", "(fn)", "p->f".
CSlot FactReader::ValueSource(size_t a, size_t b, bool paths) const {
  while (a < b) {
    if (Is(t_[a], '&')) {
      ++a;
    } else if (Is(t_[a], '(') && Skip(a, b) == b && b > a + 2) {
      ++a;
      --b;
    } else if (Is(t_[a], '(') && Skip(a, b) < b) {
      // A cast: a type name, or words and "*" only.
      const size_t close = Skip(a, b);
      bool cast = true;
      for (size_t i = a + 1; i + 1 < close; ++i) {
        if (t_[i].kind != Kind::kIdent && !Is(t_[i], '*')) cast = false;
      }
      if (!cast) return {};
      a = close;
    } else {
      break;
    }
  }
  if (b == a + 1 && t_[a].kind == Kind::kIdent) {
    if (!HasLower(t_[a].text) || t_[a].text == "true" || t_[a].text == "false") return {};
    return NameSlot(t_[a].text);
  }
  // "get_ops(x)": what that function returns.
  if (b > a + 2 && t_[a].kind == Kind::kIdent && Is(t_[a + 1], '(') && Skip(a + 1, b) == b &&
      !In<kStatementWords>(t_[a].text) && !locals_.contains(t_[a].text)) {
    CSlot slot;
    slot.kind = CSlot::Kind::kParameter;
    slot.name = t_[a].text;
    slot.index = kReturnValue;
    return slot;
  }
  if (b > a + 2 && t_[b - 1].kind == Kind::kIdent && (Is(t_[b - 2], '.') || Is(t_[b - 2], kArrow))) {
    if (!paths) {
      CSlot member;
      member.kind = CSlot::Kind::kMember;
      return member;
    }
    std::string_view via;
    return Postfix(a, b - 1, via);
  }
  return {};
}

template <class Found>
void FactReader::EachValueSource(size_t a, size_t b, Found&& found, int depth,
                                 bool paths) const {
  while (a + 2 < b && Is(t_[a], '(') && Skip(a, b) == b) {
    ++a;
    --b;
  }
  // "c ? f : g", "c ? f : d ? g : h": the "?" and its ":" outside brackets.
  size_t question = b;
  for (size_t i = a; i < b && depth < 8; ++i) {
    if (Opens(i)) {
      i = Skip(i, b) - 1;
    } else if (t_[i].kind == Kind::kPunct && Is(t_[i], '?')) {
      question = i;
      break;
    }
  }
  if (question < b) {
    int nested = 0;
    for (size_t i = question + 1; i < b; ++i) {
      if (Opens(i)) {
        i = Skip(i, b) - 1;
      } else if (Is(t_[i], '?')) {
        ++nested;
      } else if (Is(t_[i], ':') && nested-- == 0) {
        EachValueSource(question + 1, i, found, depth + 1, paths);
        EachValueSource(i + 1, b, found, depth + 1, paths);
        return;
      }
    }
  }
  found(ValueSource(a, b, paths));
}

// The slot of a postfix expression t_[first, last] that ends with an identifier: "p->a.f",
// "tab[i].f", "x", "((struct T *)p)->f". Sets `via` to where it starts in the text.
CSlot FactReader::Postfix(size_t first, size_t last, std::string_view& via) const {
  std::vector<std::string> members;
  size_t i = last;
  std::string_view baseType;
  bool typed = false;
  bool base = false;
  std::string_view baseName;
  while (true) {
    if (t_[i].kind != Kind::kIdent) break;
    const std::string_view word = t_[i].text;
    // What stands before it: a member access, an index, or the start.
    if (i > first && (Is(t_[i - 1], '.') || Is(t_[i - 1], kArrow))) {
      members.emplace_back(word);
      if (i < first + 2) break;
      size_t j = i - 2;
      while (Is(t_[j], ']') && j > first) {
        const size_t open = OpenOf(j, first);
        if (open <= first) break;
        j = open - 1;
      }
      if (t_[j].kind == Kind::kIdent) {
        i = j;
        continue;
      }
      if (Is(t_[j], ')')) {
        // "((struct T *)p)->f" names its type; "get()->f" does not.
        const size_t open = OpenOf(j, first);
        for (size_t k = open; k < j; ++k) {
          if (IsAggregate(t_[k].text) && k + 1 < j && t_[k + 1].kind == Kind::kIdent) {
            baseType = t_[k + 1].text;
            typed = true;
            break;
          }
        }
        if (!typed && open + 1 < j && t_[open + 1].kind == Kind::kPunct &&
            Is(t_[open + 1], '(')) {
          // "((T *)p)->f" with a typedef name.
          const size_t inner = Skip(open + 1, j);
          if (inner > open + 3 && t_[open + 2].kind == Kind::kIdent) {
            baseType = t_[open + 2].text;
            typed = true;
          }
        }
        via = text_.substr(t_[open].offset);
        base = true;
        break;
      }
      break;
    }
    baseName = word;
    base = true;
    via = text_.substr(t_[i].offset);
    break;
  }
  if (!base) return {};
  std::reverse(members.begin(), members.end());
  CSlot slot;
  if (!baseName.empty()) {
    if (members.empty()) return NameSlot(baseName);
    const Local* known = nullptr;
    const auto local = function_ >= 0 ? locals_.find(baseName) : locals_.end();
    if (local != locals_.end()) {
      known = &local->second;
    } else {
      const auto global = globals_.find(baseName);
      if (global != globals_.end()) known = &global->second;
    }
    if (known != nullptr) baseType = known->type;
  }
  slot.kind = CSlot::Kind::kMember;
  slot.type = baseType;
  slot.members = std::move(members);
  return slot;
}

void FactReader::Initialiser(const CSlot& base, const CSlot& variable, bool array, size_t open,
                             size_t close, int depth) {
  // Nesting deeper than any real table is not followed (and cannot run away).
  if (depth > 16) return;
  int position = 0;
  size_t start = open + 1;
  for (size_t i = open + 1; i <= close; ++i) {
    if (i < close && Opens(i)) {
      i = Skip(i, close) - 1;
      continue;
    }
    if (i != close && !Is(t_[i], ',')) continue;
    size_t a = start;
    start = i + 1;
    if (a >= i) continue;
    CSlot slot = base;
    bool designated = false;
    // ".a.b = ", "[X] = ", ".a[2] = ", or the old "name: ".
    while (a < i && (Is(t_[a], '.') || Is(t_[a], '['))) {
      if (Is(t_[a], '.') && a + 1 < i && t_[a + 1].kind == Kind::kIdent) {
        if (!array || designated) slot.members.emplace_back(t_[a + 1].text);
        designated = true;
        a += 2;
      } else if (Is(t_[a], '[')) {
        a = Skip(a, i);
        if (!array) designated = true;  // an index into a member array
      } else {
        break;
      }
    }
    if (a < i && Is(t_[a], '=')) ++a;
    if (a + 1 < i && t_[a].kind == Kind::kIdent && Is(t_[a + 1], '(') && Skip(a + 1, i) == i &&
        expanding_ < 4) {
      const auto macro = macros_.find(t_[a].text);
      if (macro != macros_.end()) {
        if (!designated && !array) slot.members.push_back("#" + std::to_string(position));
        if (!array) position = designated ? -1000000 : position + 1;
        Expand(macro->second, a + 1, i, slot, depth);
        continue;
      }
    }
    if (a + 1 < i && t_[a].kind == Kind::kIdent && Is(t_[a + 1], ':')) {
      slot.members.emplace_back(t_[a].text);
      designated = true;
      a += 2;
    }
    if (!designated && !array) slot.members.push_back("#" + std::to_string(position));
    if (!array) position = designated ? -1000000 : position + 1;
    if (a >= i) continue;
    if (Is(t_[a], '{')) {
      const size_t inner = Skip(a, i) - 1;
      // An element of an array of structs is a struct; a member's braces may be either.
      Initialiser(slot, CSlot{}, false, a, inner, depth + 1);
      continue;
    }
    // Elements of an array of function pointers go to the array itself.
    const CSlot& to = array && variable.valid() && base.members.empty() ? variable : slot;
    if (to.kind == CSlot::Kind::kMember && to.members.empty()) continue;
    EachValueSource(a, i, [&](CSlot from) { Flow(to, std::move(from)); });
  }
}

size_t FactReader::ExpandTokens(const Macro& macro, size_t open, size_t close) {
  std::vector<std::pair<size_t, size_t>> arguments;
  size_t start = open + 1;
  for (size_t j = open + 1; j < close; ++j) {
    if (j + 1 < close && Opens(j)) {
      j = Skip(j, close - 1) - 1;
      continue;
    }
    if (Is(t_[j], ',') || j + 1 == close) {
      arguments.emplace_back(start, j);
      start = j + 1;
    }
  }
  std::vector<Tok> body;
  Tokenize(text_.substr(macro.bodyStart, macro.bodyEnd - macro.bodyStart), body, nullptr);
  const size_t base = t_.size();
  const Tok at = t_[open];
  bool paste = false;
  const auto append = [&](const Tok& tok) {
    if (paste && t_.size() > base && t_.back().kind == Kind::kIdent && tok.kind == Kind::kIdent) {
      pasted_.push_back(std::string(t_.back().text) + std::string(tok.text));
      t_.back().text = pasted_.back();
    } else {
      t_.push_back({tok.kind, tok.op, tok.text, at.offset, at.line});
    }
    paste = false;
  };
  for (const Tok& tok : body) {
    if (tok.text == "##") {
      paste = true;
      continue;
    }
    if (tok.text == "#" || tok.text == "\\") continue;
    const auto parameter = tok.kind == Kind::kIdent
                               ? std::find(macro.parameters.begin(), macro.parameters.end(),
                                           tok.text)
                               : macro.parameters.end();
    if (parameter == macro.parameters.end()) {
      append(tok);
      continue;
    }
    const size_t k = static_cast<size_t>(parameter - macro.parameters.begin());
    if (k >= arguments.size()) continue;
    for (size_t j = arguments[k].first; j < arguments[k].second; ++j) {
      const Tok argument = t_[j];
      append(argument);
    }
  }
  return base;
}

void FactReader::Expand(const Macro& macro, size_t open, size_t close, const CSlot& slot,
                        int depth) {
  const size_t base = ExpandTokens(macro, open, close);
  if (t_.size() > base && Is(t_[base], '{')) {
    ++expanding_;
    const size_t end = Skip(base, t_.size());
    Initialiser(slot, CSlot{}, false, base, end - 1, depth + 1);
    --expanding_;
  }
  t_.resize(base);
}

void FactReader::FileScopeTokens(size_t from, size_t to) {
  size_t declStart = from;
  int depth = 0;
  for (size_t i = from; i < to; ++i) {
    const Tok t = t_[i];
    if (t.kind == Kind::kIdent && i == declStart && depth == 0 && i + 1 < to &&
        Is(t_[i + 1], '(') && expanding_ < 4) {
      // A macro that declares at file scope ("IOMETHODS(...)"): read what it stands for.
      const auto macro = macros_.find(t.text);
      if (macro != macros_.end()) {
        const size_t close = Skip(i + 1, to);
        const size_t base = ExpandTokens(macro->second, i + 1, close);
        ++expanding_;
        FileScopeTokens(base, t_.size());
        --expanding_;
        t_.resize(base);
        i = close - 1;
        declStart = close;
        if (declStart < to && Is(t_[declStart], ';')) ++declStart;
        continue;
      }
    }
    if (t.kind != Kind::kPunct) continue;
    // 'extern "C" {' encloses declarations without being one.
    const bool linkageBlock =
        Is(t, '{') && i >= 2 && t_[i - 1].kind == Kind::kString && Is(t_[i - 2], "extern");
    if (linkageBlock) {
      declStart = i + 1;
      continue;
    }
    if (Is(t, '{') || Is(t, '(') || Is(t, '[')) ++depth;
    if ((Is(t, '}') || Is(t, ')') || Is(t, ']')) && depth > 0) {
      --depth;
      // A function's body inside a macro's text ends a declaration as a ";" does.
      if (depth == 0 && Is(t, '}') && expanding_ > 0 && i + 1 < to &&
          !Is(t_[i + 1], ';') && !Is(t_[i + 1], ',') && t_[i + 1].kind == Kind::kIdent &&
          (Is(t_[i + 1], "static") || Is(t_[i + 1], "const"))) {
        declStart = i + 1;
      }
    }
    if (depth == 0 && Is(t, ';')) {
      FileScope(declStart, i);
      declStart = i + 1;
    }
  }
  // A declaration that the text ends in the middle of (an unterminated initialiser) gives what
  // it holds so far.
  if (declStart < to && to == t_.size() && expanding_ == 0) FileScope(declStart, to);
}

std::string_view FactReader::DefineStruct(Declaration& decl) {
  if (decl.bodyOpen == 0 || !decl.isStruct || decl.declarators.empty() || !decl.type.empty()) {
    return decl.type;
  }
  // An untagged struct: a typedef names it; the variables it declares get a name of their own
  // ("(table)", "(function).table" inside a body) that no tag can take.
  const std::string_view first = decl.declarators[0].name;
  if (decl.isTypedef) return first;
  pasted_.push_back(function_ >= 0 ? "(" + std::string(functionName_) + ")." + std::string(first)
                                   : "(" + std::string(first) + ")");
  decl.type = pasted_.back();
  return decl.type;
}

void FactReader::FileScope(size_t a, size_t b) {
  if (a >= b) return;
  Declaration decl = ParseDeclaration(a, b);
  const std::string type(DefineStruct(decl));
  if (decl.bodyOpen != 0 && decl.isStruct && !type.empty()) {
    StructBody(type, decl.bodyOpen, decl.bodyClose);
  }
  for (const Declarator& d : decl.declarators) {
    if (decl.isTypedef) {
      if (d.functionPointer || d.function) functionTypes_.push_back(d.name);
      if (!type.empty() && d.name != type) facts_.typedefs.emplace_back(d.name, type);
      continue;
    }
    if (d.function) continue;  // a prototype
    const bool fp = d.functionPointer ||
                    std::find(functionTypes_.begin(), functionTypes_.end(), decl.type) !=
                        functionTypes_.end();
    globals_[d.name] = {decl.type, fp, -1};
    if (d.init == 0) continue;
    CSlot variable;
    variable.kind = CSlot::Kind::kGlobal;
    variable.name = d.name;
    if (Is(t_[d.init], '{')) {
      CSlot base;
      base.kind = CSlot::Kind::kMember;
      base.type = fp ? std::string() : type;
      Initialiser(base, fp || type.empty() ? variable : CSlot{}, d.array, d.init,
                  Skip(d.init, d.end) - 1, 0);
    } else {
      EachValueSource(d.init, d.end, [&](CSlot from) { Flow(variable, std::move(from)); });
    }
  }
}

void FactReader::Parameters(size_t r, size_t header, size_t body) {
  CDefinitionFacts& facts = facts_.functions[r];
  size_t name = header;
  while (name < body && t_[name].offset < ranges_[r].nameOffset) ++name;
  for (size_t i = header; i < name; ++i) {
    if (Is(t_[i], "static")) facts.isStatic = true;
  }
  if (name + 1 >= body || !Is(t_[name + 1], '(')) {
    facts.parameters = -1;
    return;
  }
  const size_t close = Skip(name + 1, body) - 1;
  int position = 0;
  size_t start = name + 2;
  bool variadic = false;
  for (size_t i = name + 2; i <= close; ++i) {
    if (i < close && Opens(i)) {
      i = Skip(i, close) - 1;
      continue;
    }
    if (i != close && !Is(t_[i], ',')) continue;
    if (i > start) {
      if (Is(t_[start], kEllipsis)) variadic = true;
      const bool onlyVoid = i == start + 1 && Is(t_[start], "void");
      if (!onlyVoid) {
        const Declaration decl = ParseDeclaration(start, i);
        if (!decl.declarators.empty()) {
          const Declarator& d = decl.declarators[0];
          const bool fp = d.functionPointer ||
                          std::find(functionTypes_.begin(), functionTypes_.end(), decl.type) !=
                              functionTypes_.end();
          locals_[d.name] = {decl.type, fp, position};
        } else if (i == start + 1 && t_[start].kind == Kind::kIdent) {
          locals_[t_[start].text] = {{}, false, position};  // K&R: the name alone
        }
        ++position;
      }
    }
    start = i + 1;
  }
  facts.parameters = variadic ? -1 : position;
}

void FactReader::LocalDeclaration(size_t a, size_t b) {
  Declaration decl = ParseDeclaration(a, b);
  // A struct defined in the body ("struct Builtin { ... } aBuiltin[] = { ... }").
  const std::string_view type = DefineStruct(decl);
  if (decl.bodyOpen != 0 && decl.isStruct && !type.empty()) {
    StructBody(std::string(type), decl.bodyOpen, decl.bodyClose);
  }
  if (decl.isTypedef) {
    if (!decl.type.empty()) {
      for (const Declarator& d : decl.declarators) {
        if (d.name != type) facts_.typedefs.emplace_back(d.name, type);
      }
    }
    return;
  }
  for (const Declarator& d : decl.declarators) {
    if (d.function) continue;
    const bool fp = d.functionPointer ||
                    std::find(functionTypes_.begin(), functionTypes_.end(), decl.type) !=
                        functionTypes_.end();
    locals_[d.name] = {decl.type, fp, -1};
    if (d.init == 0) continue;
    CSlot variable;
    variable.kind = CSlot::Kind::kLocal;
    variable.name = d.name;
    variable.index = function_;
    if (Is(t_[d.init], '{')) {
      CSlot base;
      base.kind = CSlot::Kind::kMember;
      base.type = fp ? std::string() : std::string(decl.type);
      Initialiser(base, fp || decl.type.empty() ? variable : CSlot{}, d.array, d.init,
                  Skip(d.init, d.end) - 1, 0);
    } else {
      EachValueSource(d.init, d.end, [&](CSlot from) {
        const bool returned = from.kind == CSlot::Kind::kParameter && from.index == kReturnValue;
        if (((from.kind == CSlot::Kind::kName || from.kind == CSlot::Kind::kGlobal) &&
             !returned) ||
            fp) {
          Flow(variable, std::move(from));
        }
      });
    }
  }
}

// Whether the statement at t_[i] declares something: a type word, or a typedef name followed by
// a declarator.
bool LooksLikeDeclaration(const std::vector<Tok>& t, size_t i, size_t b) {
  if (i >= b || t[i].kind != Kind::kIdent) return false;
  const std::string_view w = t[i].text;
  if (In<kStatementWords>(w)) return false;
  if (IsAggregate(w) || In<kQualifiers>(w) || In<kPlainTypes>(w)) return true;
  size_t j = i + 1;
  // "T x", but not "FALLTHROUGH case X:" (a statement macro before a statement).
  if (j < b && t[j].kind == Kind::kIdent) return !In<kStatementWords>(t[j].text);
  while (j < b && Is(t[j], '*')) ++j;
  if (j > i + 1 && j + 1 < b && t[j].kind == Kind::kIdent) {
    const std::string_view after = t[j + 1].text;
    return after == "=" || after == ";" || after == "," || after == "[";  // "T *x = ..."
  }
  // "T (*fp)(...)"
  return i + 2 < b && Is(t[i + 1], '(') && Is(t[i + 2], '*');
}

void FactReader::Body(size_t a, size_t b) {
  bool statementStart = true;
  for (size_t i = a; i < b; ++i) {
    const Tok t = t_[i];  // a copy: an initialiser's macros add tokens for a while
    if (t.kind == Kind::kIdent && sourceMacros_ != nullptr && expanding_ == 0) MacroUse(i, b);
    if (statementStart && LooksLikeDeclaration(t_, i, b)) {
      size_t end = i;
      while (end < b && !Is(t_[end], ';')) {
        end = Opens(end) ? Skip(end, b) : end + 1;
      }
      LocalDeclaration(i, end);
      // The initialisers' calls and dispatches are read below like any other code.
      size_t init = i;
      while (init < end && !Is(t_[init], '=')) init = Opens(init) ? Skip(init, end) : init + 1;
      if (init >= end) {
        i = end;
        statementStart = true;
        continue;
      }
    }
    statementStart = Is(t, ';') || Is(t, '{') || Is(t, '}');
    if (t.kind == Kind::kIdent && Is(t, "return") && function_ >= 0) {
      size_t end = i + 1;
      while (end < b && !Is(t_[end], ';')) end = Opens(end) ? Skip(end, b) : end + 1;
      EachValueSource(i + 1, end, [&](CSlot from) {
        if (from.kind == CSlot::Kind::kName || from.kind == CSlot::Kind::kGlobal ||
            from.kind == CSlot::Kind::kMember) {
          CSlot to;
          to.kind = CSlot::Kind::kParameter;
          to.name = functionName_;
          to.index = kReturnValue;
          Flow(std::move(to), std::move(from));
        }
      });
      continue;
    }
    if (t.kind == Kind::kPunct && Is(t, '=') && i > a) {
      // An assignment: the slot before it, the value after it.
      size_t first = i - 1;
      while (first > a && (t_[first - 1].kind == Kind::kIdent || Is(t_[first - 1], '.') ||
                           Is(t_[first - 1], kArrow) || Is(t_[first - 1], ']'))) {
        if (Is(t_[first - 1], ']')) {
          first = OpenOf(first - 1, a);
        } else {
          --first;
        }
      }
      if (t_[i - 1].kind != Kind::kIdent) continue;
      std::string_view via;
      CSlot to = Postfix(first, i - 1, via);
      size_t end = i + 1;
      while (end < b && !Is(t_[end], ';') && !Is(t_[end], ',') && !Is(t_[end], ')') &&
             !Is(t_[end], '}')) {
        end = Opens(end) ? Skip(end, b) : end + 1;
      }
      const auto local = to.kind == CSlot::Kind::kLocal ? locals_.find(to.name) : locals_.end();
      const bool toPointer = local != locals_.end() && local->second.functionPointer;
      EachValueSource(i + 1, end, [&](CSlot from) {
        const bool fromFunctionish =
            from.kind == CSlot::Kind::kName || from.kind == CSlot::Kind::kGlobal;
        if (from.kind == CSlot::Kind::kParameter && from.index == kReturnValue && !toPointer) {
          return;
        }
        if (fromFunctionish || to.kind == CSlot::Kind::kMember ||
            to.kind == CSlot::Kind::kGlobal || toPointer) {
          Flow(to, std::move(from));
        }
      });
      continue;
    }
    if (!(t.kind == Kind::kPunct && Is(t, '(')) || i == a) continue;
    const Tok before = t_[i - 1];  // a copy: a macro's expansion adds tokens
    const size_t close = Skip(i, b);
    // A call: function-valued arguments go to the callee's parameters.
    if (before.kind == Kind::kIdent && !In<kStatementWords>(before.text) &&
        !(i >= 2 && (Is(t_[i - 2], '.') || Is(t_[i - 2], kArrow)))) {
      const auto callee = pointerParameters_.find(before.text);
      EachArgument(i, close, b, [&](size_t start, size_t j, int32_t position) {
        const bool pointerParameter = callee != pointerParameters_.end() &&
                                      static_cast<size_t>(position) < callee->second.size() &&
                                      callee->second[static_cast<size_t>(position)];
        EachValueSource(start, j, [&](CSlot from) {
          const Local* local = LocalOf(from);
          const bool passes = from.kind == CSlot::Kind::kName ||
                              from.kind == CSlot::Kind::kGlobal ||
                              (local != nullptr && local->functionPointer) ||
                              (pointerParameter && (from.kind == CSlot::Kind::kMember ||
                                                    from.kind == CSlot::Kind::kParameter ||
                                                    from.kind == CSlot::Kind::kLocal));
          if (passes) {
            CSlot to;
            to.kind = CSlot::Kind::kParameter;
            to.name = before.text;
            to.index = position;
            Flow(std::move(to), std::move(from));
          }
        }, 0, pointerParameter);
      });
    }
    // A macro that calls through a pointer ("#define next(p) (p)->xNext(p)"): its calls are
    // this body's.
    if (before.kind == Kind::kIdent && expanding_ < 2 && !locals_.contains(before.text)) {
      const auto macro = macros_.find(before.text);
      if (macro != macros_.end() && macro->second.dispatches) {
        const size_t base = ExpandTokens(macro->second, i, close);
        ++expanding_;
        Body(base, t_.size());
        --expanding_;
        t_.resize(base);
        continue;
      }
    }
    // A dispatch: "p->f(", "x.f(", "fp(", "tab[i](", "(*fp)(", "(*p->f)(".
    size_t last = i - 1;
    bool named = true;
    size_t exprFirst = 0;
    if (Is(before, ')')) {
      const size_t open = OpenOf(i - 1, a);
      if (open > a && t_[open - 1].kind == Kind::kIdent &&
          !In<kStatementWords>(t_[open - 1].text)) {
        continue;  // "f(a)(b)"
      }
      size_t inner = open + 1;
      while (inner < i - 1 && Is(t_[inner], '*')) ++inner;
      if (inner >= i - 1 || t_[i - 2].kind != Kind::kIdent) continue;
      last = i - 2;
      named = false;
      exprFirst = open;
      // "(T)(x)": a cast, unless the name is a variable.
      if (inner == open + 1 && last == inner && !locals_.contains(t_[last].text) &&
          !globals_.contains(t_[last].text)) {
        continue;
      }
    } else if (Is(before, ']')) {
      const size_t open = OpenOf(i - 1, a);
      if (open <= a || t_[open - 1].kind != Kind::kIdent) continue;
      last = open - 1;
      named = false;
    } else if (before.kind != Kind::kIdent || In<kStatementWords>(before.text)) {
      continue;
    }
    const bool member = last >= a + 2 && (Is(t_[last - 1], '.') || Is(t_[last - 1], kArrow));
    if (!member && named && !locals_.contains(t_[last].text) &&
        !globals_.contains(t_[last].text)) {
      continue;  // a plain call of a name, bound by scope
    }
    if (!member && named && globals_.contains(t_[last].text) &&
        !globals_.at(t_[last].text).functionPointer) {
      continue;
    }
    std::string_view via;
    size_t first = last;
    while (first > a) {
      const Tok& prev = t_[first - 1];
      if (prev.kind == Kind::kIdent || Is(prev, '.') || Is(prev, kArrow)) {
        --first;
      } else if (Is(prev, ']') || (Is(prev, ')') && (Is(t_[first], '.') || Is(t_[first], kArrow)))) {
        first = OpenOf(first - 1, a);
      } else {
        break;
      }
    }
    // The walk may have taken a word before the expression ("return p->f(").
    while (first < last && t_[first].kind == Kind::kIdent && first + 1 <= last &&
           t_[first + 1].kind == Kind::kIdent) {
      ++first;
    }
    CSlot slot = Postfix(first, last, via);
    if (!slot.valid() || slot.kind == CSlot::Kind::kName) continue;
    CDispatch dispatch;
    dispatch.function = function_;
    dispatch.offset = t_[last].offset;
    dispatch.open = t_[i].offset;
    dispatch.line = t_[last].line;
    dispatch.arguments = ArgumentCount(i, b);
    // The functions it passes on ("p->xTokenize(t, ctx, fts5PorterCb)"): they reach the
    // parameters of whatever the dispatch binds to.
    EachArgument(i, close, b, [&](size_t start, size_t j, int32_t position) {
      EachValueSource(start, j, [&](CSlot from) {
        const Local* local = LocalOf(from);
        const bool function =
            from.kind == CSlot::Kind::kName || from.kind == CSlot::Kind::kMember ||
            (from.kind == CSlot::Kind::kGlobal && globals_.at(from.name).functionPointer) ||
            (local != nullptr && local->functionPointer);
        if (function) dispatch.passed.emplace_back(position, std::move(from));
      });
    });
    // Inside a macro's text the scanner saw only the macro's call.
    dispatch.named = named && expanding_ == 0;
    dispatch.via = named ? Via(first, last + 1) : Via(exprFirst ? exprFirst : first, i);
    dispatch.slot = std::move(slot);
    facts_.dispatches.push_back(std::move(dispatch));
  }
}

// Most tokens a use of a macro may span (its name and argument list): longer ones are not
// expanded, so that a nest of uses costs a bounded amount of work per use.
constexpr size_t kMaxMacroUseTokens = 4096;

bool FactReader::DefinesFunction(std::string_view name) {
  if (definedNames_.empty()) {
    for (const CDefinitionRange& range : ranges_) {
      const std::string_view rest = text_.substr(range.nameOffset);
      size_t e = 0;
      while (e < rest.size() && IsIdentChar(rest[e])) ++e;
      definedNames_.push_back(rest.substr(0, e));
    }
    std::sort(definedNames_.begin(), definedNames_.end());
    if (definedNames_.empty()) definedNames_.emplace_back();
  }
  return std::binary_search(definedNames_.begin(), definedNames_.end(), name);
}

void FactReader::MacroUse(size_t i, size_t b) {
  const Tok& t = t_[i];
  if (i > 0 && (Is(t_[i - 1], '.') || Is(t_[i - 1], kArrow))) return;
  sourceMacros_->At(t.offset);
  const MacroDefinition* macro = sourceMacros_->Find(t.text);
  // A build that compiles this text's definition of a function does not compile a macro of its
  // name that only a branch presumed compiled defines.
  if (macro != nullptr && macro->presumed && DefinesFunction(t.text)) macro = nullptr;
  // A cast or statement macro before a call ("v = AS_TEXT text_dup(v);", "CHECK_FAIL report(x);"):
  // the scanner reads "WORD name(" as a declaration, but the name is called. A word in capitals
  // counts as such a macro where no table knows it.
  if (i + 2 < b && t_[i + 1].kind == Kind::kIdent && Is(t_[i + 2], '(') &&
      !In<kStatementWords>(t_[i + 1].text) && !In<kStatementWords>(t.text) &&
      (macro != nullptr ? !macro->functionLike : t.text.size() > 1 && !HasLower(t.text))) {
    CMacroUse call;
    call.function = function_;
    call.offset = t_[i + 1].offset;
    call.line = t_[i + 1].line;
    call.callees.emplace_back(t_[i + 1].text);
    facts_.macroUses.push_back(std::move(call));
  }
  if (macro == nullptr) return;
  const bool named = i + 1 < b && Is(t_[i + 1], '(');
  if (macro->functionLike && !named) return;
  size_t last = i;
  if (named) {
    int depth = 0;
    const size_t stop = std::min(b, i + 1 + kMaxMacroUseTokens);
    size_t j = i + 1;
    for (; j < stop; ++j) {
      if (Is(t_[j], '(')) ++depth;
      if (Is(t_[j], ')') && --depth == 0) break;
    }
    if (j >= stop) {
      if (macro->functionLike) return;
    } else {
      last = j;
    }
  }
  const size_t end = t_[last].offset + t_[last].text.size();
  const std::string_view useText = text_.substr(t.offset, end - t.offset);
  const std::vector<std::string>* calls = memo_->Find(*sourceMacros_, useText);
  if (calls == nullptr) {
    use_.clear();
    TokenizeMacroText(useText, use_);
    MacroExpander expander(*sourceMacros_, {}, &memo_->bodies);
    expander.Expand(std::move(use_), expansion_);
    use_ = {};
    MacroExpander::CallsOf(expansion_, calls_);
    memo_->Keep(*sourceMacros_, useText, calls_);
    calls = &calls_;
  }
  if (calls->empty() && !named) return;
  CMacroUse found;
  found.function = function_;
  found.offset = t.offset;
  found.line = t.line;
  found.named = named;
  found.macro = t.text;
  found.callees = *calls;
  facts_.macroUses.push_back(std::move(found));
}

void FactReader::MadeName(size_t r, size_t header, size_t body) {
  size_t name = header;
  while (name < body && t_[name].offset < ranges_[r].nameOffset) ++name;
  if (name + 1 >= body || t_[name].kind != Kind::kIdent || !Is(t_[name + 1], '(')) return;
  int depth = 0;
  size_t close = name + 1;
  const size_t stop = std::min(body, name + 1 + kMaxMacroUseTokens);
  for (; close < stop; ++close) {
    if (Is(t_[close], '(')) ++depth;
    if (Is(t_[close], ')') && --depth == 0) break;
  }
  if (close >= stop) return;
  sourceMacros_->At(t_[name].offset);
  const MacroDefinition* macro = sourceMacros_->Find(t_[name].text);
  if (macro != nullptr && macro->presumed) macro = nullptr;  // see MacroUse
  // Most names are no macro that any table or rule knows: their lists are not split.
  const bool expands = macro != nullptr && macro->functionLike;
  if (!expands && (macro != nullptr || nameRules_ == nullptr ||
                   !MacroNameRuleMatches(*nameRules_, t_[name].text))) {
    return;
  }
  use_.clear();
  const size_t end = t_[close].offset + 1;
  TokenizeMacroText(text_.substr(t_[name].offset, end - t_[name].offset), use_);
  // Another parameter list after the use: the use gives the name ("IMPL(copy)(char *d)").
  const bool listFollows = close + 1 < body && Is(t_[close + 1], '(');
  std::string made;
  if (expands) {
    MacroExpander expander(*sourceMacros_, {}, &memo_->bodies);
    expander.Expand(use_, expansion_);
    made = DefinedNameOf(expansion_, listFollows);
  } else if (macro == nullptr && nameRules_ != nullptr) {
    made = NameByRules(*nameRules_, use_);
  }
  if (!made.empty() && made != t_[name].text) facts_.functions[r].name = std::move(made);
}

void FactReader::Function(size_t r, size_t a, size_t b) {
  function_ = static_cast<int32_t>(r);
  const CDefinitionRange& range = ranges_[r];
  functionName_ = text_.substr(range.nameOffset);
  size_t n = 0;
  while (n < functionName_.size() && IsIdentChar(functionName_[n])) ++n;
  functionName_ = functionName_.substr(0, n);
  locals_.clear();
  size_t body = a;
  while (body < b && t_[body].offset < range.bodyStart) ++body;
  Parameters(r, a, body);
  Body(body, b);
  function_ = -1;
}

void FactReader::Run() {
  Tokenize(text_, t_, &macros_);
  if (sourceMacros_ != nullptr && !sourceMacros_->dead().empty()) {
    const std::vector<std::pair<size_t, size_t>>& dead = sourceMacros_->dead();
    size_t r = 0;
    std::erase_if(t_, [&](const Tok& t) {
      while (r < dead.size() && dead[r].second <= t.offset) ++r;
      return r < dead.size() && dead[r].first <= t.offset;
    });
  }
  facts_.functions.assign(ranges_.size(), {});
  const size_t textTokens = t_.size();
  // The parameters of every definition first: a call may pass a member to a function defined
  // further down.
  {
    size_t k = 0;
    for (size_t r = 0; r < ranges_.size(); ++r) {
      while (k < textTokens && t_[k].offset < ranges_[r].headerStart) ++k;
      size_t body = k;
      while (body < textTokens && t_[body].offset < ranges_[r].bodyStart) ++body;
      locals_.clear();
      size_t header = k;
      if (body == k && ranges_[r].headerStart < ranges_[r].bodyStart) {
        // A definition in a branch that the tokens leave out ("#else"): its header's tokens
        // are read on their own, behind the text's, for its linkage and parameters.
        Tokenize(
            text_.substr(ranges_[r].headerStart, ranges_[r].bodyStart - ranges_[r].headerStart),
            header_, nullptr);
        for (Tok& t : header_) t.offset += ranges_[r].headerStart;
        t_.insert(t_.end(), header_.begin(), header_.end());
        header = textTokens;
        body = t_.size();
      }
      Parameters(r, header, body);
      if (sourceMacros_ != nullptr) MadeName(r, header, body);
      t_.resize(textTokens);
      std::string_view name = text_.substr(ranges_[r].nameOffset);
      size_t e = 0;
      while (e < name.size() && IsIdentChar(name[e])) ++e;
      std::vector<bool>& pointers = pointerParameters_[name.substr(0, e)];
      for (const auto& [local, info] : locals_) {
        if (info.parameter < 0 || !info.functionPointer) continue;
        if (pointers.size() <= static_cast<size_t>(info.parameter)) {
          pointers.resize(static_cast<size_t>(info.parameter) + 1);
        }
        pointers[static_cast<size_t>(info.parameter)] = true;
      }
    }
  }
  size_t i = 0;
  for (size_t r = 0; r <= ranges_.size(); ++r) {
    const size_t stop = r < ranges_.size() ? ranges_[r].headerStart : text_.size();
    const size_t from = i;
    while (i < textTokens && t_[i].offset < stop) ++i;
    // What stands before a definition and never ended is dropped (an unterminated initialiser).
    FileScopeTokens(from, i);
    if (r == ranges_.size()) break;
    const size_t header = i;
    while (i < textTokens && t_[i].offset < ranges_[r].bodyEnd) ++i;
    Function(r, header, i);
  }
}

}  // namespace

void ReadCFileFacts(std::string_view text, const std::vector<CDefinitionRange>& ranges,
                    CFileFacts& facts, const MacroTable* headers,
                    const std::vector<MacroNameRule>* nameRules,
                    const std::vector<std::string>* defines) {
  facts = CFileFacts{};
  // Each thread keeps its token buffer from source to source.
  thread_local std::vector<Tok> tokens;
  if (headers == nullptr) {
    FactReader(text, ranges, facts, tokens, nullptr, nullptr).Run();
    return;
  }
  thread_local MacroUseMemo memo;
  SourceMacros macros(text, headers, defines);
  memo.StartSource(macros);
  FactReader(text, ranges, facts, tokens, &macros, nameRules, &memo).Run();
  facts.dead = macros.dead();
}

}  // namespace quillmap
