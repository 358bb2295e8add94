#include "csource/c_source_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmap {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
// Conditionals nested deeper than this are followed through every branch.
constexpr size_t kMaxConditionals = 512;
// An argument list longer than this counts as not closed; it keeps the splitting of nested calls
// from growing with the square of a pathological line.
constexpr size_t kMaxArgumentBytes = 1 << 12;

enum CharClass : uint8_t {
  kOtherChar,
  kBlank,
  kNewline,
  kIdentChar,
  kDigit,
  kSlash,
  kQuote,
  kHash,
  kOpenBrace,
  kCloseBrace,
  kOpenParen,
  kCloseParen,
  kSemicolon,
  kEquals,
  kStar,
};

struct ClassTable {
  std::array<uint8_t, 256> of{};
  constexpr ClassTable() {
    for (int c = 'a'; c <= 'z'; ++c) of[c] = kIdentChar;
    for (int c = 'A'; c <= 'Z'; ++c) of[c] = kIdentChar;
    of['_'] = kIdentChar;
    of['$'] = kIdentChar;
    for (int c = '0'; c <= '9'; ++c) of[c] = kDigit;
    of[' '] = of['\t'] = of['\r'] = of['\v'] = of['\f'] = kBlank;
    of['\n'] = kNewline;
    of['/'] = kSlash;
    of['"'] = of['\''] = kQuote;
    of['#'] = kHash;
    of['{'] = kOpenBrace;
    of['}'] = kCloseBrace;
    of['('] = kOpenParen;
    of[')'] = kCloseParen;
    of[';'] = kSemicolon;
    of['='] = kEquals;
    of['*'] = kStar;
  }
};
constexpr ClassTable kClasses;

struct WordTable {
  std::array<bool, 256> of{};
  constexpr WordTable() {
    for (int c = 0; c < 256; ++c) of[c] = kClasses.of[c] == kIdentChar || kClasses.of[c] == kDigit;
  }
};
constexpr WordTable kWordChars;

inline uint8_t ClassOf(char c) { return kClasses.of[static_cast<uint8_t>(c)]; }
inline bool IsWordChar(char c) { return kWordChars.of[static_cast<uint8_t>(c)]; }
inline bool IsBlankOrNewline(char c) {
  const uint8_t k = ClassOf(c);
  return k == kBlank || k == kNewline;
}
// Not white space, nor the start of a comment, literal or directive.
inline bool IsOrdinaryCodeChar(char c) {
  const uint8_t k = ClassOf(c);
  return k != kBlank && k != kNewline && k != kSlash && k != kQuote && k != kHash;
}

// Words that look like a call when a "(" follows but are not one: statements, operators,
// attributes, type words and the preprocessor's "defined".
constexpr std::string_view kNonCallWords[] = {
    "_Alignas",      "_Alignof",
    "_Atomic",       "_BitInt",
    "_Bool",         "_Generic",
    "_Noreturn",     "_Static_assert",
    "__alignof",     "__alignof__",
    "__asm",         "__asm__",
    "__attribute",   "__attribute__",
    "__declspec",    "__extension__",
    "__inline",      "__inline__",
    "__restrict",    "__restrict__",
    "__typeof",      "__typeof__",
    "__volatile__",  "alignas",
    "alignof",       "asm",
    "auto",          "bool",
    "case",          "char",
    "const",         "default",
    "defined",       "do",
    "double",        "else",
    "enum",          "extern",
    "float",         "for",
    "goto",          "if",
    "inline",        "int",
    "long",          "register",
    "restrict",      "return",
    "short",         "signed",
    "sizeof",        "static",
    "static_assert", "struct",
    "switch",        "typedef",
    "typeof",        "typeof_unqual",
    "union",         "unsigned",
    "void",          "volatile",
    "while",
};

// Words after which a name and "(" are still a call (not a declaration of the name).
constexpr std::string_view kExpressionWords[] = {"return", "else",   "do",
                                                 "case",   "sizeof", "__extension__"};

template <size_t N>
bool IsOneOf(std::string_view word, const std::string_view (&words)[N]) {
  for (const std::string_view w : words) {
    if (w.size() == word.size() && w[0] == word[0] && w == word) return true;
  }
  return false;
}

// The non-call words by length, so that a lookup compares a handful of words at most.
constexpr size_t kMaxWordLength = 15;
struct WordsByLength {
  std::array<std::array<std::string_view, 16>, kMaxWordLength + 1> words{};
  std::array<uint8_t, kMaxWordLength + 1> counts{};
  constexpr WordsByLength() {
    for (const std::string_view w : kNonCallWords) words[w.size()][counts[w.size()]++] = w;
  }
};
constexpr WordsByLength kWordsByLength;

bool IsNonCallWord(std::string_view word) {
  if (word.size() < 2 || word.size() > kMaxWordLength) return false;
  const auto& bucket = kWordsByLength.words[word.size()];
  const uint8_t count = kWordsByLength.counts[word.size()];
  for (uint8_t i = 0; i < count; ++i) {
    const std::string_view w = bucket[i];
    if (w[0] == word[0] && std::memcmp(w.data(), word.data(), word.size()) == 0) return true;
  }
  return false;
}

