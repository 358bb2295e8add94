#include "resolve/c_facts.h"

#include "resolve/byte_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmap {
namespace {

// The facts of a source whose only definition is the function "f" (its body the first "{ ... }"
// after "f(").
CFileFacts FactsOf(const std::string& text, const MacroTable* headers = nullptr) {
  std::vector<CDefinitionRange> ranges;
  const size_t name = text.find("f(");
  if (name != std::string::npos) {
    const size_t open = text.find('{', name);
    size_t close = open;
    for (int depth = 0; close < text.size(); ++close) {
      if (text[close] == '{') ++depth;
      if (text[close] == '}' && --depth == 0) break;
    }
    size_t header = text.rfind('\n', name);
    header = header == std::string::npos ? 0 : header + 1;
    ranges.push_back({name, header, open, close + 1});
  }
  CFileFacts facts;
  ReadCFileFacts(text, ranges, facts, headers);
  return facts;
}

std::string Vias(const CFileFacts& facts) {
  std::string s;
  for (const CDispatch& d : facts.dispatches) (s += s.empty() ? "" : " ") += d.via;
  return s;
}

// Each operator is read whole, and what the reader leaves out (comments, dead branches,
// literals) hides nothing and invents nothing.
TEST(CFactsTest, ReadsOperatorsAndSkipsWhatIsNoCode) {
  struct Case {
    const char* name;
    const char* text;
    const char* vias;
    int parameters;
  };
  const std::vector<Case> cases = {
      {"member and pointer dispatch", "void f(struct s *p) { p->a.op(1); (*p->cb)(2); }",
       "p->a.op (*p->cb)", 1},
      {"variadic list", "void f(struct s *p, ...) { p->run(); }", "p->run", -1},
      {"shift-assign and ellipsis do not break the walk",
       "void f(struct s *p, int n) { n <<= 2; n >>= 1; p->x->go(n >= 1 && n <= 9); }",
       "p->x->go", 2},
      {"decrement before an arrow", "void f(struct s *p, int n) { n--; --n; p->z(n); }", "p->z",
       2},
      {"dead branch with quotes",
       "void f(struct s *p) {\n#if 0\n char *q = \"it's\"; p->dead('\"');\n#else\n p->live();\n"
       "#endif\n}",
       "p->live", 1},
      {"the first branch is read", "void f(struct s *p) {\n#ifdef X\n p->one();\n#else\n p->two();\n#endif\n}",
       "p->one", 1},
      {"comments and literals", "void f(struct s *p) { /* p->c(); */ // p->d();\n p->e(\"->x(\"); }",
       "p->e", 1},
      {"pasted names in a dispatching macro",
       "#define CALL(p, n) (p)->op_ ## n(p)\nvoid f(struct s *p) { CALL(p, open); }", "(p)->op_open",
       1},
  };
  for (const Case& c : cases) {
    const CFileFacts facts = FactsOf(c.text);
    EXPECT_EQ(Vias(facts), c.vias) << c.name;
    ASSERT_EQ(facts.functions.size(), 1u) << c.name;
    EXPECT_EQ(facts.functions[0].parameters, c.parameters) << c.name;
  }
}

// The slots of arguments: a member passed to a plain call flows nowhere, one passed to a
// function-pointer parameter of a function of the file flows into it.
TEST(CFactsTest, MembersFlowOnlyIntoFunctionPointerParameters) {
  const std::string text =
      "void take(void (*cb)(void), int n);\n"
      "void take(void (*cb)(void), int n) { cb(); }\n"
      "void f(struct s *p) { take(p->handler, p->count); other(p->handler); }\n";
  std::vector<CDefinitionRange> ranges;
  for (const char* name : {"take(void (*cb)(void), int n) {", "f(struct s *p) {"}) {
    const size_t at = text.find(name);
    const size_t open = text.find('{', at);
    ranges.push_back({at, text.rfind('\n', at) + 1, open, text.find('}', open) + 1});
  }
  CFileFacts facts;
  MacroTable none;
  ReadCFileFacts(text, ranges, facts, &none);
  std::vector<std::string> flows;
  for (const CFlow& flow : facts.flows) {
    std::string from = flow.from.type;
    for (const std::string& m : flow.from.members) from += "." + m;
    flows.push_back(flow.to.name + "#" + std::to_string(flow.to.index) + "<-" + from);
  }
  EXPECT_EQ(flows, std::vector<std::string>{"take#0<-s.handler"});
}

// A block of bytes at a time finds what one at a time finds, wherever the stop stands in it, with
// bytes above 0x7f and near misses (stop + 1, stop - 1) around it.
TEST(ByteScanTest, FindsTheFirstStopFromEveryPlace) {
  std::string text;
  for (int i = 0; i < 300; ++i) {
    const char pick[] = {'a', '\xff', '\x80', '.', '0', '/', '\n', '"', ' ', '\x0b', '\x2e', '\x30'};
    text += pick[(i * 7 + i / 13) % 12];
    if (i % 37 == 0) text += std::string(20, 'x');
  }
  const auto naive = [&](size_t i) {
    while (i < text.size() && text[i] != '\n' && text[i] != '/' && text[i] != '"') ++i;
    return i;
  };
  for (size_t i = 0; i <= text.size() + 1; ++i) {
    ASSERT_EQ((FindAnyOf<'\n', '/', '"'>(text, i)), std::max(i, naive(i))) << i;
  }
  EXPECT_EQ((FindAnyOf<'#'>(std::string_view("0123456789abcdef#"), 0)), 16u);
  EXPECT_EQ((FindAnyOf<'#'>(std::string_view("0123456789abcdef"), 3)), 16u);
  EXPECT_EQ((FindAnyOf<'#', '/'>(std::string(33, 'x') + "/#" + std::string(20, 'x'), 1)), 33u);
}

}  // namespace
}  // namespace quillmap
