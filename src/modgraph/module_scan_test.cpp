#include "modgraph/module_scan.h"

#include <algorithm>

#include "modgraph/modgraph_test_fixture.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Parses `line`; "<none>" when it is not a header.
std::string NameOf(std::string_view line) {
  FunctionHeader header;
  return ParseFunctionHeader(line, header) ? header.name : "<none>";
}
std::string SignatureOf(std::string_view line) {
  FunctionHeader header;
  return ParseFunctionHeader(line, header) ? header.signature : "<none>";
}

TEST(ParseFunctionHeaderTest, NameLiesBetweenFirstBlankAndFirstParenthesis) {
  EXPECT_EQ(NameOf("int main(void)"), "main");
  EXPECT_EQ(SignatureOf("int main(void)"), "int main(void)");
  EXPECT_EQ(NameOf("int init (int x)"), "init");
  EXPECT_EQ(NameOf("static int util(void)"), "int util");
  EXPECT_EQ(NameOf("char *dup(char *s)"), "*dup");
  EXPECT_EQ(NameOf("void log(int x); /* note */"), "log");
  EXPECT_EQ(SignatureOf("void log(int x); /* note */"), "void log(int x)");
  EXPECT_EQ(SignatureOf("\t int main(void) \r\n"), "int main(void)");
}

TEST(ParseFunctionHeaderTest, RejectsLinesWithoutBlankParenthesesInOrder) {
  EXPECT_EQ(NameOf("main(void)"), "<none>");
  EXPECT_EQ(NameOf("int\tmain(void)"), "<none>");
  EXPECT_EQ(NameOf("int main(void"), "<none>");
  EXPECT_EQ(NameOf("int main)("), "<none>");
  EXPECT_EQ(NameOf("(a) b(c)"), "<none>");
  EXPECT_EQ(NameOf(""), "<none>");
}

TEST(ParseFunctionHeaderTest, RejectsAnEmptyName) {
  EXPECT_EQ(NameOf("if (x)"), "<none>");
  EXPECT_EQ(NameOf("while   (x)"), "<none>");
  FunctionHeader header{"kept", "kept"};
  EXPECT_FALSE(ParseFunctionHeader("if (x)", header));
  EXPECT_EQ(header.name, "kept");
}

class ModuleScanTest : public ModuleGraphTest {
 protected:
  void SetUp() override { table->moduleLogPath = Path("mod.log"); }

  // Appends a valid module with the given source files (name, contents) to the table.
  ModuleRecord& AddModule(const std::string& name,
                          const std::vector<std::pair<std::string, std::string>>& sources,
                          const std::string& callAttributes = "") {
    ModuleRecord& record = table->modules[table->moduleCount++];
    record.valid = 1;
    record.moduleName = name;
    record.callAttributes = callAttributes;
    for (const auto& [file, contents] : sources) {
      record.files.push_back(contents == kNoFile ? Path(file) : dir.Write(file, contents));
    }
    return record;
  }
  ModuleRecord& Module(int k) { return table->modules[k]; }

  int Pass1() { return CollectAllModuleFunctions(context, *table); }
  void BothPasses() {
    Pass1();
    ScanAllModuleCalls(context, *table);
  }

  static inline const std::string kNoFile = "<no file>";
  const std::string kApp = "int main(void)\n{\n    init();\n}\n";
  const std::string kLib = "int init(void)\n{\n    return 0;\n}\n";
};

TEST_F(ModuleScanTest, Pass1CollectsEachModulesFunctionsAndLogsSignatures) {
  AddModule("app", {{"app.c", kApp}});
  AddModule("lib", {{"lib.c", kLib}, {"more.c", "static int util(void)\r\n{\r\n}\r\n"}});
  EXPECT_EQ(Pass1(), 2);
  EXPECT_THAT(Module(0).definedFunctions, ElementsAre("main"));
  EXPECT_THAT(Module(1).definedFunctions, ElementsAre("init", "int util"));
  EXPECT_THAT(LogLines(), ElementsAre("app", Path("app.c"), " int main(void)", "lib", Path("lib.c"),
                                      " int init(void)", Path("more.c"), " static int util(void)"));
  EXPECT_THAT(log.entries, IsEmpty());
  EXPECT_FALSE(context.errorReported());
}

TEST_F(ModuleScanTest, Pass1EmptiesTheListsOfThePreviousRun) {
  ModuleRecord& app = AddModule("app", {{"app.c", kApp}});
  app.definedFunctions = {"old"};
  app.linkedFunctions = {"old"};
  Pass1();
  EXPECT_THAT(app.definedFunctions, ElementsAre("main"));
  EXPECT_THAT(app.linkedFunctions, IsEmpty());
}