// The first byte at or after `p` (before `e`) that equals `a` or `b`, or `e`; 16 bytes at a time.
inline const char* FindEither(const char* p, const char* e, char a, char b) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  for (; e - p >= 16; p += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  while (p < e && *p != a && *p != b) ++p;
  return p;
}

#if defined(__SSE2__)
// 0xFF where lo <= byte <= lo + span (unsigned).
inline __m128i InRange(__m128i bytes, char lo, char span) {
  const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(lo));
  return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(span)), offset);
}

// 0xFF where the byte is an identifier character or a digit.
inline __m128i WordBytes(__m128i bytes) {
  const __m128i letter = InRange(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'a', 'z' - 'a');
  const __m128i digit = InRange(bytes, '0', 9);
  const __m128i other = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('_')),
                                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8('$')));
  return _mm_or_si128(_mm_or_si128(letter, digit), other);
}
#endif

// Just after the run of word characters that starts at `p`.
inline const char* WordEnd(const char* p, const char* e) {
#if defined(__SSE2__)
  for (; e - p >= 16; p += 16) {
    const auto words = static_cast<unsigned>(
        _mm_movemask_epi8(WordBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))));
    if (words != 0xFFFFu) return p + __builtin_ctz(~words);
  }
#endif
  while (p < e && IsWordChar(*p)) ++p;
  return p;
}

// The start of the run of word characters that ends just before `r`, not before `floor`.
inline const char* WordStart(const char* r, const char* floor) {
#if defined(__SSE2__)
  for (; r - floor >= 16; r -= 16) {
    const auto words = static_cast<unsigned>(
        _mm_movemask_epi8(WordBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r - 16)))));
    if (words != 0xFFFFu) return r - 16 + (32 - __builtin_clz(~words & 0xFFFFu));
  }
#endif
  while (r > floor && IsWordChar(r[-1])) --r;
  return r;
}

enum class Token : uint8_t { kNone, kWord, kString, kCloseParen, kEquals, kOther };

}  // namespace

struct CSourceScanner::Conditional {
  int braceDepth;    // at the "#if"
  int parenDepth;    // at the "#if"
  bool branchEnded;  // a "#else" or "#elif" was seen
  size_t start;      // offset of the "#if" (or of the branch read as the first)
};

namespace {

// The state of one scan; the hot loop is Run.
class Pass {
 public:
  Pass(std::string_view text, CSourceVisitor& visitor, std::vector<CSourceScanner::Conditional>& c,
       bool fastBodies)
      : text_(text),
        b_(text.data()),
        e_(text.data() + text.size()),
        visitor_(visitor),
        conditionals_(c),
        fastBodies_(fastBodies) {
    conditionals_.clear();
  }

  /// Returns the number of lines.
  int Run();

 private:
  using Conditional = CSourceScanner::Conditional;

  size_t Offset(const char* p) const { return static_cast<size_t>(p - b_); }
  void NewLine(const char* p) {
    ++line_;
    lineStart_ = Offset(p) + 1;
  }

  const char* SkipBlockComment(const char* p);  // p at "/*"; returns just after "*/" or end
  const char* SkipLineComment(const char* p);   // p at "//"; returns at the "\n" ending it
  const char* SkipLiteral(const char* p);       // p at the quote; returns just after its end
  const char* SkipNumber(const char* p) const;  // p at its first digit; returns just after it
  const char* Directive(const char* p);         // p at "#"; returns at the "\n" ending it
  const char* DirectiveEnd(const char* p);
  // Skips lines up to the "#endif" closing the current conditional (or, with `stopAtElse`, a
  // "#else"/"#elif" of it); returns after that directive's line, or at the end.
  const char* SkipBranches(const char* p, bool stopAtElse);
  std::string_view DirectiveWord(const char*& p) const;

  void NoteToken(Token token, const char* start, const char* end) {
    const std::string_view word(start, static_cast<size_t>(end - start));
    if (braceDepth_ == 0) FileScopeToken(token, word, start);
    prev2_ = prev_;
    prev2Word_ = prevWord_;
    prev_ = token;
    if (token == Token::kWord) {
      prevWord_ = word;
      prevWordLine_ = line_;
    }
    prevEnd_ = Offset(end);
  }
  void FileScopeToken(Token token, std::string_view word, const char* start);
  void OpenParen(const char* p);
  void CloseParen(const char* p);
  void OpenBrace(const char* p);
  void CloseBrace(const char* p);
  void Semicolon();
  void ResetDeclaration();
  void CheckCall(const char* p);
  bool IsPointerDeclarator(const char* p) const;
  void EndFunction(bool closed, size_t end, int endLine);

  // Inside braces (p just after a "{"): returns just after the "}" that closes the outermost
  // one, or at the end.
  const char* RunBody(const char* p);
  const char* NextBodyEvent(const char* p);
  // The token that ends before `q` after the last sync point: its start, or null when there is
  // none (the sync state holds it).
  const char* TokenBefore(const char* q, Token& kind, std::string_view& word) const;
  // Sets the token state to what it is at `q`, which must be a token boundary: prev_, its word,
  // and prev2_ with its word where prev_ is a word (elsewhere it cannot matter).
  void SyncTokensAt(const char* q);
  // Sets prevEnd_ only, where the tokens are set anew.
  void SyncEndAt(const char* q);
  bool LineStartOnlyAt(const char* q) const;

