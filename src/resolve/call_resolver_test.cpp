#include "resolve/call_resolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "callgraph/call_graph_scanner.h"
#include "query/model_query.h"
#include "support/scan_fixture.h"

namespace quillmap {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;
using Edges = std::set<std::string>;

// The sources scanned as C and resolved: "caller -> callee" for direct calls, "caller => callee"
// for calls through pointers (callee: the node name).
struct Resolved {
  Edges edges;
  ResolveCounts counts;
  CallGraphModel model;
};

// `stopAt`: the stop callback says stop from its stopAt-th question on (-1: never).
// `defines`: the names the build defines (as -D gives them).
Resolved Resolve(const Files& files, const std::string& headers = "", int stopAt = -1,
                 const std::vector<std::string>& defines = {}) {
  testing::ScanFixture f;
  std::string list;
  for (size_t i = 0; i < files.size(); ++i) {
    f.dir.Write(files[i].first, files[i].second);
    list += "file" + std::to_string(i) + "=" + files[i].first + "\n";
  }
  f.Config("[files]\n" + list + "[calls]\n0=*\n");
  const std::string cfg = f.dir / "scan.cfg";
  f.ReadSettings();
  CallResolver resolver;
  for (const std::string& define : defines) resolver.headerMacros().Predefine(define);
  resolver.headerMacros().Read(headers);
  ScanCallGraph(f.context, cfg, {f.callsList, f.rejectList, f.fileList}, f.model, &f.counts,
                &f.scanMessage, CallGraphEngine::kFast, SourceSyntax::kC, &resolver);
  Resolved result;
  int asked = 0;
  result.counts = resolver.Resolve(f.model, [&] { return stopAt >= 0 && asked++ >= stopAt; });
  for (const FunctionRecord& function : f.model.functions) {
    for (const uint32_t c : f.model.CallsOf(function)) {
      const CallRecord& call = f.model.calls[c];
      const CallKind kind = f.model.DetailsOf(call).kind;
      result.edges.insert(std::string(f.model.NameOf(function.name)) +
                          (kind == CallKind::kPointer ? " => "
                           : kind == CallKind::kMacro ? " ~> "
                                                      : " -> ") +
                          std::string(f.model.NameOf(call.callee)));
    }
  }
  result.model = std::move(f.model);
  return result;
}

constexpr const char* kOps =
    "struct ops { int (*open)(int); void (*close)(void); };\n"
    "int a_open(int x) { return x; }\n"
    "int b_open(int x) { return x; }\n";

struct Case {
  const char* name;
  Files files;
  Edges present;
  Edges absent;
};

TEST(CallResolverTest, BindsEachRegistrationAndDispatchForm) {
  const std::string ops = kOps;
  const std::vector<Case> cases = {
      {"designated initialiser",
       {{"a.c", ops + "static const struct ops o = { .open = a_open };\n"
                      "int use(struct ops *p) { return p->open(1); }\n"}},
       {"use => a_open"},
       {"use -> open", "use => b_open"}},
      {"positional initialiser",
       {{"a.c", ops + "static const struct ops o = { b_open, 0 };\n"
                      "int use(struct ops *p) { return p->open(1); }\n"}},
       {"use => b_open"},
       {"use => a_open"}},
      {"array of structs, dispatch through an element",
       {{"a.c", ops + "static struct ops t[] = { { a_open }, { .open = b_open } };\n"
                      "int use(int i) { return t[i].open(i); }\n"}},
       {"use => a_open", "use => b_open"},
       {}},
      {"nested initialiser and member path",
       {{"a.c", ops + "struct outer { int n; struct ops inner; };\n"
                      "static struct outer o = { 1, { a_open } };\n"
                      "int use(struct outer *p) { return p->inner.open(1); }\n"}},
       {"use => a_open"},
       {}},
      {"assignments, with and without &",
       {{"a.c", ops + "void set(struct ops *p, struct ops x) { p->open = a_open; x.open = &b_open; }\n"
                      "int use(struct ops *p) { return (*p->open)(1); }\n"}},
       {"use => a_open", "use => b_open"},
       {}},
      {"array of function pointers",
       {{"a.c", ops + "static int (*tab[])(int) = { a_open, b_open };\n"
                      "int use(int i) { return tab[i](i); }\n"}},
       {"use => a_open", "use => b_open"},
       {}},
      {"function pointer variables",
       {{"a.c", ops + "typedef int (*handler_t)(int);\n"
                      "int use(void) { handler_t h = a_open; int (*fp)(int);\n"
                      "  fp = b_open; return h(1) + (*fp)(2); }\n"}},
       {"use => a_open", "use => b_open"},
       {}},
      {"functions passed as arguments bind to the parameter",
       {{"a.c", ops + "static int run(int (*cb)(int), int v) { return cb(v); }\n"
                      "int use(void) { return run(a_open, 1); }\n"}},
       {"run => a_open", "use -> run"},
       {"run => b_open"}},
      {"a struct value's member",
       {{"a.c", ops + "static struct ops g = { .open = a_open };\n"
                      "int use(void) { return g.open(1); }\n"}},
       {"use => a_open"},
       {}},
      {"the struct type narrows the member",
       {{"a.c", "struct xa { int (*open)(int); };\nstruct xb { int (*open)(int); };\n"
                "int a_open(int x) { return x; }\nint b_open(int x) { return x; }\n"
                "static struct xa a = { a_open };\nstatic struct xb b = { .open = b_open };\n"
                "int use(struct xa *p) { return p->open(1); }\n"}},
       {"use => a_open"},
       {"use => b_open"}},
      {"an unknown type falls back to the member name",
       {{"a.c", ops + "static struct ops o1 = { a_open };\nstatic struct ops o2 = { b_open };\n"
                      "struct ops *get(void);\nint use(void) { return get()->open(1); }\n"}},
       {"use => a_open", "use => b_open"},
       {}},
      {"a dispatch through a cast names its type",
       {{"a.c", ops + "struct other { int (*open)(int); };\n"
                      "static struct ops o = { a_open };\n"
                      "static struct other x = { b_open };\n"
                      "int use(void *p) { return ((struct ops *)p)->open(1); }\n"}},
       {"use => a_open"},
       {"use => b_open"}},
      {"a dispatch is never a call of a function of the member's name",
       {{"a.c", ops + "int open(int f) { return f; }\n"
                      "int use(struct ops *ops) { return ops->open(1); }\n"}},
       {},
       {"use -> open", "use => open"}},
      {"a function passed to a dispatch reaches its targets' parameter",
       {{"a.c", ops + "struct tk { int (*run)(int (*cb)(int), int); };\n"
                      "static int run_a(int (*cb)(int), int v) { return cb(v); }\n"
                      "static struct tk k = { run_a };\n"
                      "int use(struct tk *p) { return p->run(a_open, 1); }\n"}},
       {"run_a => a_open", "use => run_a"},
       {"run_a => b_open"}},
      {"a struct defined in a body, and an untagged struct table",
       {{"a.c", ops + "static struct { const char *n; int (*open)(int); } tab[] = {{\"b\", b_open}};\n"
                      "int use(struct ops *p) { struct local { int n; struct ops o; } t[] = {\n"
                      "  { 1, { a_open } } }; return p->open(t[0].n) + tab[0].open(1); }\n"}},
       {"use => a_open", "use => b_open"},
       {}},
      {"both branches of a conditional",
       {{"a.c", ops + "int use(int c) { int (*fp)(int); fp = c ? a_open : (c > 1 ? b_open : 0);\n"
                      "  return fp(c); }\n"}},
       {"use => a_open", "use => b_open"},
       {}},
      {"a statement macro before case is no declaration",
       {{"a.c", ops + "static int run(int (*cb)(int), int v) { return cb(v); }\n"
                      "int use(int c) { switch (c) { case 1: c++;\n"
                      "  FALLTHROUGH case 2: { run(a_open, c); break; } } return 0; }\n"}},
       {"run => a_open"},
       {}},
      {"registrations in other files",
       {{"a.c", ops + "int use(struct ops *p) { return p->open(1); }\n"},
        {"b.c", "struct ops { int (*open)(int); void (*close)(void); };\n"
                "static int c_open(int x) { return x; }\n"
                "const struct ops c_ops = { c_open, 0 };\n"}},
       {"use => c_open"},
       {}},
  };
  for (const Case& c : cases) {
    const Resolved r = Resolve(c.files);
    for (const std::string& edge : c.present) {
      EXPECT_TRUE(r.edges.contains(edge)) << c.name << ": missing " << edge;
    }
    for (const std::string& edge : c.absent) {
      EXPECT_FALSE(r.edges.contains(edge)) << c.name << ": unexpected " << edge;
    }
  }
}

TEST(CallResolverTest, BindsDirectCallsByScopeAndNamesStaticNamesakesByFile) {
  const Resolved r = Resolve({
      {"a.c", "static int helper(int x) { return x; }\nint fa(void) { return helper(1) + only(); }\n"
              "int main(void) { return 0; }\n"},
      {"b.c", "static int helper(int x) { return x; }\nint fb(void) { return helper(2) + fa(); }\n"
              "int only(void) { return 0; }\nint main(void) { return 1; }\n"},
      {"c.c", "int fc(void) { return helper(3) + main() + printf(\"\"); }\n"},
  });
  EXPECT_EQ(r.edges, (Edges{"fa -> helper@a.c", "fa -> only", "fb -> helper@b.c", "fb -> fa",
                            "fc -> helper", "fc -> main", "fc -> printf"}));
  EXPECT_EQ(r.counts.direct, 4u);
  EXPECT_EQ(r.counts.ambiguous, 1u);   // main, defined by two files
  EXPECT_EQ(r.counts.unresolved, 2u);  // another file's static helper, printf

  // The plain name finds every namesake, the file-qualified one finds one.
  GraphQuery query;
  query.focus = {"helper"};
  query.direction = QueryDirection::kCallers;
  const GraphSelection all = SelectCallGraph(r.model, query);
  ASSERT_EQ(all.error, "");
  // Of the function records: both helpers, fa, fb and fc (which calls the unbound "helper").
  EXPECT_EQ(std::count(all.keepNode.begin(), all.keepNode.end(), char{1}), 5);
  query.focus = {"helper@b.c"};
  const GraphSelection one = SelectCallGraph(r.model, query);
  ASSERT_EQ(one.error, "");
  EXPECT_EQ(std::count(one.keepNode.begin(), one.keepNode.end(), char{1}), 2);  // it and fb
}

// Twins: the branches of one conditional define a name twice in a file. Each is a node, the
// later one named with its line, each with the linkage its own header gives; calls bind to the
// first, the branch read as compiled.
TEST(CallResolverTest, TellsConditionalTwinsApart) {
  const Resolved r = Resolve({
      {"t.c",
       "#ifdef FAST\nstatic int pick(int x) { return fast(x); }\n#else\n"
       "static int pick(int x) { return slow(x); }\n#endif\n"
       "int fast(int x) { return x; }\nint slow(int x) { return x; }\n"
       "int api(int x) { return pick(x); }\n"},
      {"u.c", "int other(int x) { return pick(x); }\n"},
  });
  EXPECT_EQ(r.edges, (Edges{"pick -> fast", "pick@t.c:4 -> slow", "api -> pick", "other -> pick"}));
  ASSERT_EQ(r.model.functions.size(), 6u);
  EXPECT_TRUE(r.model.functions[0].isStatic);
  EXPECT_TRUE(r.model.functions[1].isStatic);
  EXPECT_EQ(r.counts.unresolved, 1u);  // u.c cannot call t.c's static pick
}

// What the build's names decide is not compiled is no part of the graph; what the text alone
// decides is read as before.
TEST(CallResolverTest, LeavesOutWhatTheBuildRulesOut) {
  const std::string twins =
      "#ifdef FAST\nstatic int pick(int x) { return fast(x); }\n#elif defined(MID)\n"
      "static int pick(int x) { return mid(x); }\n#else\nstatic int pick(int x) { return slow(x); "
      "}\n"
      "#endif\nint api(int x) {\n#if LEVEL\n  trace(x);\n#endif\n#ifndef QUIET\n  log_it(x);\n"
      "#endif\n  return pick(x);\n}\n";
  struct BuildCase {
    std::vector<std::string> defines;
    Edges edges;
  };
  const std::vector<BuildCase> cases = {
      {{},
       {"pick -> fast", "pick@t.c:4 -> mid", "pick@t.c:6 -> slow", "api -> trace", "api -> log_it",
        "api -> pick"}},
      {{"FAST"}, {"pick -> fast", "api -> trace", "api -> log_it", "api -> pick"}},
      // FAST is no name of the build: its branch may be compiled all the same.
      {{"MID", "QUIET"}, {"pick -> fast", "pick@t.c:4 -> mid", "api -> trace", "api -> pick"}},
      {{"FAST=0", "MID"},
       {"pick -> fast", "api -> trace", "api -> log_it", "api -> pick"}},  // defined
      {{"LEVEL=0"},
       {"pick -> fast", "pick@t.c:4 -> mid", "pick@t.c:6 -> slow", "api -> log_it", "api -> pick"}},
  };
  for (const BuildCase& c : cases) {
    const Resolved r = Resolve({{"t.c", twins}}, "", -1, c.defines);
    std::string name;
    for (const std::string& d : c.defines) name += d + " ";
    EXPECT_EQ(r.edges, c.edges) << name;
  }
  // A name the text defines is no build's: its branches are read as before.
  const Resolved text = Resolve({{"t.c", "#define FAST 1\n" + twins}});
  EXPECT_TRUE(text.edges.contains("pick@t.c:7 -> slow"));
}

TEST(CallResolverTest, BadInputNeitherFailsNorRunsAway) {
  const std::string ops = kOps;
  std::string deep = ops + "static struct ops o = ";
  for (int i = 0; i < 5000; ++i) deep += "{";
  deep += "a_open";
  for (int i = 0; i < 5000; ++i) deep += "}";
  deep += ";\nint use(struct ops *p) { return p->open(1); }\n";
  std::string many = ops + "static struct ops t[] = {\n";
  for (int i = 0; i < 1000000; ++i) many += "  { .open = a_open },\n";
  many += "};\nint use(struct ops *p) { return p->open(1); }\n";
  const std::vector<Case> cases = {
      {"a struct defined twice with other members: a position binds by the file's own one",
       {{"a.c", "struct s { int (*f)(int); int (*g)(int); };\nint fa(int x) { return x; }\n"
                "static struct s x = { fa, 0 };\nint ua(struct s *p) { return p->f(1); }\n"},
        {"b.c", "struct s { int (*g)(int); int (*f)(int); };\nint fb(int x) { return x; }\n"
                "static struct s y = { fb, 0 };\nint ub(struct s *p) { return p->g(1); }\n"},
        {"c.c", "int fc(int x) { return x; }\nstatic struct s z = { fc, 0 };\n"
                "int uc(struct s *p) { return p->f(1) + p->g(2); }\n"}},
       {"ua => fa", "ub => fb"},
       {"ua => fb", "ub => fa", "uc => fc"}},
      {"recursive initialisers", {{"a.c", deep}}, {}, {}},
      {"an unterminated initialiser",
       {{"a.c", ops + "int use(struct ops *p) { return p->open(1); }\n"
                      "static struct ops o = { .open = a_open, "}},
       {"use => a_open"},
       {}},
      {"a million registrations of one member", {{"a.c", many}}, {"use => a_open"}, {}},
      // Read after a longer source, whose tokens the reader's buffer still holds past the end.
      {"a declaration that the text ends at its '='",
       {{"a.c", ops + "int use(struct ops *p) { return p->open(1); }\nstatic struct ops o ="}},
       {},
       {"use => a_open"}},
  };
  for (const Case& c : cases) {
    const Resolved r = Resolve(c.files);
    for (const std::string& edge : c.present) {
      EXPECT_TRUE(r.edges.contains(edge)) << c.name << ": missing " << edge;
    }
    for (const std::string& edge : c.absent) {
      EXPECT_FALSE(r.edges.contains(edge)) << c.name << ": unexpected " << edge;
    }
  }
}

// "caller ~> callee": a call made by a macro's expansion.
TEST(CallResolverTest, BindsTheCallsThatMacrosMake) {
  const std::string helper = "int helper(int x) { return x; }\n";
  const std::vector<Case> cases = {
      {"function-like macro",
       {{"a.c", "#define CALL_HELPER(x) helper(x)\n" + helper +
                    "int use(int x) { return CALL_HELPER(x); }\n"}},
       {"use ~> helper"},
       {"use -> CALL_HELPER", "use -> helper"}},
      {"alias of a function",
       {{"a.c", "#define get4byte helper\n" + helper + "int use(int p) { return get4byte(p); }\n"}},
       {"use ~> helper"},
       {"use -> get4byte"}},
      {"statement macro without parentheses",
       {{"a.c", "#define REFILL do { helper(0); } while (0)\n" + helper +
                    "void use(void) { REFILL; }\n"}},
       {"use ~> helper"},
       {}},
      {"calls in the arguments stay calls",
       {{"a.c", "#define WRAP(e) guard(e)\nint guard(int e) { return e; }\n" + helper +
                    "int use(int x) { return WRAP(helper(x)); }\n"}},
       {"use ~> guard", "use -> helper"},
       {"use ~> helper"}},
      {"a macro that calls nothing is no call",
       {{"a.c", "#define MAX(a, b) ((a) > (b) ? (a) : (b))\nint use(int x) { return MAX(x, 1); }\n"}},
       {},
       {"use -> MAX"}},
      {"the next file starts clean",
       {{"a.c", "#define F(x) helper(x)\n" + helper + "int one(int x) { return F(x); }\n"},
        {"b.c", "int two(int x) { return F(x); }\n"}},
       {"one ~> helper", "two -> F"},
       {"two ~> helper"}},
      {"static helper of the file that uses the macro",
       {{"a.c", "#define F(x) helper(x)\nstatic int helper(int x) { return x; }\n"
                "int one(int x) { return F(x); }\n"},
        {"b.c", "static int helper(int x) { return x; }\n"}},
       {"one ~> helper@a.c"},
       {"one ~> helper@b.c"}},
  };
  for (const Case& c : cases) {
    const Resolved r = Resolve(c.files);
    for (const std::string& e : c.present) EXPECT_TRUE(r.edges.contains(e)) << c.name << ": " << e;
    for (const std::string& e : c.absent) EXPECT_FALSE(r.edges.contains(e)) << c.name << ": " << e;
  }
}

// A branch whose condition rests on a name that no text defines ("#ifdef SQLITE_ENABLE_FTS5":
// the command line may) is presumed compiled: its macros that call something count where no
// other definition stands.
TEST(CallResolverTest, BindsTheMacrosOfBranchesPresumedCompiled) {
  const std::string functions =
      "int helper(int x) { return x; }\nint live(int x) { return x; }\n"
      "int other(int x) { return x; }\n";
  const std::string use = "int use(int x) { return F(x); }\n";
  const std::vector<Case> cases = {
      {"a condition false only by an unseen name",
       {{"a.c",
         "#define CORE 1\n#if !defined(CORE) || defined(ENABLE_X)\n"
         "#define F(x) helper(x)\n#endif\n" +
             functions + use}},
       {"use ~> helper"},
       {"use -> F"}},
      {"the #else of a branch taken by an assumption",
       {{"a.c", "#ifndef OMIT_X\n#else\n#define F(x) helper(x)\n#endif\n" + functions + use}},
       {"use ~> helper"},
       {}},
      {"a definition in force is not replaced",
       {{"a.c",
         "#define F(x) live(x)\n#ifdef X\n#define F(x) other(x)\n#endif\n" + functions + use}},
       {"use ~> live"},
       {"use ~> other"}},
      {"nor is the one read after it",
       {{"a.c", "#ifdef X\n#define F(x) other(x)\n#else\n#define F(x) live(x)\n#endif\n" +
                    functions + use}},
       {"use ~> live"},
       {"use ~> other"}},
      {"a stub that calls nothing keeps the function",
       {{"a.c",
         "#ifdef OMIT_X\n#define F(x) SQLITE_OK\n#endif\nint F(int x) { return x; }\n" + use}},
       {"use -> F"},
       {}},
      {"an alias keeps the function that the text defines",
       {{"a.c", "#ifdef OMIT_FLOAT\n#define F helper\n#endif\nint F(int x) { return x; }\n" +
                    functions + use}},
       {"use -> F"},
       {"use ~> helper"}},
      {"a name undefined is no assumption",
       {{"a.c",
         "#define X 1\n#undef X\n#ifdef X\n#define F(x) helper(x)\n#endif\n" + functions + use}},
       {},
       {"use ~> helper"}},
      {"nor is a known value",
       {{"a.c", "#define SAFE 0\n#if SAFE\n#define F(x) helper(x)\n#endif\n" + functions + use}},
       {},
       {"use ~> helper"}},
  };
  for (const Case& c : cases) {
    const Resolved r = Resolve(c.files);
    for (const std::string& e : c.present) EXPECT_TRUE(r.edges.contains(e)) << c.name << ": " << e;
    for (const std::string& e : c.absent) EXPECT_FALSE(r.edges.contains(e)) << c.name << ": " << e;
  }
  // The headers' definition stands before a source's presumed one; the headers' own presumed
  // ones are not kept, as the functions they might hide stand in other texts.
  const Resolved r =
      Resolve({{"a.c", "#ifdef X\n#define F(x) other(x)\n#endif\n" + functions + use}},
              "#define F(x) live(x)\n");
  EXPECT_TRUE(r.edges.contains("use ~> live"));
  EXPECT_FALSE(r.edges.contains("use ~> other"));
  const Resolved header =
      Resolve({{"a.c", functions + use}}, "#ifdef CONFIG_DEBUG\n#define F(x) helper(x)\n#endif\n");
  EXPECT_TRUE(header.edges.contains("use -> F"));
  EXPECT_FALSE(header.edges.contains("use ~> helper"));
}

TEST(CallResolverTest, ExpandsTheMacrosOfTheHeaders) {
  const Resolved r = Resolve({{"a.c", "int helper(int x) { return x; }\n"
                                      "int use(int x) { return CALL(x); }\n"},
                              {"b.c", "#undef CALL\nint other(int x) { return CALL(x); }\n"}},
                             "#define CALL(x) helper(x)\n");
  EXPECT_TRUE(r.edges.contains("use ~> helper"));
  EXPECT_TRUE(r.edges.contains("other -> CALL"));
  EXPECT_EQ(r.counts.macroCalls, 1u);
}

// The same use written again expands as it does at its own place: a source's own definitions
// shadow the headers' from where they stand, and another table is another table.
TEST(CallResolverTest, RepeatedUsesSeeTheMacrosOfTheirPlace) {
  const std::string callees = "int head(int x) { return x; }\nint mine(int x) { return x; }\n";
  const Files files = {
      {"a.c", callees + "int a1(int x) { return CALL(x); }\n"
                        "#define CALL(x) mine(x)\n"
                        "int a2(int x) { return CALL(x); }\n"
                        "#undef CALL\n"
                        "int a3(int x) { return CALL(x); }\n"},
      {"b.c", "int b1(int x) { return CALL(x); }\n"},
      {"c.c", "#define CALL(x) mine(x)\nint c1(int x) { return CALL(x); }\n"},
  };
  const Resolved r = Resolve(files, "#define CALL(x) head(x)\n");
  for (const char* e : {"a1 ~> head", "a2 ~> mine", "a3 -> CALL", "b1 ~> head", "c1 ~> mine"}) {
    EXPECT_TRUE(r.edges.contains(e)) << e;
  }
  for (const char* e : {"a2 ~> head", "a3 ~> head", "a3 ~> mine", "b1 ~> mine", "c1 ~> head"}) {
    EXPECT_FALSE(r.edges.contains(e)) << e;
  }
  const Resolved other = Resolve(files, "#define CALL(x) mine(x)\n");
  EXPECT_TRUE(other.edges.contains("b1 ~> mine"));
  EXPECT_FALSE(other.edges.contains("b1 ~> head"));
}

TEST(CallResolverTest, NamesDefinitionsThatMacrosMakeAndReadsGnuStyle) {
  const Resolved r = Resolve(
      {{"g.c",
        "#define IMPL(name) fast_ ## name\n"
        "#define AS_TEXT (char *)\n"
        "#define CHECK_FAIL if (0)\n"
        "int helper(int x) { return x; }\n"
        "char *text_dup(char *v) { return v; }\n"
        "static void __attribute__ ((noinline)) call_free (void *p) { helper(1); }\n"
        "__attribute__ ((destructor)) static void fini (void) { helper(2); }\n"
        "weak_alias (a, b)\n"
        "int after_alias (int x) { return helper(x); }\n"
        "int IMPL(copy)(char *d, const char *s) { return helper(3); }\n"
        "SYSCALL_DEFINE3(open, const char *, filename, int, flags, int, mode) { return 0; }\n"
        "COMPAT_SYSCALL_DEFINE1(close, int, fd) { return 0; }\n"
        "void casts(char *v) { v = AS_TEXT text_dup(v); CHECK_FAIL  helper(4);\n"
        "  UNKNOWN_CAST text_dup(v); }\n"}});
  std::set<std::string> names;
  for (const FunctionRecord& function : r.model.functions) {
    names.insert(std::string(r.model.NameOf(function.name)));
  }
  EXPECT_EQ(names, (std::set<std::string>{"helper", "text_dup", "call_free", "fini", "after_alias",
                                          "fast_copy", "sys_open", "compat_sys_close", "casts"}));
  for (const char* e : {"call_free -> helper", "fini -> helper", "after_alias -> helper",
                        "fast_copy -> helper", "casts -> text_dup", "casts -> helper"}) {
    EXPECT_TRUE(r.edges.contains(e)) << e;
  }
}

// A stop asked for before the calls are written again leaves the model's calls as scanned; one
// asked for later is not heard, and the model is resolved whole.
TEST(CallResolverTest, AStopLeavesTheModelAsScannedOrResolvedWhole) {
  const Files files = {{"a.c", std::string(kOps) +
                                   "static struct ops o = { .open = a_open };\n"
                                   "int run(struct ops *p, int (*cb)(int)) { return p->open(1) + cb(2); }\n"
                                   "int go(void) { return run(&o, b_open); }\n"}};
  const Resolved whole = Resolve(files);
  ASSERT_TRUE(whole.model.resolved);
  const Resolved never = Resolve(files, "", 0);
  EXPECT_FALSE(never.model.resolved);
  EXPECT_TRUE(never.edges.contains("run -> open")) << "the call as scanned";
  for (int stopAt = 1; stopAt < 8; ++stopAt) {
    const Resolved r = Resolve(files, "", stopAt);
    EXPECT_EQ(r.edges, r.model.resolved ? whole.edges : never.edges) << stopAt;
  }
}

}  // namespace
}  // namespace quillmap
