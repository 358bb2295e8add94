#include "dot_syntax.h"

#include <array>

namespace quillmap {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class Kind {
  kEnd,
  kId,      // a name or a number
  kQuoted,  // "..." (or <...>, which the grammar treats the same)
  kEdgeOp,
  kPunct,
  kStrict,
  kGraph,
  kDigraph,
  kNode,
  kEdge,
  kSubgraph,
};

struct Token {
  Kind kind = Kind::kEnd;
  char punct = 0;         // for kPunct
  bool directed = false;  // for kEdgeOp: "->" rather than "--"
  size_t offset = 0;
  size_t line = 1;
};

// Thrown inside the checker only; FindDotSyntaxError turns it into its result.
struct Failure {
  DotSyntaxError error;
};

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// Graphviz counts every byte from 0x80 up as a letter, so UTF-8 and Latin-1 names are plain.
bool IsLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}

bool SameKeyword(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != keyword[i]) return false;
  }
  return true;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    SkipBlanksAndComments();
    Token token;
    token.offset = pos_;
    token.line = line_;
    if (pos_ >= text_.size()) return token;
    const unsigned char c = Byte(pos_);
    if (c == '"') {
      ScanQuoted();
      token.kind = Kind::kQuoted;
    } else if (c == '<') {
      ScanHtml();
      token.kind = Kind::kQuoted;
    } else if (c == '-' && pos_ + 1 < text_.size() &&
               (text_[pos_ + 1] == '>' || text_[pos_ + 1] == '-')) {
      token.kind = Kind::kEdgeOp;
      token.directed = text_[pos_ + 1] == '>';
      pos_ += 2;
    } else if (IsDigit(c) || ((c == '-' || c == '.') && StartsNumber(pos_))) {
      ScanNumber();
      token.kind = Kind::kId;
    } else if (IsLetter(c)) {
      token.kind = KeywordKind(ScanName());
    } else if (std::string_view("{}[]=;,:+").find(static_cast<char>(c)) != std::string_view::npos) {
      token.kind = Kind::kPunct;
      token.punct = static_cast<char>(c);
      ++pos_;
    } else {
      Fail(pos_, c == 0 ? "NUL byte" : "unexpected character '" + Printable(c) + "'");
    }
    return token;
  }

  [[noreturn]] void Fail(size_t offset, std::string message) const {
    size_t line = 1;
    for (size_t i = 0; i < offset && i < text_.size(); ++i) line += text_[i] == '\n';
    throw Failure{{line, offset, std::move(message)}};
  }

 private:
  unsigned char Byte(size_t i) const { return static_cast<unsigned char>(text_[i]); }

  static std::string Printable(unsigned char c) {
    if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
    static constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                  '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    return std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
  }

  void CheckLength(size_t start, size_t end, const char* what) const {
    if (end - start > kMaxDotLexeme) Fail(start, std::string(what) + " longer than Graphviz reads");
  }

  void Advance(size_t to) {
    for (; pos_ < to; ++pos_) line_ += text_[pos_] == '\n';
  }

  // Length of the name that starts at `from` (0 when none does).
  size_t NameLength(size_t from) const {
    size_t end = from;
    if (end < text_.size() && IsLetter(Byte(end))) {
      ++end;
      while (end < text_.size() && (IsLetter(Byte(end)) || IsDigit(Byte(end)))) ++end;
    }
    return end - from;
  }

  void SkipBlanksAndComments() {
    for (;;) {
      if (pos_ >= text_.size()) return;
      const char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        Advance(pos_ + 1);
      } else if (text_.substr(pos_, 3) == kByteOrderMark && NameLength(pos_) == 3) {
        pos_ += 3;
      } else if (text_.substr(pos_, 2) == "/*") {
        const size_t close = text_.find("*/", pos_ + 2);
        if (close == std::string_view::npos) Fail(pos_, "unterminated comment");
        CheckRuns(pos_ + 2, close, "*\n", "comment line");
        Advance(close + 2);
      } else if (text_.substr(pos_, 2) == "//" || c == '#') {
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        CheckLength(pos_, end, "comment");
        CheckNoNul(pos_, end);
        Advance(end);
      } else {
        return;
      }
    }
  }

  void CheckNoNul(size_t from, size_t to) const {
    const size_t nul = text_.substr(from, to - from).find('\0');
    if (nul != std::string_view::npos) Fail(from + nul, "NUL byte");
  }

  // Each run of bytes between two `stops` must stay within the reader's longest match.
  void CheckRuns(size_t from, size_t to, std::string_view stops, const char* what) const {
    CheckNoNul(from, to);
    size_t runStart = from;
    for (size_t i = from; i <= to; ++i) {
      if (i == to || stops.find(text_[i]) != std::string_view::npos) {
        CheckLength(runStart, i, what);
        runStart = i + 1;
      }
    }
  }

  void ScanQuoted() {
    const size_t start = pos_;
    size_t i = pos_ + 1;
    size_t runStart = i;
    for (;;) {
      if (i >= text_.size()) Fail(start, "unterminated quoted string");
      const char c = text_[i];
      if (c == '\0') Fail(i, "NUL byte");
      if (c == '"' || c == '\\') {
        CheckLength(runStart, i, "quoted string part");
        if (c == '"') break;
        // \" and \\ are taken as pairs, a backslash before a line end joins the lines, any
        // other backslash stands for itself.
        const char next = i + 1 < text_.size() ? text_[i + 1] : '\0';
        i += (next == '"' || next == '\\' || next == '\n') ? 2 : 1;
        runStart = i;
        continue;
      }
      ++i;
    }
    Advance(i + 1);
  }

  // An HTML string: "<" ... ">" with balanced angle brackets. Its content goes to an XML parser,
  // so it must be UTF-8 without control characters, and every "&" must begin a character
  // reference or one of the entities that parser knows. (The tags themselves are not checked.)
  void ScanHtml() {
    const size_t start = pos_;
    int depth = 0;
    size_t i = pos_;
    size_t runStart = i;
    while (true) {
      if (i >= text_.size()) Fail(start, "unterminated HTML string");
      const unsigned char c = Byte(i);
      if (c == '<' || c == '>' || c == '\n') {
        CheckLength(runStart, i, "HTML string part");
        runStart = i + 1;
      }
      if (c == '<') ++depth;
      if (c == '>' && --depth == 0) break;
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
        Fail(i, c == 0 ? "NUL byte" : "control character in an HTML string");
      }
      if (c == '&') {
        i = CheckEntity(i);
      } else if (c >= 0x80) {
        i = CheckUtf8(i);
      } else {
        ++i;
      }
    }
    Advance(i + 1);
  }

  // After the "&" at `at`: a known entity or a character reference XML allows. Returns the
  // position after its ";".
  size_t CheckEntity(size_t at) const {
    const size_t semicolon = text_.find(';', at);
    const std::string_view body = semicolon == std::string_view::npos
                                      ? std::string_view()
                                      : text_.substr(at + 1, semicolon - at - 1);
    static constexpr std::array<std::string_view, 6> kEntities = {"amp",  "lt",   "gt",
                                                                  "quot", "apos", "nbsp"};
    for (std::string_view entity : kEntities) {
      if (body == entity) return semicolon + 1;
    }
    if (body.size() >= 2 && body[0] == '#' && body.size() <= 10) {
      const bool hex = body[1] == 'x' || body[1] == 'X';
      const std::string_view digits = body.substr(hex ? 2 : 1);
      unsigned long code = 0;
      bool valid = !digits.empty();
      for (char d : digits) {
        const int value = IsDigit(static_cast<unsigned char>(d)) ? d - '0'
                          : hex && d >= 'a' && d <= 'f'          ? d - 'a' + 10
                          : hex && d >= 'A' && d <= 'F'          ? d - 'A' + 10
                                                                 : -1;
        if (value < 0) valid = false;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(value < 0 ? 0 : value);
      }
      const bool xmlChar = code == 0x9 || code == 0xA || code == 0xD ||
                           (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD) ||
                           (code >= 0x10000 && code <= 0x10FFFF);
      if (valid && xmlChar) return semicolon + 1;
    }
    Fail(at, "'&' that begins no entity in an HTML string");
  }

  // The UTF-8 sequence that starts at `at` (no overlong forms, surrogates or codes above
  // U+10FFFF). Returns the position after it.
  size_t CheckUtf8(size_t at) const {
    const unsigned char lead = Byte(at);
    size_t length = 0;
    unsigned long code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07;
    } else {
      Fail(at, "byte that is not UTF-8 in an HTML string");
    }
    for (size_t k = 1; k < length; ++k) {
      if (at + k >= text_.size() || (Byte(at + k) & 0xC0) != 0x80) {
        Fail(at, "byte that is not UTF-8 in an HTML string");
      }
      code = (code << 6) | (Byte(at + k) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      Fail(at, "byte that is not UTF-8 in an HTML string");
    }
    return at + length;
  }

  bool StartsNumber(size_t from) const {
    size_t i = from;
    if (text_[i] == '-') ++i;
    if (i < text_.size() && IsDigit(Byte(i))) return true;
    return i + 1 < text_.size() && text_[i] == '.' && IsDigit(Byte(i + 1));
  }

  // [-]?(D+(.D*)?|.D+); a letter or "." right after it is a badly delimited number.
  void ScanNumber() {
    const size_t start = pos_;
    size_t i = pos_;
    if (text_[i] == '-') ++i;
    while (i < text_.size() && IsDigit(Byte(i))) ++i;
    if (i < text_.size() && text_[i] == '.') {
      ++i;
      while (i < text_.size() && IsDigit(Byte(i))) ++i;
    }
    if (i < text_.size() && (IsLetter(Byte(i)) || text_[i] == '.')) {
      Fail(start, "badly delimited number");
    }
    CheckLength(start, i, "number");
    pos_ = i;
  }

  std::string_view ScanName() {
    const size_t start = pos_;
    pos_ += NameLength(pos_);
    CheckLength(start, pos_, "name");
    return text_.substr(start, pos_ - start);
  }

  static Kind KeywordKind(std::string_view word) {
    if (SameKeyword(word, "strict")) return Kind::kStrict;
    if (SameKeyword(word, "graph")) return Kind::kGraph;
    if (SameKeyword(word, "digraph")) return Kind::kDigraph;
    if (SameKeyword(word, "node")) return Kind::kNode;
    if (SameKeyword(word, "edge")) return Kind::kEdge;
    if (SameKeyword(word, "subgraph")) return Kind::kSubgraph;
    return Kind::kId;
  }

  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 1;
};