  std::string_view text_;
  const char* b_;
  const char* e_;
  CSourceVisitor& visitor_;
  std::vector<Conditional>& conditionals_;
  // Whether RunBody reads the bodies (else the token loop does, byte by byte).
  bool fastBodies_;
  // In RunBody: prev_ with its word, prevEnd_, and prev2_ with its word where prev_ is a word, are
  // those at sync_; between sync_ and the current byte there are only words, blanks, line feeds
  // and one-byte tokens.
  const char* sync_ = nullptr;
  bool syncLineStartOnly_ = false;

  int line_ = 1;
  size_t lineStart_ = 0;
  size_t commentEnd_ = 0;  // end of the last comment that held a line feed

  int braceDepth_ = 0;
  int externBlocks_ = 0;
  bool inFunction_ = false;
  CFunction function_;

  Token prev_ = Token::kNone;
  Token prev2_ = Token::kNone;
  std::string_view prevWord_;
  std::string_view prev2Word_;
  int prevWordLine_ = 0;
  size_t prevEnd_ = 0;

  // The declaration being read at file scope.
  size_t declStart_ = kNone;
  int declLine_ = 0;
  int parenDepth_ = 0;
  bool sawEquals_ = false;
  bool aggregatePending_ = false;  // struct, union or enum since the last parameter list
  bool starGroup_ = false;         // the outermost open "(" began with "*"
  // The identifier with a parameter list that the declaration defines, if any.
  bool candValid_ = false;
  bool candOpen_ = false;
  int candDepth_ = 0;
  std::string_view candName_;
  int candLine_ = 0;
  size_t candOpenAt_ = 0;
  bool krOpen_ = false;  // the list names parameters declared after it (K&R)
  int tokensAfterClose_ = 0;
  bool krDeclarationFirst_ = false;  // the first token after ")" may start a K&R declaration
};

void Pass::ResetDeclaration() {
  declStart_ = kNone;
  parenDepth_ = 0;
  sawEquals_ = false;
  aggregatePending_ = false;
  starGroup_ = false;
  candValid_ = false;
  candOpen_ = false;
  krOpen_ = false;
  tokensAfterClose_ = 0;
}

void Pass::FileScopeToken(Token token, std::string_view word, const char* start) {
  if (declStart_ == kNone) {
    declStart_ = Offset(start);
    declLine_ = line_;
  }
  if (candValid_ && !candOpen_ && tokensAfterClose_++ == 0) {
    krDeclarationFirst_ = token == Token::kWord && !word.starts_with("__");
  }
  if (token == Token::kWord && parenDepth_ == 0 &&
      (word == "struct" || word == "union" || word == "enum")) {
    aggregatePending_ = true;
  }
}

bool IsParameterNameList(std::string_view list) {
  // "a, b, c": names and commas only, at least one name, none of them a type word.
  bool any = false;
  size_t i = 0;
  while (i < list.size()) {
    const char c = list[i];
    if (IsBlankOrNewline(c) || c == ',') {
      ++i;
      continue;
    }
    if (ClassOf(c) != kIdentChar) return false;
    const size_t start = i;
    while (i < list.size() && IsWordChar(list[i])) ++i;
    if (IsNonCallWord(list.substr(start, i - start))) return false;
    any = true;
  }
  return any;
}

void Pass::OpenParen(const char* p) {
  if (braceDepth_ != 0) {
    if (inFunction_ && prev_ == Token::kWord) CheckCall(p);
    return;
  }
  if (parenDepth_ == 0) {
    const char* q = p + 1;
    while (q < e_ && IsBlankOrNewline(*q)) ++q;
    starGroup_ = q < e_ && *q == '*';
  }
  const bool nameBefore = prev_ == Token::kWord && !IsNonCallWord(prevWord_);
  const bool candidateDepth = parenDepth_ == 0 || (parenDepth_ == 1 && starGroup_);
  if (nameBefore && candidateDepth && !sawEquals_ && !candOpen_) {
    // Right after a parameter list, "__name(...)" annotates it ("__acquires(x)"); it is no
    // new declarator. Elsewhere ("__printf(1, 2) int __f(...)") it may well be one.
    const bool annotation = candValid_ && prev2_ == Token::kCloseParen && prevWord_.size() > 2 &&
                            prevWord_[0] == '_' && prevWord_[1] == '_';
    if (!annotation) {
      candValid_ = true;
      candOpen_ = true;
      candDepth_ = parenDepth_;
      candName_ = prevWord_;
      candLine_ = prevWordLine_;
      candOpenAt_ = Offset(p);
      krOpen_ = false;
      tokensAfterClose_ = 0;
    }
  }
  ++parenDepth_;
}

void Pass::CloseParen(const char* p) {
  if (braceDepth_ != 0 || parenDepth_ == 0) return;
  --parenDepth_;
  if (candOpen_ && parenDepth_ == candDepth_) {
    candOpen_ = false;
    aggregatePending_ = false;  // a struct before the list was its return type
    const size_t close = Offset(p);
    krOpen_ = candDepth_ == 0 &&
              IsParameterNameList(text_.substr(candOpenAt_ + 1, close - candOpenAt_ - 1));
    tokensAfterClose_ = -1;  // the ")" itself is noted next
  }
}

void Pass::Semicolon() {
  if (braceDepth_ != 0) return;
  if (parenDepth_ == 0 && candValid_ && !candOpen_ && krOpen_ && tokensAfterClose_ > 1 &&
      krDeclarationFirst_ && !sawEquals_) {
    // "int f(a, b) int a; char *b; {": the parameter declarations of an old-style definition.
    aggregatePending_ = false;
    return;
  }
  // A ";" inside parentheses at file scope means they never closed: start afresh.
  ResetDeclaration();
}

void Pass::OpenBrace(const char* p) {
  if (braceDepth_ != 0) {
    ++braceDepth_;
    return;
  }
  if (prev_ == Token::kString && prev2_ == Token::kWord && prev2Word_ == "extern") {
    ++externBlocks_;  // extern "C" { ... } holds file-scope code
    ResetDeclaration();
    return;
  }
  const bool definition = candValid_ && !candOpen_ && parenDepth_ == 0 && !sawEquals_ &&
                          !aggregatePending_ && prev_ != Token::kEquals;
  braceDepth_ = 1;
  if (definition) {
    inFunction_ = true;
    function_ = CFunction{};
    function_.name = candName_;
    function_.headerStart = declStart_ == kNone ? Offset(candName_.data()) : declStart_;
    function_.headerEnd = prevEnd_;
    function_.bodyStart = Offset(p);
    function_.headerLine = declStart_ == kNone ? candLine_ : declLine_;
    function_.nameLine = candLine_;
    function_.braceLine = line_;
    visitor_.OnFunctionStart(function_);
    ResetDeclaration();
  }
  // Otherwise a struct, union or enum body or an initialiser: the declaration goes on after it.
}

void Pass::EndFunction(bool closed, size_t end, int endLine) {
  inFunction_ = false;
  function_.bodyEnd = end;
  function_.endLine = endLine;
  function_.closed = closed;
  visitor_.OnFunctionEnd(function_);
}

void Pass::CloseBrace(const char* p) {
  if (braceDepth_ == 0) {
    if (externBlocks_ > 0) --externBlocks_;
    ResetDeclaration();
    return;
  }
  if (--braceDepth_ != 0) return;
  if (inFunction_) {
    EndFunction(true, Offset(p) + 1, line_);
    ResetDeclaration();
  }
}

bool Pass::IsPointerDeclarator(const char* p) const {
  // "name (*x)(" or "name (*x)[": a declarator whose type is a typedef name.
  const char* q = p + 1;
  const auto blanks = [&] {
    while (q < e_ && IsBlankOrNewline(*q)) ++q;
  };
  blanks();
  if (q >= e_ || *q != '*') return false;
  ++q;
  blanks();
  if (q >= e_ || ClassOf(*q) != kIdentChar) return false;
  while (q < e_ && IsWordChar(*q)) ++q;
  blanks();
  if (q >= e_ || *q != ')') return false;
  ++q;
  blanks();
  return q < e_ && (*q == '(' || *q == '[');
}

void Pass::CheckCall(const char* p) {
  if (IsNonCallWord(prevWord_)) return;
  // "type name(": a declaration, unless the word before is one that an expression follows.
  if (prev2_ == Token::kWord && !IsOneOf(prev2Word_, kExpressionWords)) return;
  if (IsPointerDeclarator(p)) return;
  CCall call;
  call.name = prevWord_;
  call.offset = Offset(prevWord_.data());
  call.open = Offset(p);
  // The name may stand on an earlier line than the "(" only across white space; the line and
  // its code start are those of the name.
  int line = line_;
  size_t lineStart = lineStart_;
  if (call.offset < lineStart_) {
    for (size_t k = call.offset; k < lineStart_; ++k) {
      if (b_[k] == '\n') --line;
    }
    lineStart = call.offset;
    while (lineStart > 0 && b_[lineStart - 1] != '\n') --lineStart;
  }
  call.line = line;
  call.codeStart = commentEnd_ > lineStart && commentEnd_ <= call.offset ? commentEnd_ : lineStart;
  visitor_.OnCall(function_, call);
}

const char* Pass::SkipBlockComment(const char* p) {
  const char* q = p + 2;
  bool multiline = false;
  while ((q = FindEither(q, e_, '*', '\n')) < e_) {
    if (*q == '\n') {
      NewLine(q);
      multiline = true;
    } else if (q + 1 < e_ && q[1] == '/') {
      q += 2;
      if (multiline) commentEnd_ = Offset(q);
      return q;
    }
    ++q;
  }
  if (multiline) commentEnd_ = Offset(e_);
  return e_;
}

const char* Pass::SkipLineComment(const char* p) {
  const char* q = p + 2;
  while (q < e_) {
    const void* lf = std::memchr(q, '\n', static_cast<size_t>(e_ - q));
    if (lf == nullptr) return e_;
    q = static_cast<const char*>(lf);
    // A backslash before the line feed carries the comment on to the next line.
    const char* before = q - 1;
    if (before > p && *before == '\r') --before;
    if (*before != '\\') return q;
    NewLine(q);
    commentEnd_ = Offset(q) + 1;
    ++q;
  }
  return e_;
}

const char* Pass::SkipLiteral(const char* p) {
  const char quote = *p;
  const char* q = p + 1;
  while (q < e_) {
    const char c = *q;
    if (c == quote) return q + 1;
    if (c == '\\') {
      if (q + 2 < e_ && q[1] == '\r' && q[2] == '\n') ++q;
      if (q + 1 < e_ && q[1] == '\n') NewLine(q + 1);
      q += 2;
      continue;
    }
    if (c == '\n') return q;  // unterminated: it ends with its line
    ++q;
  }
  return e_;
}

const char* Pass::SkipNumber(const char* p) const {
  ++p;
  while (p < e_) {
    const char d = *p;
    if (IsWordChar(d) || d == '.') {
      ++p;
    } else if ((d == '+' || d == '-') &&
               (p[-1] == 'e' || p[-1] == 'E' || p[-1] == 'p' || p[-1] == 'P')) {
      ++p;
    } else if (d == '\'' && p + 1 < e_ && IsWordChar(p[1])) {
      ++p;  // a digit separator
    } else {
      break;
    }
  }
  return p;
}

const char* Pass::DirectiveEnd(const char* p) {
  while (p < e_) {
    const char c = *p;
    if (c == '\n') {
      const char* before = p - 1;
      if (before >= b_ && *before == '\r') --before;
      if (before < b_ || *before != '\\') return p;
      NewLine(p);
      ++p;
    } else if (c == '/' && p + 1 < e_ && p[1] == '*') {
      p = SkipBlockComment(p);
    } else if (c == '/' && p + 1 < e_ && p[1] == '/') {
      return SkipLineComment(p);
    } else if (c == '"' || c == '\'') {
      p = SkipLiteral(p);
    } else {
      ++p;
    }
  }
  return e_;
}

std::string_view Pass::DirectiveWord(const char*& p) const {
  while (p < e_ && (*p == ' ' || *p == '\t')) ++p;
  const char* start = p;
  while (p < e_ && IsWordChar(*p)) ++p;
  return std::string_view(start, static_cast<size_t>(p - start));
}

const char* Pass::SkipBranches(const char* p, bool stopAtElse) {
  int nested = 0;
  while (p < e_) {
    // p is at the start of a line.
    const char* q = p;
    while (q < e_ && (*q == ' ' || *q == '\t')) ++q;
    if (q < e_ && *q == '#') {
      ++q;
      const std::string_view word = DirectiveWord(q);
      if (word == "if" || word == "ifdef" || word == "ifndef") {
        ++nested;
      } else if (word == "endif") {
        if (nested-- == 0) {
          if (!conditionals_.empty()) conditionals_.pop_back();
          return DirectiveEnd(q);
        }
      } else if (nested == 0 && stopAtElse && (word == "else" || word == "elif")) {
        // The branch after "#if 0" is read as if it were the first.
        if (!conditionals_.empty()) {
          conditionals_.back() = Conditional{braceDepth_, parenDepth_, false, Offset(q)};
        }
        return DirectiveEnd(q);
      }
    }
    const void* lf = std::memchr(q, '\n', static_cast<size_t>(e_ - q));
    if (lf == nullptr) return e_;
    p = static_cast<const char*>(lf);
    NewLine(p);
    ++p;
  }
  return e_;
}

const char* Pass::Directive(const char* p) {
  const char* q = p + 1;
  const std::string_view word = DirectiveWord(q);
  if (word == "if" || word == "ifdef" || word == "ifndef") {
    bool zero = false;
    if (word == "if") {
      const char* r = q;
      while (r < e_ && (*r == ' ' || *r == '\t')) ++r;
      zero = r < e_ && *r == '0' && (r + 1 >= e_ || !IsWordChar(r[1]));
      if (zero) {
        // Only "#if 0" itself, perhaps with a comment, not "#if 0 || X".
        ++r;
        while (r < e_ && (*r == ' ' || *r == '\t' || *r == '\r')) ++r;
        zero = r >= e_ || *r == '\n' || *r == '/';
      }
    }
    if (conditionals_.size() < kMaxConditionals) {
      conditionals_.push_back(Conditional{braceDepth_, parenDepth_, false, Offset(p)});
      if (zero) {
        const char* end = DirectiveEnd(q);
        if (end >= e_) return e_;
        NewLine(end);
        return SkipBranches(end + 1, true);
      }
    }
  } else if (word == "else" || word == "elif") {
    if (!conditionals_.empty()) {
      Conditional& open = conditionals_.back();
      if (!open.branchEnded) {
        open.branchEnded = true;
        // A first branch that leaves braces or parentheses open would open them twice, and one
        // that ends in a function header would give the body a second header: the other
        // branches are left out, as the first one is taken.
        const bool header =
            braceDepth_ == 0 && candValid_ && !candOpen_ && candOpenAt_ > open.start;
        if (open.braceDepth != braceDepth_ || open.parenDepth != parenDepth_ || header) {
          const char* end = DirectiveEnd(q);
          if (end >= e_) return e_;
          NewLine(end);
          return SkipBranches(end + 1, false);
        }
      }
    }
  } else if (word == "endif") {
    if (!conditionals_.empty()) conditionals_.pop_back();
  }
  return DirectiveEnd(q);
}

// The bytes inside braces that end a stretch of words, blanks, line feeds and one-byte tokens:
// parentheses that may follow a call's name, braces, comments, literals and directives.
struct BodyEventTable {
  std::array<bool, 256> of{};
  constexpr BodyEventTable() {
    for (const char c : {'(', '{', '}', '/', '"', '\'', '#'}) of[static_cast<uint8_t>(c)] = true;
  }
};
constexpr BodyEventTable kBodyEvents;

// The number of bits set in a 16-bit mask (no POPCNT instruction on plain x86-64).
inline int BitCount(unsigned mask) {
  mask = mask - ((mask >> 1) & 0x5555u);
  mask = (mask & 0x3333u) + ((mask >> 2) & 0x3333u);
  mask = (mask + (mask >> 4)) & 0x0F0Fu;
  return static_cast<int>((mask + (mask >> 8)) & 0x1Fu);
}

const char* Pass::NextBodyEvent(const char* p) {
  // p > b_: a body starts after its "{". The line feeds on the way are counted, not visited.
#if defined(__SSE2__)
  for (; e_ - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
    const auto is = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    const __m128i events =
        _mm_or_si128(_mm_or_si128(_mm_or_si128(is('('), is('{')), _mm_or_si128(is('}'), is('/'))),
                     _mm_or_si128(_mm_or_si128(is('"'), is('\'')), is('#')));
    // A digit starts a number unless it goes on a word.
    const __m128i number = _mm_andnot_si128(WordBytes(before), InRange(bytes, '0', 9));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(events, number)));
    auto lineFeeds = static_cast<unsigned>(_mm_movemask_epi8(is('\n')));
    const int at = mask != 0 ? __builtin_ctz(mask) : 16;
    lineFeeds &= (1u << at) - 1;
    if (lineFeeds != 0) {
      line_ += BitCount(lineFeeds);
      lineStart_ = Offset(p) + static_cast<size_t>(32 - __builtin_clz(lineFeeds));
    }
    if (mask != 0) return p + at;
  }
