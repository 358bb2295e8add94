// The fast engine of the inter-module call scan against the pair-by-pair reference: the same
// module log, activity log, table lists and errors, on module trees made of the cases where
// the two engines work differently (files shared by modules, names inside other names and
// repeated, callers that pass 1 does not see, lines cut at NUL bytes or into pieces, sources
// that cannot be opened), and on random trees.
#include "modgraph/fast_module_scan.h"

#include <random>

#include "modgraph/modgraph_test_fixture.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;

// Everything that a run of both passes leaves behind.
struct PassesResult {
  int count = 0;
  std::string moduleLog;
  std::vector<std::string> activity;
  bool errorReported = false;
  std::vector<PackedStrings> defined;
  std::vector<StringList> linked;
  StringList edges;
  StringList calls;  // "from:caller -> into:callee @file:line", one per edge
  bool operator==(const PassesResult&) const = default;
};

void PrintTo(const PassesResult& r, std::ostream* os) {
  *os << "count " << r.count << ", error " << r.errorReported << "\n";
  for (const std::string& edge : r.edges) *os << "  edge: " << edge << "\n";
  for (const std::string& call : r.calls) *os << "  call: " << call << "\n";
  for (const std::string& entry : r.activity) *os << "  activity: " << entry << "\n";
  *os << r.moduleLog;
}

// The sources of a module tree, written once; its table built anew for every run.
class ModuleTree {
 public:
  struct Module {
    std::string name;
    StringList files;  // names inside the folder
    std::string callAttributes;
    bool valid = true;
  };

  void Source(const std::string& name, const std::string& contents) { dir_.Write(name, contents); }
  void Add(std::string name, StringList files, std::string callAttributes = "", bool valid = true) {
    modules_.push_back({std::move(name), std::move(files), std::move(callAttributes), valid});
  }
  const TempDir& dir() const { return dir_; }

  PassesResult Run(ModuleScanEngine& engine) const {
    auto table = std::make_unique<ModuleTable>();
    table->moduleLogPath = dir_ / "mod.log";
    for (const Module& module : modules_) {
      ModuleRecord& record = table->modules[table->moduleCount++];
      record.valid = module.valid ? 1 : 0;
      record.moduleName = module.name;
      record.callAttributes = module.callAttributes;
      for (const std::string& file : module.files) record.files.push_back(dir_ / file);
      record.definedFunctions = {"left over"};  // from an earlier run
    }
    const ScanSettings settings;  // the passes take nothing from the configuration
    MemoryLineWriter writer;
    RecordingLog log;
    ScanContext context(settings, writer, log);
    PassesResult r;
    r.count = engine.CollectAllModuleFunctions(context, *table);
    if (r.count > 0) engine.ScanAllModuleCalls(context, *table);
    r.moduleLog = writer.files[table->moduleLogPath];
    r.activity = log.entries;
    r.errorReported = context.errorReported();
    for (int k = 0; k < table->moduleCount; ++k) {
      r.defined.push_back(table->modules[k].definedFunctions);
      r.linked.push_back(table->modules[k].linkedFunctions);
    }
    r.edges = EdgeLines(*table);
    for (const ModuleCallRecord& call : table->calls) {
      const std::string_view file = table->calls.FileOf(call);
      r.calls.push_back(table->modules[call.fromModule].moduleName + ":" +
                        std::string(table->calls.CallerOf(call)) + " -> " +
                        table->modules[call.toModule].moduleName + ":" +
                        std::string(table->calls.CalleeOf(call)) + " @" +
                        std::string(file.substr(file.rfind('/') + 1)) + ":" +
                        std::to_string(call.line));
    }
    return r;
  }

  // Both engines, compared; returns the fast engine's result.
  PassesResult RunBoth() const {
    RereadingModuleScan reference;
    FastModuleScan fast;
    const PassesResult expected = Run(reference);
    const PassesResult got = Run(fast);
    EXPECT_EQ(got, expected);
    return got;
  }

