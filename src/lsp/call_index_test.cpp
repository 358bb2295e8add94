#include "lsp/call_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillmap::lsp {
namespace {

// "caller:line->callee" for every call of a file, through CallerOf.
std::vector<std::string> CallsShown(const CallIndex& index, int32_t file) {
  std::vector<std::string> shown;
  for (size_t k = 0; k < index.CallsIn(file).size(); ++k) {
    const SiteRef ref{file, static_cast<int32_t>(k)};
    const int32_t caller = index.CallerOf(ref);
    const IndexedCall& call = index.Call(ref);
    shown.push_back(std::string(index.NameOf(index.FunctionsIn(file)[caller].name)) + ":" +
                    std::to_string(call.line) + "->" + std::string(index.NameOf(call.callee)) +
                    (call.via != kNoName ? " via " + std::string(index.NameOf(call.via)) : ""));
  }
  return shown;
}

TEST(CallIndex, CallsKnowTheirCallersAcrossReplacements) {
  struct Case {
    const char* what;
    ScannedFile file;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"functions without calls before, between and after",
       {{{"empty", 1, 1}, {"a", 4, 4}, {"none", 8, 8}, {"b", 10, 10}, {"last", 20, 20}},
        {{"x", 1, 5, CallKind::kCallDirect, ""},
         {"y", 1, 6, CallKind::kCallDirect, ""},
         {"x", 3, 11, CallKind::kCallPointer, "ops->x"}}},
       {"a:5->x", "a:6->y", "b:11->x via ops->x"}},
      {"calls handed over out of their functions' order",
       {{{"a", 1, 1}, {"b", 5, 5}},
        {{"late", 1, 6, CallKind::kCallDirect, ""},
         {"early", 0, 2, CallKind::kCallDirect, ""},
         {"early2", 0, 3, CallKind::kCallDirect, ""}}},
       {"a:2->early", "a:3->early2", "b:6->late"}},
      {"a call of no function is left out",
       {{{"a", 1, 1}}, {{"lost", 4, 9, CallKind::kCallDirect, ""}, {"x", 0, 2, CallKind::kCallDirect, ""}}},
       {"a:2->x"}},
      {"no functions", {}, {}},
  };
  CallIndex index;
  index.ReplaceFile("/other.c", {{{"x", 1, 1}}, {{"x", 0, 2, CallKind::kCallDirect, ""}}});
  for (const Case& c : cases) {
    // Each case replaces the last in the same file: nothing of the one before may remain.
    index.ReplaceFile("/f.c", c.file);
    const int32_t file = index.FindFile("/f.c");
    EXPECT_EQ(CallsShown(index, file), c.calls) << c.what;
    size_t callsOfX = 0;
    for (const SiteRef& ref : index.CallsTo(index.FindName("x"))) callsOfX += ref.file == file;
    size_t expected = 0;
    for (const std::string& call : c.calls) expected += call.find("->x") != std::string::npos;
    EXPECT_EQ(callsOfX, expected) << c.what;
    EXPECT_EQ(index.DefinitionsOf(index.FindName("x")).size(), 1u) << c.what;
    EXPECT_EQ(index.callCount(), c.calls.size() + 1) << c.what;
  }
  EXPECT_EQ(index.FindName("never_seen"), kNoName);
  EXPECT_TRUE(index.DefinitionsOf(index.FindName("a")).empty());
}

// What a drain hands over, a line per file.
std::vector<std::string> Drained(CallGraphModel&& model, const NameTable* names) {
  std::vector<std::string> seen;
  DrainScannedFiles(
      std::move(model),
      [&seen](const std::string& path, const ScannedFile& file) {
        std::string text = path + ":";
        for (const ScannedFunction& function : file.functions) text += " " + function.name;
        for (const ScannedCall& call : file.calls) {
          text += " " + file.functions[static_cast<size_t>(call.function)].name + "@" +
                  std::to_string(call.line) + "->" + call.callee;
        }
        seen.push_back(text);
      },
      names);
  return seen;
}

