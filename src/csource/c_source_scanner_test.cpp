#include "csource/c_source_scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace quillmap {
namespace {

// Writes what a scan finds as one line per function: "name header@nameLine {brace-end} [header]
// calls", each call as name@line; an unclosed body shows its end as "end?".
class Recorder : public CSourceVisitor {
 public:
  explicit Recorder(std::string_view text) : text_(text) {}
  void OnFunctionStart(const CFunction& f) override {
    out.append(f.name).append(" ").append(std::to_string(f.headerLine)).append("@");
    out.append(std::to_string(f.nameLine)).append(" {").append(std::to_string(f.braceLine));
    out += '-';
    header_ = CHeaderText(text_, f);
    calls_.clear();
  }
  void OnCall(const CFunction&, const CCall& c) override {
    calls_ += ' ';
    calls_.append(c.name).append("@").append(std::to_string(c.line));
  }
  void OnFunctionEnd(const CFunction& f) override {
    out.append(std::to_string(f.endLine)).append(f.closed ? "}" : "?}").append(" [");
    out.append(header_).append("]").append(calls_) += '\n';
  }
  std::string out;

 private:
  std::string_view text_;
  std::string header_;
  std::string calls_;
};

std::string Scan(std::string_view text) {
  CSourceScanner scanner;
  Recorder recorder(text);
  scanner.Scan(text, recorder);
  return recorder.out;
}

struct Case {
  const char* name;
  std::string text;
  const char* expected;
};

TEST(CSourceScanner, RecognisesDefinitionsAndCallsInEveryLayout) {
  const Case cases[] = {
      {"brace on its own line", "int foo(int a)\n{\n  bar(a);\n}\n",
       "foo 1@1 {2-4} [int foo(int a)] bar@3\n"},
      {"brace on the header line", "int foo(void) {\n  bar();\n}\n",
       "foo 1@1 {1-3} [int foo(void)] bar@2\n"},
      // Found by c_source_fuzzer: the header text of a literal continued over a line end.
      {"a literal continued in the header", "void f(void) __section(\"a\\\nb\") {\n}\n",
       "f 1@1 {2-3} [void f(void) __section(\"a\\ b\")]\n"},
      {"return type on its own line", "static int\nfoo(void)\n{\n}\n",
       "foo 1@2 {3-4} [static int foo(void)]\n"},
      {"wrapped parameters, brace indented",
       "int foo(int a,\n        int b)\n    {\n x(a,\n b);\n    }\n",
       "foo 1@1 {3-6} [int foo(int a, int b)] x@4\n"},
      {"K&R parameter declarations", "int add(a, b)\nint a;\nchar *b;\n{\n  return g(a);\n}\n",
       "add 1@1 {4-6} [int add(a, b) int a; char *b;] g@5\n"},
      {"attributes and macros between ) and {",
       "void f(void) __attribute__((noreturn)) {\n}\nstatic void g(void) __acquires(x)\n{\n}\n"
       "__printf(1, 2) int __h(const char *s, ...) {}\n",
       "f 1@1 {1-2} [void f(void) __attribute__((noreturn))]\n"
       "g 3@3 {4-5} [static void g(void) __acquires(x)]\n"
       "__h 6@6 {6-6} [__printf(1, 2) int __h(const char *s, ...)]\n"},
      {"not definitions: aggregates, initialisers, prototypes",
       "struct s { int (*fp)(int); };\nint a[] = { f(1) };\nint h(void);\nenum e { A = B(1) };\n"
       "typedef struct { int x; } t;\nstatic const struct s v = { .fp = g };\n"
       "struct s *make(void) { return m(); }\n",
       "make 7@7 {7-7} [struct s *make(void)] m@7\n"},
      {"extern \"C\" is transparent", "extern \"C\" {\nint f(void) { g(); }\n}\nint h(void) {}\n",
       "f 2@2 {2-2} [int f(void)] g@2\nh 4@4 {4-4} [int h(void)]\n"},
      {"comments and literals hold no code",
       "/* int x(void) { y(); } */\nvoid f(void) {\n  /* g(); */ // h();\n  s = \"k()\"; c = '(';\n"
       "  m(1); // n(\n}\n",
       "f 2@2 {2-6} [void f(void)] m@5\n"},
      {"keywords, declarations and casts are no calls",
       "void f(void) {\n if (a) while (b) for (;;) switch (c) return sizeof(x);\n int g(int);\n"
       " size_t (*fp)(int);\n (void)h(1);\n return k(2);\n else l(); do q(); while (0);\n}\n",
       "f 1@1 {1-8} [void f(void)] h@5 k@6 l@7 q@7\n"},
      {"#if 0 is skipped, its #else read",
       "#if 0\nint dead(void) {\n}\n#else\nint live(void) {\n}\n#endif\n",
       "live 5@5 {5-6} [int live(void)]\n"},
      {"a body opened in two branches follows the first",
       "#ifdef A\nint f(int a) {\n#else\nint f(void) {\n#endif\n  g();\n}\n",
       "f 2@2 {2-7} [int f(int a)] g@6\n"},
      {"alternative headers in #if branches: the first is taken",
       "#ifdef A\nint f(int a)\n#else\nint f(void)\n#endif\n{\n  g();\n}\n",
       "f 2@2 {6-8} [int f(int a)] g@7\n"},
      {"the name and its ( on different lines", "static int long_name\n    (int a) {\n}\n",
       "long_name 1@1 {2-3} [static int long_name (int a)]\n"},
      {"preprocessor lines with continuations",
       "#define M(x) \\\n  foo(x) { bar(); }\nint f(void) { baz(); }\n",
       "f 3@3 {3-3} [int f(void)] baz@3\n"},
      {"a function returning a function pointer",
       "void (*sig(int s, void (*h)(int)))(int)\n{\n  x();\n}\n",
       "sig 1@1 {2-4} [void (*sig(int s, void (*h)(int)))(int)] x@3\n"},
      {"every call of a line, nested ones included", "void f(void) { a(b(1), c(2)); }\n",
       "f 1@1 {1-1} [void f(void)] a@1 b@1 c@1\n"},
      {"a macro call without ; before a definition", "module_init(x)\nstatic int f(void) {}\n",
       "f 1@2 {2-2} [module_init(x) static int f(void)]\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.text), c.expected) << c.name;
}

TEST(CSourceScanner, BadInputEndsCleanlyInLinearTime) {
  std::string nul("int f(void) {\0 g(); }\n", 22);
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xff);
  std::string longLine = "int f(void) { ";
  for (int i = 0; i < 100000; ++i) longLine += "x = (y);  ";
  longLine += "z(); }\n";
  std::string nested = "int f(void) { ";
  for (int i = 0; i < 20000; ++i) nested += "a(";
  const Case cases[] = {
      {"stray closing braces", "}\n}\nint f(void) { g(); }\n", "f 3@3 {3-3} [int f(void)] g@3\n"},
      {"unterminated comment", "int f(void) { g(); }\n/* open\nint h(void) {}\n",
       "f 1@1 {1-1} [int f(void)] g@1\n"},
      {"unterminated literal ends with its line",
       "int f(void) { g(\"abc\n); }\nint h(void) { k('); }\n",
       "f 1@1 {1-2} [int f(void)] g@1\n"
       "h 3@3 {3-3?} [int h(void)] k@3\n"},
      {"a body that never closes ends with the file", "int f(void) {\n g();\n",
       "f 1@1 {1-2?} [int f(void)] g@2\n"},
      {"#if branches that leave braces unbalanced",
       "int f(void) {\n#if A\n if (x) {\n#else\n if (y) {\n#endif\n  g();\n }\n}\nint h(void) {}\n",
       "f 1@1 {1-9} [int f(void)] g@7\nh 10@10 {10-10} [int h(void)]\n"},
      {"an #if 0 that never ends", "#if 0\nint f(void) {}\n", ""},
      {"parentheses that never close at file scope", "int x(1;\nint f(void) { g(); }\n",
       "f 2@2 {2-2} [int f(void)] g@2\n"},
      {"NUL bytes", nul, "f 1@1 {1-1} [int f(void)] g@1\n"},
      {"a 1 MB line", longLine, "f 1@1 {1-1} [int f(void)] z@1\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.text), c.expected) << c.name;

  // No crash and no hang on binary input or 20,000 open calls (their splitting is bounded).
  Scan(binary);
  CSourceScanner scanner;
  struct Splitter : CSourceVisitor {
    std::string_view text;
    StringList args;
    size_t calls = 0;
    void OnFunctionStart(const CFunction&) override {}
    void OnCall(const CFunction&, const CCall& call) override {
      ++calls;
      EXPECT_EQ(CCallArguments(text, call, args), -1);
    }
    void OnFunctionEnd(const CFunction& f) override { EXPECT_FALSE(f.closed); }
  } splitter;
  splitter.text = nested;
  scanner.Scan(nested, splitter);
  EXPECT_EQ(splitter.calls, 20000u);

  // The next text starts clean: no open body, brace, parenthesis or conditional carries over.
  Recorder second("int g(void) { h(); }\n");
  scanner.Scan("#if A\nint f(void) { (\n", second);
  Recorder third("int g(void) { h(); }\n");
  scanner.Scan("int g(void) { h(); }\n", third);
  EXPECT_EQ(third.out, "g 1@1 {1-1} [int g(void)] h@1\n");
}

// Every field of every finding, for comparing Scan with ScanReference.
class FullRecorder : public CSourceVisitor {
 public:
  void OnFunctionStart(const CFunction& f) override { Add('F', f); }
  void OnCall(const CFunction& f, const CCall& c) override {
    out.append("C ").append(f.name).append(" ").append(c.name);
    for (const size_t n : {c.offset, c.open, c.codeStart, static_cast<size_t>(c.line)}) {
      out.append(" ").append(std::to_string(n));
    }
    out += '\n';
  }
  void OnFunctionEnd(const CFunction& f) override { Add('E', f); }
  std::string out;

 private:
  void Add(char kind, const CFunction& f) {
    out.append(1, kind).append(" ").append(f.name);
    for (const size_t n :
         {f.headerStart, f.headerEnd, f.bodyStart, f.bodyEnd, static_cast<size_t>(f.headerLine),
          static_cast<size_t>(f.nameLine), static_cast<size_t>(f.braceLine),
          static_cast<size_t>(f.endLine), static_cast<size_t>(f.closed)}) {
      out.append(" ").append(std::to_string(n));
    }
    out += '\n';
  }
};

TEST(CSourceScanner, FastBodiesFindWhatTheTokenLoopFinds) {
  // Pieces of C that meet in bodies in every order: numbers that hold quotes, signs and
  // letters, literal prefixes, comments between a name and its "(", directives and "#" in
  // expressions, line feeds of every kind, and what bad input holds.
  const std::vector<std::string> pieces = {"int ",
                                           "f",
                                           "g1",
                                           " ",
                                           "\t",
                                           "\n",
                                           "\r\n",
                                           "(",
                                           ")",
                                           "{",
                                           "}",
                                           ";",
                                           ",",
                                           "=",
                                           "*",
                                           "return ",
                                           "else ",
                                           "sizeof",
                                           "/* c */",
                                           "/*\n*/",
                                           "// x\n",
                                           "//\\\n",
                                           "\"s()\"",
                                           "'('",
                                           "\"",
                                           "'",
                                           "L",
                                           "u8",
                                           "1'000",
                                           "1.5e+3",
                                           "0x1fULL",
                                           "1L\"x\"",
                                           ".5",
                                           "a.1.b",
                                           "#if 0\n",
                                           "#else\n",
                                           "#endif\n",
                                           " # ",
                                           "#define M(x) \\\n x(1)\n",
                                           "\\",
                                           "$x",
                                           "(*p)(",
                                           std::string(1, '\0'),
                                           "\xC3\xA9",
                                           "extern \"C\" ",
                                           "struct s "};
  std::mt19937 random(7);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(1, 120);
  CSourceScanner scanner;
  for (int round = 0; round < 3000; ++round) {
    // Most texts open a body first, so that the pieces land inside one.
    std::string text = round % 4 == 0 ? "" : "int main(void) {\n";
    for (int n = length(random); n > 0; --n) text += pieces[pick(random)];
    FullRecorder fast;
    FullRecorder reference;
    const int fastLines = scanner.Scan(text, fast);
    const int referenceLines = scanner.ScanReference(text, reference);
    ASSERT_EQ(fast.out, reference.out) << "text:\n" << text;
    ASSERT_EQ(fastLines, referenceLines) << "text:\n" << text;
  }
}

TEST(CSourceScanner, CallArgumentsAndLineTextLeaveOutComments) {
  struct First : CSourceVisitor {
    std::string_view text;
    CCall call;
    bool found = false;
    void OnFunctionStart(const CFunction&) override {}
    void OnCall(const CFunction&, const CCall& c) override {
      if (!found) call = c;
      found = true;
    }
    void OnFunctionEnd(const CFunction&) override {}
  };
  const std::string text =
      "void f(void) {\n  /* a\n b */ x = /* c */ send(a, g(b, c), \"x,)y\", ',', {1, 2},\n"
      "     arr[i, j] /* , */, s->t) + 1; // tail\n}\n";
  First first;
  CSourceScanner().Scan(text, first);
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.call.line, 3);
  EXPECT_EQ(CLineText(text, first.call), "x = send(a, g(b, c), \"x,)y\", ',', {1, 2},");
  StringList args;
  EXPECT_EQ(CCallArguments(text, first.call, args), 7);
  EXPECT_EQ(args, (StringList{"a", "g(b, c)", "\"x,)y\"", "','", "{1, 2}", "arr[i, j]", "s->t"}));
}

}  // namespace
}  // namespace quillmap