#endif
  for (; p < e_; ++p) {
    if (*p == '\n') {
      NewLine(p);
    } else if (kBodyEvents.of[static_cast<uint8_t>(*p)] ||
               (ClassOf(*p) == kDigit && !IsWordChar(p[-1]))) {
      return p;
    }
  }
  return e_;
}

const char* Pass::TokenBefore(const char* q, Token& kind, std::string_view& word) const {
  const char* r = q;
  while (r > sync_ && IsBlankOrNewline(r[-1])) --r;
  if (r == sync_) return nullptr;
  if (IsWordChar(r[-1])) {
    // Numbers are read where they begin, so a run of word characters here is a word.
    const char* s = WordStart(r - 1, sync_);
    kind = Token::kWord;
    word = std::string_view(s, static_cast<size_t>(r - s));
    return s;
  }
  const char c = r[-1];
  kind = c == ')' ? Token::kCloseParen : c == '=' ? Token::kEquals : Token::kOther;
  return r - 1;
}

void Pass::SyncTokensAt(const char* q) {
  Token kind;
  std::string_view word;
  const char* start = TokenBefore(q, kind, word);
  if (start == nullptr) return;  // the state at sync_ holds at q
  if (kind == Token::kWord) {
    Token kind2;
    std::string_view word2;
    if (TokenBefore(start, kind2, word2) == nullptr) {
      kind2 = prev_;
      word2 = prevWord_;
    }
    prev2_ = kind2;
    prev2Word_ = word2;
    prevWord_ = word;
    prevEnd_ = Offset(start + word.size());
  } else {
    prev2_ = Token::kNone;  // what came before a token that is no word never counts
    prevEnd_ = Offset(start + 1);
  }
  prev_ = kind;
}

