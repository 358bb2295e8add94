#include "resolve/macro_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmap {
namespace {

using Names = std::vector<std::string>;

// The functions that `use` calls once the macros of `defines` are expanded; {"(no macro)"} when
// the use's first word is no macro.
Names CallsOfUse(const std::string& defines, const std::string& use, bool* complete = nullptr) {
  MacroTable table;
  table.Read(defines);
  std::vector<MacroToken> tokens;
  TokenizeMacroText(use, tokens);
  if (tokens.empty() || table.Find(tokens[0].text) == nullptr) return {"(no macro)"};
  MacroExpander expander(table);
  std::vector<MacroToken> expansion;
  const bool ok = expander.Expand(std::move(tokens), expansion);
  if (complete != nullptr) *complete = ok;
  Names calls;
  MacroExpander::CallsOf(expansion, calls);
  return calls;
}

std::string Spelled(const std::vector<MacroToken>& tokens) {
  std::string s;
  for (const MacroToken& t : tokens) (s += s.empty() ? "" : " ") += t.text;
  return s;
}

std::string Expanded(const std::string& defines, const std::string& use) {
  MacroTable table;
  table.Read(defines);
  std::vector<MacroToken> tokens;
  TokenizeMacroText(use, tokens);
  MacroExpander expander(table);
  std::vector<MacroToken> expansion;
  expander.Expand(std::move(tokens), expansion);
  return Spelled(expansion);
}

// Every operator of two or three bytes is one token; what only starts like one is not.
TEST(TokenizeMacroTextTest, SplitsOperatorsAsCDoes) {
  std::vector<MacroToken> tokens;
  TokenizeMacroText("a<<=b>>=c<<d>>e<=f>=g==h!=i&&j||k++l--m+=n-=o*=p/=q%=r&=s|=t^=u->v##w...x",
                    tokens);
  EXPECT_EQ(Spelled(tokens),
            "a <<= b >>= c << d >> e <= f >= g == h != i && j || k ++ l -- m += n -= o *= p /= q "
            "%= r &= s |= t ^= u -> v ## w ... x");
  tokens.clear();
  TokenizeMacroText("a..b<>c=!d#e- >f", tokens);
  EXPECT_EQ(Spelled(tokens), "a . . b < > c = ! d # e - > f");
}

TEST(MacroExpanderTest, CallsOfEachMacroForm) {
  struct Case {
    const char* name;
    const char* defines;
    const char* use;
    Names calls;
  };
  const std::vector<Case> cases = {
      {"function-like", "#define CALL_HELPER(x) helper(x)\n", "CALL_HELPER(a)", {"helper"}},
      {"object-like alias of a function", "#define get4byte sqlite3Get4byte\n", "get4byte(p)",
       {"sqlite3Get4byte"}},
      {"statement macro without parentheses", "#define REFILL do { refill(s); } while (0)\n",
       "REFILL", {"refill"}},
      {"macro within a macro", "#define A(x) B(x)\n#define B(x) leaf(x)\n", "A(1)", {"leaf"}},
      {"alias of a function-like macro", "#define alias real\n#define real(x) work(x)\n",
       "alias(1)", {"work"}},
      {"name glued with ##", "#define IMPL(n) fast_ ## n\n#define CALL(n) IMPL(n)(0)\n",
       "CALL(copy)", {"fast_copy"}},
      {"stringified argument", "#define S(x) log_text(#x)\n", "S(a b)", {"log_text"}},
      {"variadic with the GNU comma", "#define LOG(fmt, ...) printk(fmt, ##__VA_ARGS__)\n",
       "LOG(\"x\")", {"printk"}},
      {"named variadic list", "#define P(args...) emit(args)\n", "P(1, 2)", {"emit"}},
      {"a call written in an argument is the text's own", "#define WRAP(e) guard(e)\n",
       "WRAP(work(1))", {"guard"}},
      {"a function passed as an argument is called", "#define APPLY(f, v) f(v)\n",
       "APPLY(handler, 1)", {"handler"}},
      {"a macro in an argument is expanded", "#define W(e) guard(e)\n#define I(x) inner(x)\n",
       "W(I(1))", {"guard"}},
      {"self-reference calls the function", "#define malloc(n) malloc((n) + 1)\n", "malloc(4)",
       {"malloc"}},
      {"member calls are dispatches, not calls", "#define NEXT(p) (p)->xNext(p)\n", "NEXT(q)",
       {}},
      {"keywords call nothing", "#define CHECK(x) if (!(x)) fail(sizeof(x))\n", "CHECK(v)",
       {"fail"}},
      {"the live branch of #if 0",
       "#if 0\n#define F(x) dead(x)\n#else\n#define F(x) live(x)\n#endif\n", "F(1)", {"live"}},
      {"the first branch of an undecidable conditional",
       "#if X > 1\n#define F(x) first(x)\n#else\n#define F(x) second(x)\n#endif\n", "F(1)",
       {"first"}},
      {"#ifdef of a name not defined",
       "#ifdef X\n#define F(x) first(x)\n#else\n#define F(x) second(x)\n#endif\n", "F(1)",
       {"second"}},
      {"#ifndef of a name defined before",
       "#define CORE 1\n#ifndef CORE\n#define F(x) api(x)\n#elif defined(CORE)\n"
       "#define F(x) core(x)\n#endif\n",
       "F(1)", {"core"}},
      {"#if of a name's value",
       "#define SAFE 0\n#if !SAFE\n#define F(x) unsafe(x)\n#else\n#define F(x) safe(x)\n#endif\n"
       "#if UNDEFINED || SAFE\n#define G(x) never(x)\n#else\n#define G(x) always(x)\n#endif\n",
       "F(G(1))", {"unsafe"}},
      {"continued lines and comments", "#define M(x) /* a\n b */ do { one(x); \\\n two(x); } while (0)\n",
       "M(1)", {"one", "two"}},
      {"the last definition counts", "#define F(x) old(x)\n#define F(x) new_one(x)\n", "F(1)",
       {"new_one"}},
      {"#undef removes it", "#define F(x) one(x)\n#undef F\n", "F(1)", {"(no macro)"}},
      {"numeric constants are not kept", "#define LIMIT 0x10UL\n", "LIMIT", {"(no macro)"}},
      {"a name alone is no use of a function-like macro", "#define F(x) one(x)\n#define G F\n",
       "G", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CallsOfUse(c.defines, c.use), c.calls) << c.name;
  }
}

TEST(MacroExpanderTest, ExpandsAsThePreprocessorDoes) {
  struct Case {
    const char* defines;
    const char* use;
    const char* expansion;
  };
  const std::vector<Case> cases = {
      {"#define IMPL(name) fast_ ## name\n", "IMPL(copy)", "fast_copy"},
      {"#define SYS(n, ...) long sys_ ## n(__VA_ARGS__)\n", "SYS(open, int a, int b)",
       "long sys_open ( int a , int b )"},
      {"#define STR(x) #x\n", "STR(a \"q\")", "\"a \\\"q\\\"\""},
      {"#define E(f, ...) f(1, ## __VA_ARGS__)\n", "E(g)", "g ( 1 )"},
      {"#define CAT(a, b) a ## b\n", "CAT(, tail)", "tail"},
      {"#define CAT(a, b) a ## b\n", "CAT(head, )", "head"},
      {"#define ID(x) x\n#define TWICE(x) ID(x) ID(x)\n", "TWICE(k)", "k k"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Expanded(c.defines, c.use), c.expansion) << c.defines;
  }
}

TEST(MacroExpanderTest, HostileMacrosEndWithinTheirBounds) {
  // Each case must end at once with a result that says whether it was cut short.
  std::string chain = "#define M0 leaf()\n";
  for (int k = 1; k < 10000; ++k) {
    chain += "#define M" + std::to_string(k) + " M" + std::to_string(k - 1) + "\n";
  }
  std::string doubling = "#define D0 leaf()\n";
  for (int k = 1; k < 40; ++k) {
    doubling += "#define D" + std::to_string(k) + " D" + std::to_string(k - 1) + " D" +
                std::to_string(k - 1) + "\n";
  }
  std::string nest;
  for (int k = 0; k < 10000; ++k) nest += "N(";
  nest += "x";
  for (int k = 0; k < 10000; ++k) nest += ")";
  struct Case {
    const char* name;
    std::string defines;
    std::string use;
    bool complete;
    Names calls;
  };
  const std::vector<Case> cases = {
      {"self-reference", "#define loop loop + 1\n", "loop", true, {}},
      {"mutual recursion", "#define A B(1)\n#define B(x) A x\n", "A", true, {}},
      {"mutual recursion of function-like macros", "#define F(x) G(x)\n#define G(x) F(x)\n",
       "F(1)", true, {"F"}},
      {"10,000 macros deep", chain, "M9999", false, {}},
      {"exponential growth", doubling, "D39", false, {"leaf"}},
      {"10,000 uses nested in arguments", "#define N(x) f(x)\n", nest, false, {}},
      {"## making no valid token", "#define BAD(a, b) a ## b\n", "BAD(+, foo)(1)", true, {}},
      {"an unterminated argument list", "#define F(x) one(x)\n", "F(1, (2", false, {}},
  };
  for (const Case& c : cases) {
    bool complete = !c.complete;
    EXPECT_EQ(CallsOfUse(c.defines, c.use, &complete), c.calls) << c.name;
    EXPECT_EQ(complete, c.complete) << c.name;
  }
}

TEST(MacroDirectivesTest, UnterminatedParameterListDefinesNothing) {
  MacroTable table;
  table.Read("#define F(x one(x)\n#define G(x) two(x)\n");
  EXPECT_EQ(table.Find("F"), nullptr);
  ASSERT_NE(table.Find("G"), nullptr);
  EXPECT_EQ(table.Find("G")->parameters, Names{"x"});
}

// Which lines are directives, and how conditions read the names defined before them: each
// text defines PROBE (to "yes") only where the reading is right.
TEST(MacroDirectivesTest, DirectivesAndConditionsAsThePreprocessorReadsThem) {
  struct Case {
    const char* name;
    const char* text;
    bool defined;
  };
  const std::vector<Case> cases = {
      {"value zero with suffixes", "#define N 0UL\n#if N\n#define PROBE yes\n#endif\n", false},
      {"value one", "#define N 1\n#if N\n#define PROBE yes\n#endif\n", true},
      {"a value not decimal is not decided",
       "#define N 0x0\n#if N\n#define PROBE yes\n#else\n#define PROBE no\n#endif\n", true},
      {"a name after a continuation",
       "#define \\\n  SPLIT 0\n#if SPLIT\n#else\n#define PROBE yes\n#endif\n", true},
      {"a name after a comment",
       "#define /* c */ CNAME 0\n#if !CNAME\n#define PROBE yes\n#endif\n", true},
      {"a function-like name is defined but not decided",
       "#define FN(x) x\n#ifdef FN\n#if FN\n#define PROBE yes\n#endif\n#endif\n", true},
      {"undefined again", "#define N 1\n#undef N\n#if defined(N) || N\n#define PROBE yes\n#endif\n",
       false},
      {"a # after code is no directive", "int x; # define PROBE yes\n", false},
      {"a continued code line hides the next line's #", "int x = 1 + \\\n#define PROBE yes\n",
       false},
      {"a comment over lines", "/* one\n#define PROBE no\n */ int x;\n", false},
      {"a comment ending before the #", "/* one\n two */\n#define PROBE yes\n", true},
      {"a literal holding a comment opener", "char *s = \"/*\";\n#define PROBE yes\n", true},
      {"a continued literal", "char *s = \"a\\\n#define PROBE no\";\n", false},
      {"blanks and a tab before the #", "  \t#  define PROBE yes\n", true},
      {"the directive's own comment and continuation",
       "#define PROBE /* x */ y\\\nes // z\n", true},
  };
  for (const Case& c : cases) {
    MacroTable table;
    table.Read(c.text);
    const MacroDefinition* probe = table.Find("PROBE");
    EXPECT_EQ(probe != nullptr && (probe->body == "yes" || probe->body == "y es"), c.defined)
        << c.name;
  }
}

TEST(MacroNameRulesTest, MatchesThePatternsOfTheRules) {
  const std::vector<MacroNameRule> rules = BuiltInMacroNameRules();
  for (const char* name : {"SYSCALL_DEFINE3", "SYSCALL_DEFINE", "COMPAT_SYSCALL_DEFINE0"}) {
    EXPECT_TRUE(MacroNameRuleMatches(rules, name)) << name;
  }
  for (const char* name : {"SYSCALL_DEFIN", "syscall_define3", "MY_SYSCALL_DEFINE3", ""}) {
    EXPECT_FALSE(MacroNameRuleMatches(rules, name)) << name;
  }
  EXPECT_FALSE(MacroNameRuleMatches({}, "SYSCALL_DEFINE3"));
}

// Texts read ahead on other threads end in the table that reading them in order gives.
TEST(MacroTableTest, ReadingTextsAheadKeepsTheirOrder) {
  std::vector<std::string> texts;
  for (int i = 0; i < 600; ++i) {
    const std::string n = std::to_string(i % 7);
    texts.push_back(i % 11 == 0 ? "#ifdef UNSEEN\n#define M" + n + "(x) p" + std::to_string(i) +
                                      "(x)\n#endif\n"  // presumed: never replaces one
                    : i % 5 == 0 ? "#undef M" + n + "\n"
                    : i % 3 == 0 ? "#define M" + n + " 42\n"  // a constant forgets the name
                                 : "#define M" + n + "(x) f" + std::to_string(i) + "(x)\n");
  }
  texts[17] = "#if 0\n#define M1 hidden\n#endif\n";
  const auto load = [&](size_t i, std::string& text) {
    if (i == 300) return false;  // a text that cannot be read gives nothing
    text = texts[i];
    return true;
  };
  for (const unsigned workers : {0u, 1u, 2u, 3u}) {
    MacroTable ahead;
    ahead.ReadAll(texts.size(), load, [] { return false; }, workers);
    MacroTable expected;
    for (size_t i = 0; i < texts.size(); ++i) {
      if (i != 300) expected.Read(texts[i]);
    }
    ASSERT_EQ(ahead.size(), expected.size()) << workers;
    for (int n = 0; n < 7; ++n) {
      const std::string name = "M" + std::to_string(n);
      const MacroDefinition* want = expected.Find(name);
      const MacroDefinition* got = ahead.Find(name);
      ASSERT_EQ(got == nullptr, want == nullptr) << workers << " " << name;
      if (want != nullptr) {
        EXPECT_EQ(got->body, want->body) << workers << " " << name;
      }
    }
    size_t asked = 0;
    MacroTable stopped;
    stopped.ReadAll(texts.size(), load, [&] { return ++asked > 10; }, workers);
    MacroTable first10;
    for (size_t i = 0; i < 10; ++i) first10.Read(texts[i]);
    EXPECT_EQ(stopped.size(), first10.size()) << workers;
    EXPECT_GT(expected.size(), 0u);
  }
}

TEST(SourceMacrosTest, AnswersAsAtThePlaceInTheSource) {
  MacroTable headers;
  headers.Read("#define F(x) from_header(x)\n#define H(x) header_only(x)\n");
  const std::string text =
      "int a;\n#define F(x) first(x)\nint b;\n#undef F\nint c;\n#define F(x) second(x)\nint d;\n";
  SourceMacros macros(text, &headers);
  const auto bodyAt = [&](std::string_view mark, std::string_view name) -> std::string {
    macros.At(text.find(mark));
    const MacroDefinition* m = macros.Find(name);
    return m == nullptr ? "(none)" : m->body;
  };
  EXPECT_EQ(bodyAt("int a", "F"), "from_header(x)");
  EXPECT_EQ(bodyAt("int b", "F"), "first(x)");
  EXPECT_EQ(bodyAt("int c", "F"), "(none)");
  EXPECT_EQ(bodyAt("int d", "F"), "second(x)");
  EXPECT_EQ(bodyAt("int a", "H"), "header_only(x)");
  // Among many names of the source's own, each is found, and every other name is the headers'.
  std::string many;
  for (int i = 0; i < 500; ++i) many += "#define m" + std::to_string(i) + " own" + std::to_string(i) + "\n";
  SourceMacros own(many, &headers);
  own.At(many.size());
  for (int i = 0; i < 500; ++i) {
    const std::string name = "m" + std::to_string(i);
    ASSERT_NE(own.Find(name), nullptr) << name;
    EXPECT_EQ(own.Find(name)->body, "own" + std::to_string(i));
    EXPECT_EQ(own.Find("x" + name), nullptr);
    EXPECT_EQ(own.Find("m" + name), nullptr);
  }
  EXPECT_EQ(own.Find(""), nullptr);
  ASSERT_NE(own.Find("H"), nullptr);
  EXPECT_EQ(own.Find("H")->body, "header_only(x)");
  // Another source sees the headers only.
  SourceMacros next("int e;\n", &headers);
  next.At(0);
  ASSERT_NE(next.Find("F"), nullptr);
  EXPECT_EQ(next.Find("F")->body, "from_header(x)");
}

}  // namespace
}  // namespace quillmap