TEST_F(ModuleScanTest, Pass1TakesEveryNonEmptyLineAsThePreviousLine) {
  // Appended, not concatenated: GCC 12 warns falsely on the latter.
  std::string source =
      "int blank(void)\n\n{\n}\n"
      "int comment(void)\n// note\n{\n}\n"
      "int brace(void) {\n}\n"
      "int twice(void)\n{\n}\n"
      "int twice(void)\n{\n}\n"
      "int nul(void)\n";
  source.append("\0ignored\n", 9).append("{\n}\n");
  AddModule("app", {{"app.c", source}});
  Pass1();
  // A NUL byte ends the line buffer's text, so that line counts as empty and is skipped.
  EXPECT_THAT(Module(0).definedFunctions, ElementsAre("twice", "twice", "nul"));
}

TEST_F(ModuleScanTest, Pass1ReportsAnUnopenableSourceOncePerPath) {
  AddModule("app", {{"missing.c", kNoFile}, {"app.c", kApp}, {"missing.c", kNoFile}});
  AddModule("lib", {{"missing.c", kNoFile}, {"lib.c", kLib}});
  EXPECT_EQ(Pass1(), 2);
  EXPECT_THAT(log.entries, ElementsAre("error opening: " + Path("missing.c")));
  EXPECT_TRUE(context.errorReported());
  // The module log still lists the path, and nothing else about it.
  EXPECT_THAT(LogLines(), ElementsAre("app", Path("missing.c"), Path("app.c"), " int main(void)",
                                      Path("missing.c"), "lib", Path("missing.c"), Path("lib.c"),
                                      " int init(void)"));

  // Pass 2 skips the file without another report.
  ScanAllModuleCalls(context, *table);
  EXPECT_THAT(log.entries,
              ElementsAre("error opening: " + Path("missing.c"), "scanning calls from app to: lib",
                          "scanning calls from lib to: app"));
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_init;"));
}

TEST_F(ModuleScanTest, Pass2FindsCallsAndLogsEveryStep) {
  AddModule("app", {{"app.c", kApp}});
  AddModule("lib", {{"lib.c", kLib}});
  Pass1();
  const size_t pass1Lines = LogLines().size();
  ScanAllModuleCalls(context, *table);

  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_init;"));
  EXPECT_THAT(Module(0).linkedFunctions, ElementsAre("main"));
  EXPECT_THAT(Module(1).linkedFunctions, ElementsAre("init"));
  const std::vector<std::string> lines = LogLines();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + pass1Lines, lines.end()),
              ElementsAre(kStars, "scanning calls from app", " to:lib", " in:" + Path("app.c"),
                          " -> app:main", "  - lib:init", " <-", kStars, "scanning calls from lib",
                          " to:app", " in:" + Path("lib.c"), " -> lib:init", " <-"));
  EXPECT_THAT(log.entries,
              ElementsAre("scanning calls from app to: lib", "scanning calls from lib to: app"));
}

TEST_F(ModuleScanTest, Pass2SkipsBlankAndCommentLinesBeforeTheBrace) {
  AddModule("app", {{"app.c", "int main(void)\n\n// entry\n#if 1\n{\n    init();\n}\n"}});
  AddModule("lib", {{"lib.c", kLib}});
  BothPasses();
  EXPECT_THAT(Module(0).definedFunctions, IsEmpty());
  EXPECT_THAT(Module(0).linkedFunctions, ElementsAre("main"));
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_init;"));
}

TEST_F(ModuleScanTest, Pass2MatchesNamesAsPlainSubstrings) {
  AddModule("app", {{"app.c", "int main(void)\n{\n    reinit();\n}\n"}}, "[color=red]");
  AddModule("lib", {{"lib.c", "int init(void)\n{\n}\nint reinit(void)\n{\n}\n"}});
  BothPasses();
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_init [color=red];",
                                             "app_main -> lib_reinit [color=red];"));
  EXPECT_THAT(Module(1).linkedFunctions, ElementsAre("init", "reinit"));
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  - lib:init"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  - lib:reinit"), 1);
}

TEST_F(ModuleScanTest, Pass2RecordsEachEdgeOnceAndLogsEveryMatch) {
  AddModule("app", {{"app.c", "int main(void)\n{\n    init();\n    init();\n}\n"}});
  AddModule("lib", {{"lib.c", kLib}, {"copy.c", kLib}});
  BothPasses();
  EXPECT_THAT(Module(1).definedFunctions, ElementsAre("init", "init"));
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_init;"));
  const std::vector<std::string> lines = LogLines();
  // Two matching lines, each matched by both entries of the duplicated name.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  - lib:init"), 4);
}