void Pass::SyncEndAt(const char* q) {
  const char* r = q;
  while (r > sync_ && IsBlankOrNewline(r[-1])) --r;
  if (r > sync_) prevEnd_ = Offset(r);
}

bool Pass::LineStartOnlyAt(const char* q) const {
  const char* r = q;
  while (r > sync_ && ClassOf(r[-1]) == kBlank) --r;
  return r == sync_ ? syncLineStartOnly_ : r[-1] == '\n';
}

const char* Pass::RunBody(const char* p) {
  // The token loop's state is kept only where it can matter: at a "(" (a call?), a brace, a
  // directive, and where a comment, literal or number interrupts the plain stretch.
  sync_ = p;
  syncLineStartOnly_ = false;
  while ((p = NextBodyEvent(p)) < e_) {
    const char* q = p;
    switch (*q) {
      case '(':
        SyncTokensAt(q);
        if (inFunction_ && prev_ == Token::kWord) CheckCall(q);
        NoteToken(Token::kOther, q, q + 1);
        ++p;
        syncLineStartOnly_ = false;
        break;
      case '{':
        SyncEndAt(q);
        OpenBrace(q);
        prev_ = Token::kOther;
        prev2_ = Token::kNone;
        ++p;
        syncLineStartOnly_ = false;
        break;
      case '}':
        SyncEndAt(q);
        CloseBrace(q);
        prev_ = Token::kOther;
        prev2_ = Token::kNone;
        ++p;
        if (braceDepth_ == 0) return p;
        syncLineStartOnly_ = false;
        break;
      case '/':
        if (q + 1 < e_ && (q[1] == '*' || q[1] == '/')) {
          SyncTokensAt(q);
          const bool lineStartOnly = LineStartOnlyAt(q);
          p = q[1] == '*' ? SkipBlockComment(q) : SkipLineComment(q);
          syncLineStartOnly_ = lineStartOnly;
          break;
        }
        ++p;  // a one-byte token of the stretch
        continue;
      case '"':
      case '\'': {
        // L"..", u8"..", U'.': a literal with its prefix.
        const char* start = q;
        if (q > sync_ && IsWordChar(q[-1])) {
          const char* s = q - 1;
          while (s > sync_ && IsWordChar(s[-1])) --s;
          if (q - s <= 2) start = s;
        }
        SyncEndAt(start);
        p = SkipLiteral(q);
        NoteToken(Token::kString, start, p);
        syncLineStartOnly_ = false;
        break;
      }
      case '#':
        if (!LineStartOnlyAt(q)) {
          ++p;  // a one-byte token of the stretch
          continue;
        }
        SyncEndAt(q);
        p = Directive(q);
        prev_ = Token::kNone;
        if (p < e_) {
          NewLine(p);
          ++p;
        }
        syncLineStartOnly_ = true;
        break;
      default:
        if (ClassOf(*q) != kDigit || IsWordChar(q[-1])) {
          ++p;
          continue;
        }
        SyncEndAt(q);
        p = SkipNumber(q);
        NoteToken(Token::kOther, q, p);
        syncLineStartOnly_ = false;
        break;
    }
    sync_ = p;
  }
  return e_;
}