// Recursive descent over the grammar of Graphviz's reader:
//   graph    : [strict] (graph|digraph) [atom] body
//   body     : '{' (stmt [';'])* '}'
//   stmt     : (graph|node|edge) attrlist | atom '=' atom | compound
//   compound : simple (edgeop simple)* [attrlist]
//   simple   : node (',' node)* | [subgraph [atom]] body
//   node     : atom [':' atom [':' atom]]
//   attrlist : ('[' (atom '=' atom [';'|','])* ']')+
//   atom     : ID | quoted ('+' quoted)*
class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) { Take(); }

  void ParseGraph() {
    if (token_.kind == Kind::kStrict) Take();
    if (token_.kind != Kind::kGraph && token_.kind != Kind::kDigraph) {
      Fail("expected 'graph' or 'digraph'");
    }
    directed_ = token_.kind == Kind::kDigraph;
    Take();
    if (IsAtom()) ParseAtom();
    ParseBody();
    if (token_.kind != Kind::kEnd) Fail("text after the end of the graph");
  }

 private:
  [[noreturn]] void Fail(std::string message) const {
    lexer_.Fail(token_.offset, std::move(message));
  }
  void Take() { token_ = lexer_.Next(); }
  bool IsPunct(char c) const { return token_.kind == Kind::kPunct && token_.punct == c; }
  bool IsAtom() const { return token_.kind == Kind::kId || token_.kind == Kind::kQuoted; }
  void Expect(char c) {
    if (!IsPunct(c)) Fail(std::string("expected '") + c + "'");
    Take();
  }

  void ParseAtom() {
    if (token_.kind == Kind::kId) {
      Take();
      return;
    }
    if (token_.kind != Kind::kQuoted) Fail("expected an ID");
    Take();
    while (IsPunct('+')) {
      Take();
      if (token_.kind != Kind::kQuoted) Fail("expected a quoted string after '+'");
      Take();
    }
  }

  void ParseBody() {
    Expect('{');
    for (;;) {
      if (IsPunct('}')) {
        Take();
        return;
      }
      if (token_.kind == Kind::kEnd) Fail("expected '}'");
      ParseStatement();
      if (IsPunct(';')) Take();
    }
  }

  void ParseStatement() {
    if (token_.kind == Kind::kGraph || token_.kind == Kind::kNode || token_.kind == Kind::kEdge) {
      Take();
      if (!IsPunct('[')) Fail("expected '[' after an attribute statement's keyword");
      ParseAttributeLists();
      return;
    }
    if (IsAtom()) {
      ParseAtom();
      if (IsPunct('=')) {
        Take();
        ParseAtom();
        return;
      }
      ParseNodeRest();
      ParseCompoundRest();
      return;
    }
    if (token_.kind == Kind::kSubgraph || IsPunct('{')) {
      ParseSimple();
      ParseCompoundRest();
      return;
    }
    Fail("expected a statement");
  }

  // After the first node of a compound statement.
  void ParseCompoundRest() {
    while (IsPunct(',')) {
      Take();
      ParseNode();
    }
    while (token_.kind == Kind::kEdgeOp) {
      if (token_.directed != directed_) Fail(directed_ ? "'--' in a digraph" : "'->' in a graph");
      Take();
      ParseSimple();
    }
    if (IsPunct('[')) ParseAttributeLists();
  }

  void ParseSimple() {
    if (token_.kind == Kind::kSubgraph) {
      Take();
      if (IsAtom()) ParseAtom();
      ParseBody();
      return;
    }
    if (IsPunct('{')) {
      ParseBody();
      return;
    }
    ParseNode();
    while (IsPunct(',')) {
      Take();
      ParseNode();
    }
  }

  void ParseNode() {
    if (!IsAtom()) Fail("expected a node ID");
    ParseAtom();
    ParseNodeRest();
  }

  // The ports after a node's ID.
  void ParseNodeRest() {
    for (int ports = 0; ports < 2 && IsPunct(':'); ++ports) {
      Take();
      ParseAtom();
    }
  }

  void ParseAttributeLists() {
    while (IsPunct('[')) {
      Take();
      while (!IsPunct(']')) {
        if (!IsAtom()) Fail("expected an attribute name or ']'");
        ParseAtom();
        Expect('=');
        if (!IsAtom()) Fail("expected an attribute value");
        ParseAtom();
        if (IsPunct(';') || IsPunct(',')) Take();
      }
      Take();
    }
  }

  Lexer lexer_;
  Token token_;
  bool directed_ = false;
};

}  // namespace

std::optional<DotSyntaxError> FindDotSyntaxError(std::string_view text) {
  try {
    Parser(text).ParseGraph();
  } catch (const Failure& failure) {
    return failure.error;
  }
  return std::nullopt;
}

std::string DescribeDotSyntaxError(const DotSyntaxError& error) {
  return "line " + std::to_string(error.line) + ": " + error.message;
}

}  // namespace quillmap