 private:
  TempDir dir_;
  std::vector<Module> modules_;
};

TEST(FastModuleScan, TheDocumentedTwoModuleExample) {
  ModuleTree tree;
  tree.Source("app.c", "int main(void)\n{\n    init();\n}\n");
  tree.Source("lib.c", "int init(void)\n{\n    return 0;\n}\n");
  tree.Add("app", {"app.c"}, "[color=red]");
  tree.Add("lib", {"lib.c"});
  const PassesResult r = tree.RunBoth();
  EXPECT_THAT(r.edges, ElementsAre("app_main -> lib_init [color=red];"));
  EXPECT_THAT(r.activity,
              ElementsAre("scanning calls from app to: lib", "scanning calls from lib to: app"));
}

TEST(FastModuleScan, NamesInsideNamesRepeatedNamesAndSharedFiles) {
  ModuleTree tree;
  tree.Source("app.c",
              "int main(void)\n{\n  reinit(); init();\n  twice(); log_it(1);\n}\n"
              "static int helper(int x)\n{\n  reinit_all();\n}\n");
  tree.Source("lib.c",
              "int init(void)\n{\n  main();\n}\nint reinit(void)\n{\n}\n"
              "int twice(void)\n{\n}\nint twice(void)\n{\n  helper(1);\n}\n");
  tree.Source("shared.c", "void log_it(int x)\n{\n  init();\n}\n");
  tree.Add("app", {"app.c", "shared.c"}, "[color=red]");
  tree.Add("lib", {"lib.c", "shared.c"});
  tree.Add("odd name", {"shared.c"}, "[style=dashed]");
  const PassesResult r = tree.RunBoth();
  EXPECT_EQ(r.count, 3);
}

TEST(FastModuleScan, PassTwoCallersPiecesNulBytesAndLineEnds) {
  ModuleTree tree;
  // A blank line between header and "{" hides the function from pass 1 only; a "{" in a body
  // after a header line starts a new caller; "}" outside bodies; a header on the last line of
  // one file and its "{" in the next; a "{" and "}" at the start of pieces of long lines.
  tree.Source("a.c",
              "int blank(void)\n\n{\n  init();\n}\n}\n"
              "int outer(void)\n{\n  init();\nint inner(void)\n{\n  init();\n}\n"
              "#define X init()\n/* init() */\n\r\n"
              "int crlf(void)\r\n{\r\n  init();\r\n\rinit();\n}\r\n"
              "int last(void)");
  tree.Source("b.c",
              "{\n  init();\n" + std::string(2047, ' ') + "}\n" + std::string(2047, 'x') +
                  "{\n  init();\n}\n" +
                  std::string("int nul(void)\n{\n\0init();\n  in\0it();\n  init(\0);\n}\n", 48));
  tree.Source("lib.c", "int init(void)\n{\n  return 0;\n}\n");
  tree.Add("app", {"a.c", "b.c"});
  tree.Add("lib", {"lib.c"});
  tree.RunBoth();
}

TEST(FastModuleScan, EachEdgeKeepsTheFileAndLineOfItsFirstCall) {
  ModuleTree tree;
  // Lines are counted across CR LF ends, pieces of a long line and lines cut at a NUL byte; a
  // call found again (and a name listed twice) keeps the first place; a shared file counts for
  // each module that lists it.
  tree.Source("a.c", "int main(void)\r\n{\r\n  init();\r\n" + std::string(3000, ' ') +
                         "twice();\n" + std::string("  x\0init();\n  init(); twice();\n}\n", 31));
  tree.Source("lib.c",
              "int init(void)\n{\n}\nint twice(void)\n{\n}\nint twice(void)\n{\n  main();\n}\n");
  tree.Add("app", {"lib.c", "a.c"});
  tree.Add("lib", {"lib.c"});
  const PassesResult r = tree.RunBoth();
  EXPECT_THAT(r.calls, ElementsAre("app:main -> lib:init @a.c:3", "app:main -> lib:twice @a.c:4",
                                   "lib:twice -> app:main @lib.c:9"));
}