int Pass::Run() {
  const char* p = b_;
  bool lineStartOnly = true;  // only blanks since the start of the line
  while (p < e_) {
    const char c = *p;
    switch (ClassOf(c)) {
      case kBlank:
        ++p;
        while (p < e_ && ClassOf(*p) == kBlank) ++p;
        break;
      case kNewline:
        NewLine(p);
        lineStartOnly = true;
        ++p;
        while (p < e_ && ClassOf(*p) == kBlank) ++p;
        break;
      case kIdentChar: {
        const char* start = p;
        p = fastBodies_ ? WordEnd(p + 1, e_) : p + 1;
        while (p < e_ && IsWordChar(*p)) ++p;
        if (p < e_ && ClassOf(*p) == kQuote && p - start <= 2) {
          // L"..", u8"..", U'.': a literal with its prefix.
          p = SkipLiteral(p);
          NoteToken(Token::kString, start, p);
        } else {
          NoteToken(Token::kWord, start, p);
          // Most words are followed by a blank: skip it here rather than in another round.
          while (p < e_ && (*p == ' ' || *p == '\t')) ++p;
        }
        lineStartOnly = false;
        break;
      }
      case kDigit: {
        const char* start = p;
        p = SkipNumber(p);
        NoteToken(Token::kOther, start, p);
        lineStartOnly = false;
        break;
      }
      case kSlash:
        if (p + 1 < e_ && p[1] == '*') {
          p = SkipBlockComment(p);
        } else if (p + 1 < e_ && p[1] == '/') {
          p = SkipLineComment(p);
        } else {
          NoteToken(Token::kOther, p, p + 1);
          ++p;
          lineStartOnly = false;
        }
        break;
      case kQuote: {
        const char* start = p;
        p = SkipLiteral(p);
        NoteToken(Token::kString, start, p);
        lineStartOnly = false;
        break;
      }
      case kHash:
        if (lineStartOnly) {
          p = Directive(p);
          // A directive stands between tokens; what came before it does not precede what
          // comes after it as a call's name would.
          prev_ = Token::kNone;
          if (p < e_) {
            NewLine(p);
            ++p;
          }
          lineStartOnly = true;
        } else {
          NoteToken(Token::kOther, p, p + 1);
          ++p;
        }
        break;
      case kOpenBrace:
        OpenBrace(p);
        prev_ = Token::kOther;
        prev2_ = Token::kNone;
        ++p;
        lineStartOnly = false;
        if (fastBodies_ && braceDepth_ > 0) p = RunBody(p);
        break;
      case kCloseBrace:
        CloseBrace(p);
        prev_ = Token::kOther;
        prev2_ = Token::kNone;
        ++p;
        lineStartOnly = false;
        break;
      case kOpenParen:
        OpenParen(p);
        NoteToken(Token::kOther, p, p + 1);
        ++p;
        lineStartOnly = false;
        break;
      case kCloseParen:
        CloseParen(p);
        NoteToken(Token::kCloseParen, p, p + 1);
        ++p;
        lineStartOnly = false;
        break;
      case kSemicolon:
        Semicolon();
        // Not part of the declaration it ends (nor of a K&R one it separates).
        prev2_ = prev_;
        prev_ = Token::kOther;
        prevEnd_ = Offset(p + 1);
        ++p;
        lineStartOnly = false;
        break;
      case kEquals:
        if (braceDepth_ == 0 && parenDepth_ == 0) {
          const bool comparison = p + 1 < e_ && p[1] == '=';
          if (!comparison) sawEquals_ = true;
        }
        NoteToken(Token::kEquals, p, p + 1);
        ++p;
        lineStartOnly = false;
        break;
      default:
        NoteToken(Token::kOther, p, p + 1);
        ++p;
        lineStartOnly = false;
        break;
    }
  }
  const int lastLine = text_.empty() || text_.back() == '\n' ? line_ - 1 : line_;
  // A body that never closes ends with its file.
  if (inFunction_) EndFunction(false, text_.size(), lastLine);
  return lastLine;
}

}  // namespace