// With the model's names in the model, or taken by the index before the drain (the index's
// ids are then the model's).
TEST(CallIndex, DrainingAModelHandsOverEveryFileInOrder) {
  for (const bool adopted : {false, true}) {
    SCOPED_TRACE(adopted ? "names adopted by the index" : "names in the model");
    CallGraphModel model;
    model.sources.push_back({"/a.c", true, ""});
    model.AddFunction("f", "int f(void)", 0, 2, 1);
    model.AddCall("g", "g", 0, {}, 3);
    model.AddCall("h", "h", 0, {}, 4);
    model.AddFunction("idle", "void idle(void)", 0, 7, 6);
    model.sources.push_back({"/gone.c", false, "cannot be opened"});
    model.sources.push_back({"/b.c", true, ""});
    model.AddFunction("g", "void g(void)", 0, 2, 1);
    model.AddCall("f", "f", 0, {}, 3);
    quillmap::NameId h = 0;
    ASSERT_TRUE(model.names.Find("h", h));
    std::unique_ptr<CallIndex> index;
    if (adopted) index = std::make_unique<CallIndex>(std::move(model.names));
    EXPECT_EQ(Drained(std::move(model), adopted ? &index->names() : nullptr),
              (std::vector<std::string>{"/a.c: f idle f@3->g f@4->h", "/b.c: g g@3->f"}));
    if (adopted) {
      EXPECT_EQ(index->FindName("h"), static_cast<NameId>(h));
    }
  }
}

// A model whose details fill many blocks, let go of as the drain goes: every line still
// comes from the right record.
TEST(CallIndex, DrainingAModelOfManyDetailBlocksReadsEveryLine) {
  CallGraphModel model;
  std::vector<std::string> expected;
  const std::string padding(200, 'p');
  for (int file = 0; file < 40; ++file) {
    const std::string path = "/f" + std::to_string(file) + ".c";
    model.sources.push_back({path, true, ""});
    std::string line = path + ":";
    std::string calls;
    for (int function = 0; function < 50; ++function) {
      const std::string name = "fn" + std::to_string(file) + "_" + std::to_string(function);
      const int32_t at = 1 + function * 10;
      model.AddFunction(name, "void " + name + "(void) /* " + padding + " */", 0, at, at);
      line += " " + name;
      for (int call = 1; call <= 3; ++call) {
        model.AddCall("callee", "callee", 0, {padding + std::to_string(at + call)}, at + call);
        calls += " " + name + "@" + std::to_string(at + call) + "->callee";
      }
    }
    expected.push_back(line + calls);
  }
  EXPECT_EQ(Drained(std::move(model), nullptr), expected);
}

}  // namespace
}  // namespace quillmap::lsp

namespace quillmap::lsp {
namespace {

TEST(SiteList, HoldsOneInPlaceAndMoreOnTheHeapAcrossRemovals) {
  // Each step adds sites (file:index) or removes a file's; then the list is shown.
  struct Step {
    std::vector<SiteRef> added;
    int32_t removedFile;  // -1: none
    std::string shown;
  };
  const std::vector<Step> steps = {
      {{}, -1, ""},
      {{{3, 0}}, -1, "3:0"},
      {{}, 4, "3:0"},
      {{{4, 1}, {3, 2}}, -1, "3:0 4:1 3:2"},
      {{}, 3, "4:1"},
      {{{5, 0}}, -1, "4:1 5:0"},
      {{}, 4, "5:0"},
      {{}, 5, ""},
      {{{0, 0}}, -1, "0:0"},
  };
  SiteList list;
  for (const Step& step : steps) {
    for (const SiteRef& site : step.added) list.push_back(site);
    if (step.removedFile >= 0) list.RemoveFile(step.removedFile);
    std::string shown;
    for (const SiteRef& site : list) {
      shown += (shown.empty() ? "" : " ") + std::to_string(site.file) + ":" +
               std::to_string(site.index);
    }
    EXPECT_EQ(shown, step.shown);
    EXPECT_EQ(list.size(), step.shown.empty() ? 0u : std::count(step.shown.begin(), step.shown.end(), ' ') + 1u);
    EXPECT_EQ(list.empty(), step.shown.empty());
  }
}

}  // namespace
}  // namespace quillmap::lsp