TEST_F(ModuleScanTest, Pass2FindsNoCallsFromAControlStatementBeforeABrace) {
  AddModule("app", {{"app.c", "int main(void)\n{\n    if (x)\n{\n    work();\n}\n"}});
  AddModule("lib", {{"lib.c", "void setup(int x)\n{\n    if (x)\n{\n    x = 1;\n}\n"}});
  BothPasses();
  EXPECT_THAT(Module(0).definedFunctions, ElementsAre("main"));
  EXPECT_THAT(Module(1).definedFunctions, ElementsAre("setup"));
  EXPECT_THAT(table->calls, IsEmpty());
}

TEST_F(ModuleScanTest, Pass2BodyEndsOnlyAtABraceInTheFirstColumn) {
  AddModule("app", {{"app.c",
                     "int main(void)\n{\n  }\n    first();\n}\n    second();\n"
                     "int other(void) {\n    third();\n}\n"}});
  AddModule("lib", {{"lib.c",
                     "void first(void)\n{\n}\nvoid second(void)\n{\n}\nvoid third(void)\n{\n}\n"}});
  BothPasses();
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_first;"));
}

TEST_F(ModuleScanTest, Pass2SplitsLongLinesIntoPieces) {
  // The first piece holds 2047 bytes; the rest of the line starts with "}" and ends the body.
  std::string source = "int main(void)\n{\n    ";  // appended: GCC 12 warns falsely on +
  source.append(2043, 'x').append("}    init();\n").append("    init();\n}\n");
  AddModule("app", {{"app.c", source}});
  AddModule("lib", {{"lib.c", kLib}});
  BothPasses();
  EXPECT_THAT(table->calls, IsEmpty());
  EXPECT_THAT(Module(0).linkedFunctions, IsEmpty());
}

TEST_F(ModuleScanTest, Pass2CarriesThePreviousLineAcrossFiles) {
  AddModule("app", {{"a.c", "int late(void)\n"}, {"b.c", "{\n    init();\n}\n"}});
  AddModule("lib", {{"lib.c", kLib}});
  BothPasses();
  // Pass 1 starts every file afresh, so it does not see the function.
  EXPECT_THAT(Module(0).definedFunctions, IsEmpty());
  EXPECT_THAT(Module(0).linkedFunctions, ElementsAre("late"));
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_late -> lib_init;"));
}

TEST_F(ModuleScanTest, Pass2EndsAnOpenBodyAtTheEndOfItsFile) {
  AddModule("app", {{"a.c", "int main(void)\n{\n"}, {"b.c", "    init();\n"}});
  AddModule("lib", {{"lib.c", kLib}});
  BothPasses();
  EXPECT_THAT(table->calls, IsEmpty());
}

TEST_F(ModuleScanTest, Pass2WithOneModuleScansNothing) {
  AddModule("app", {{"app.c", kApp}});
  Pass1();
  const size_t pass1Lines = LogLines().size();
  ScanAllModuleCalls(context, *table);
  const std::vector<std::string> lines = LogLines();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + pass1Lines, lines.end()),
              ElementsAre(kStars, "scanning calls from app"));
  EXPECT_THAT(log.entries, ElementsAre("scanning calls from app to:"));
}

TEST_F(ModuleScanTest, Pass2NamesAllTargetsInTheActivityLog) {
  AddModule("app", {{"app.c", kApp}});
  AddModule("lib", {{"lib.c", kLib}});
  AddModule("util", {{"util.c", "int helper(void)\n{\n    init();\n}\n"}});
  BothPasses();
  EXPECT_THAT(log.entries, ElementsAre("scanning calls from app to: lib ,util",
                                       "scanning calls from lib to: app ,util",
                                       "scanning calls from util to: app ,lib"));
  EXPECT_THAT(EdgeLines(*table), ElementsAre("app_main -> lib_init;", "util_helper -> lib_init;"));
}

TEST_F(ModuleScanTest, Pass2QuotesNodeNamesThatAreNoPlainDotIds) {
  AddModule("app", {{"app.c", "static void run(void)\n{\n    c = *dup(s);\n}\n"}},
            "[color=\"red\"]");
  AddModule("str-lib", {{"lib.c", "char *dup(char *s)\n{\n}\n"}});
  BothPasses();
  EXPECT_THAT(EdgeLines(*table),
              ElementsAre("\"app_void run\" -> \"str-lib_*dup\" [color=\"red\"];"));
  EXPECT_THAT(Module(0).linkedFunctions, ElementsAre("void run"));
  EXPECT_THAT(Module(1).linkedFunctions, ElementsAre("*dup"));
}

}  // namespace
}  // namespace quillmap::testing