TEST(FastModuleScan, UnopenableSourcesInvalidRecordsAndASingleModule) {
  ModuleTree tree;
  tree.Source("a.c", "int main(void)\n{\n  init();\n}\n");
  tree.Source("lib.c", "int init(void)\n{\n  main();\n}\n");
  tree.Add("app", {"missing.c", "a.c", "missing.c"});
  tree.Add("gone", {"lib.c"}, "", false);
  tree.Add("lib", {"missing.c", "lib.c"});
  const PassesResult r = tree.RunBoth();
  EXPECT_THAT(r.activity,
              ElementsAre("error opening: " + tree.dir() / "missing.c",
                          "scanning calls from app to: lib", "scanning calls from lib to: app"));
  ModuleTree single;
  single.Source("a.c", "int main(void)\n{\n  main();\n}\n");
  single.Add("app", {"a.c"});
  single.RunBoth();
}

TEST(FastModuleScan, ReadsEachSourceOncePerRun) {
  ModuleTree tree;
  tree.Source("a.c", "int main(void)\n{\n  init();\n}\n");
  tree.Source("lib.c", "int init(void)\n{\n  main();\n}\n");
  tree.Add("app", {"a.c", "lib.c"});
  tree.Add("lib", {"lib.c"});
  tree.Add("more", {"a.c"});
  FastModuleScan fast;
  tree.Run(fast);
  EXPECT_EQ(fast.filesRead(), 2);
}

// Random trees: short names that occur inside each other and inside ordinary words, calls
// between and within modules, files shared by modules, and the line forms that decide bodies.
std::string RandomSource(std::mt19937& random, const StringList& names) {
  const auto pick = [&](const StringList& items) { return items[random() % items.size()]; };
  std::string text;
  const int functions = 1 + static_cast<int>(random() % 6);
  for (int f = 0; f < functions; ++f) {
    text += pick({"int ", "static int ", "void ", "char *"}) + pick(names) + "(void)" +
            pick({"\n", "\n", "\n\n", "\r\n", " {\n", "\n// note\n"});
    text += pick({"{\n", "{\n", " {\n", "{ x;\n"});
    const int lines = static_cast<int>(random() % 6);
    for (int l = 0; l < lines; ++l) {
      text += pick({"  ", "\t", "", "#", "/"}) + pick(names) + "(" + pick(names) + ");" +
              pick({"\n", "\n", "\r\n", std::string("\0x\n", 3), "\r"});
    }
    text += pick({"}\n", "}\n", " }\n", "};\n"});
  }
  return text;
}

std::string Numbered(const char* prefix, int n, const char* suffix) {
  std::string text = prefix;
  text += std::to_string(n);
  text += suffix;
  return text;
}

TEST(FastModuleScan, RandomTreesGiveTheReferenceResults) {
  std::mt19937 random(31337);
  const StringList names{"init", "reinit", "it", "a", "get", "get_all", "int", "x", "main", "set"};
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ModuleTree tree;
    const int files = 1 + static_cast<int>(random() % 6);
    for (int f = 0; f < files; ++f) {
      tree.Source(Numbered("f", f, ".c"), RandomSource(random, names));
    }
    const int modules = 1 + static_cast<int>(random() % 5);
    for (int m = 0; m < modules; ++m) {
      StringList moduleFiles;
      const int count = 1 + static_cast<int>(random() % 3);
      for (int i = 0; i < count; ++i) {
        moduleFiles.push_back(Numbered("f", static_cast<int>(random() % files), ".c"));
      }
      tree.Add(Numbered("m", m, ""), moduleFiles, m % 2 ? "[color=blue]" : "");
    }
    tree.RunBoth();
  }
}

}  // namespace
}  // namespace quillmap::testing