CSourceScanner::CSourceScanner() = default;
CSourceScanner::~CSourceScanner() = default;

int CSourceScanner::Scan(std::string_view text, CSourceVisitor& visitor) {
  return Pass(text, visitor, conditionals_, true).Run();
}

int CSourceScanner::ScanReference(std::string_view text, CSourceVisitor& visitor) {
  return Pass(text, visitor, conditionals_, false).Run();
}

namespace {

// Appends the code of text[from, to) to `out`: comments as white space, preprocessor lines left
// out when `directives` is set, white-space runs as one blank, no blank at either end. With
// `oneLine` it stops at the end of the line (and at a comment that goes on past it).
void AppendCode(std::string_view text, size_t from, size_t to, std::string& out, bool directives,
                bool oneLine) {
  bool blank = !out.empty() && out.back() == ' ';
  bool lineStart = true;
  size_t i = from;
  // Room for the code at once: it is at most the text it is taken from.
  const size_t codeEnd = oneLine ? std::min(to, text.find('\n', from)) : to;
  if (codeEnd > from) out.reserve(out.size() + (codeEnd - from));
  const auto space = [&] {
    if (!blank && !out.empty()) out += ' ';
    blank = true;
  };
  while (i < to) {
    const char c = text[i];
    if (c == '\n') {
      if (oneLine) break;
      space();
      lineStart = true;
      ++i;
    } else if (IsBlankOrNewline(c)) {
      space();
      ++i;
    } else if (c == '/' && i + 1 < to && text[i + 1] == '*') {
      const size_t end = text.find("*/", i + 2);
      const size_t after = end == std::string_view::npos || end + 2 > to ? to : end + 2;
      if (oneLine && text.substr(i, after - i).find('\n') != std::string_view::npos) break;
      i = after;
      space();
    } else if (c == '/' && i + 1 < to && text[i + 1] == '/') {
      while (i < to && text[i] != '\n') ++i;
      space();
    } else if (c == '#' && lineStart && directives) {
      while (i < to && !(text[i] == '\n' && text[i - 1] != '\\')) ++i;
    } else if (c == '"' || c == '\'') {
      const size_t start = i++;
      while (i < to && text[i] != c && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
      if (i < to && text[i] == c) ++i;
      if (i > to) i = to;
      // A literal continued by a backslash, or holding a carriage return, stays on one line.
      const size_t from = out.size();
      out.append(text.data() + start, i - start);
      std::replace_if(
          out.begin() + static_cast<ptrdiff_t>(from), out.end(),
          [](char k) { return k == '\n' || k == '\r'; }, ' ');
      blank = false;
      lineStart = false;
    } else {
      // Ordinary characters are copied as a run: of a line's code most is names and operators.
      const size_t start = i++;
      while (i < to && IsOrdinaryCodeChar(text[i])) ++i;
      out.append(text.data() + start, i - start);
      blank = false;
      lineStart = false;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
}

}  // namespace

std::string CHeaderText(std::string_view text, const CFunction& function) {
  std::string out;
  AppendCode(text, function.headerStart, function.headerEnd, out, true, false);
  return out;
}

std::string CLineText(std::string_view text, const CCall& call) {
  std::string out;
  AppendCode(text, call.codeStart, text.size(), out, false, true);
  return out;
}

int CCallArguments(std::string_view text, const CCall& call, StringList& args) {
  args.clear();
  const size_t limit = std::min(text.size(), call.open + kMaxArgumentBytes);
  int depth = 0;
  size_t argStart = call.open + 1;
  const auto add = [&](size_t end) {
    std::string arg;
    AppendCode(text, argStart, end, arg, true, false);
    args.push_back(std::move(arg));
  };
  for (size_t i = call.open + 1; i < limit; ++i) {
    const char c = text[i];
    switch (c) {
      case '(':
      case '[':
      case '{':
        ++depth;
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      case ')':
        if (depth-- == 0) {
          // "f()" has no argument; "f( )" neither.
          if (!args.empty() ||
              text.substr(argStart, i - argStart).find_first_not_of(kBlankCharacters) !=
                  std::string_view::npos) {
            add(i);
          }
          return static_cast<int>(args.size());
        }
        break;
      case ',':
        if (depth == 0) {
          add(i);
          argStart = i + 1;
        }
        break;
      case '"':
      case '\'':
        ++i;
        while (i < limit && text[i] != c && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
        break;
      case '/':
        if (i + 1 < limit && text[i + 1] == '*') {
          const size_t end = text.find("*/", i + 2);
          i = end == std::string_view::npos ? limit : end + 1;
        } else if (i + 1 < limit && text[i + 1] == '/') {
          while (i + 1 < limit && text[i + 1] != '\n') ++i;
        }
        break;
      default:
        break;
    }
  }
  return -1;
}

}  // namespace quillmap
