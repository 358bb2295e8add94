// The rule keys read (every bad input an error that names its key, rules that never apply a
// note) and the rules checked against calls between modules.
#include "rules/module_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <map>

namespace quillmap {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Keys = std::map<std::string, std::string>;

const StringList kModules{"app", "comm", "drivers"};

RuleReading Read(const Keys& keys) {
  return ReadModuleRules(
      [&](const std::string& key) {
        const auto it = keys.find(key);
        return it == keys.end() ? std::string() : it->second;
      },
      kModules, "/proj/");
}

TEST(ReadModuleRules, BadInputIsAnErrorNamingItsKey) {
  const struct {
    Keys keys;
    StringList errors;
  } cases[] = {
      {{{"rule_0", "app -> nobody"}}, {"error in rule_0: unknown module \"nobody\""}},
      {{{"rule_0", "ghost !-> app"}}, {"error in rule_0: unknown module \"ghost\""}},
      {{{"rule_0", "App -> comm"}}, {"error in rule_0: unknown module \"App\""}},
      {{{"rule_0", "app => comm"}},
       {"error in rule_0: malformed rule (write A -> B or A !-> B): \"app => comm\""}},
      {{{"rule_0", "app ->"}},
       {"error in rule_0: malformed rule (write A -> B or A !-> B): \"app ->\""}},
      {{{"rule_0", "!-> comm"}},
       {"error in rule_0: malformed rule (write A -> B or A !-> B): \"!-> comm\""}},
      {{{"rule_0", "app -> comm"}, {"rule_1", "comm !-> comm"}},
       {"error in rule_1: a rule from a module to itself never applies (calls within a module "
        "are not checked): comm !-> comm"}},
      {{{"layers", "app, ui, drivers"}}, {"error in layers: unknown module \"ui\""}},
      {{{"layers", "app, *"}}, {"error in layers: unknown module \"*\""}},
      {{{"layers", "app,, drivers"}}, {"error in layers: an empty layer in: \"app,, drivers\""}},
      {{{"layers", "app|, drivers"}}, {"error in layers: an empty layer in: \"app|, drivers\""}},
      {{{"layers", "app, comm|app"}}, {"error in layers: a module in two layers: \"app\""}},
      {{{"default", "forbid"}}, {"error in default: neither allow nor deny: \"forbid\""}},
      {{{"cycles", "no"}}, {"error in cycles: neither allow nor deny: \"no\""}},
      {{{"rule_0", "x -> y"}},
       {"error in rule_0: unknown module \"x\"", "error in rule_0: unknown module \"y\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys.begin()->first + "=" + c.keys.begin()->second);
    const RuleReading reading = Read(c.keys);
    EXPECT_TRUE(reading.rules.configured);
    EXPECT_THAT(reading.errors, ElementsAreArray(c.errors));
  }
}

TEST(ReadModuleRules, GoodInputAndRulesThatNeverApply) {
  const RuleReading none = Read({{"mod_0", "app"}});
  EXPECT_FALSE(none.rules.configured);
  EXPECT_TRUE(none.errors.empty());

  const RuleReading reading = Read({{"rule_0", " app->* "},
                                    {"rule_1", "app !-> comm"},
                                    {"rule_2", "* !-> *"},
                                    {"rule_3", "drivers -> comm"},
                                    {"rule_5", "after the gap"},
                                    {"layers", "app , comm|drivers"},
                                    {"default", "deny"},
                                    {"cycles", "deny"},
                                    {"baseline", "known.txt"}});
  EXPECT_TRUE(reading.errors.empty());
  EXPECT_THAT(
      reading.notes,
      ElementsAre("rule_1 (app !-> comm) never applies: rule_0 (app -> *) decides first",
                  "rule_3 (drivers -> comm) never applies: rule_2 (* !-> *) decides first"));
  const ModuleRules& rules = reading.rules;
  ASSERT_EQ(rules.rules.size(), 4u);
  EXPECT_EQ(rules.rules[0].Text(), "app -> *");
  EXPECT_EQ(rules.layerOf,
            (std::unordered_map<std::string, int>{{"app", 0}, {"comm", 1}, {"drivers", 1}}));
  EXPECT_TRUE(rules.denyByDefault);
  EXPECT_TRUE(rules.denyCycles);
  EXPECT_EQ(rules.baselinePath, "/proj/known.txt");
}

ModuleCallText Call(int32_t from, int32_t to, std::string_view caller, std::string_view callee,
                    int32_t line) {
  static const std::string_view kFiles[] = {"/proj/src/f0.c", "/proj/src/f1.c", "/proj/src/f2.c"};
  return {from, to, caller, callee, kFiles[from], line};
}

TEST(CheckModuleRules, FirstMatchThenLayersThenTheDefault) {
  // app calls comm and drivers, comm calls drivers, drivers calls app and comm.
  const ModuleCalls calls{
      Call(0, 1, "App_Run", "Disp_Post", 3),     Call(0, 2, "App_Run", "Uart_Tx", 4),
      Call(1, 2, "Disp_Post", "Uart_Tx", 7),     Call(2, 0, "Uart_RxIsr", "App_OnByte", 41),
      Call(2, 1, "Uart_RxIsr", "Disp_Post", 42),
  };
  const struct {
    const char* name;
    Keys keys;
    StringList lines;
  } cases[] = {
      {"no rules break nothing", {{"cycles", "allow"}}, {}},
      {"a forbidden pair",
       {{"rule_0", "drivers !-> app"}},
       {"rule violated: drivers !-> app: Uart_RxIsr (src/f2.c:41) calls App_OnByte"}},
      {"the first match decides",
       {{"rule_0", "drivers -> app"}, {"rule_1", "drivers !-> *"}},
       {"rule violated: drivers !-> *: Uart_RxIsr (src/f2.c:42) calls Disp_Post"}},
      {"layers forbid calls upwards",
       {{"layers", "app, comm, drivers"}},
       {"rule violated: drivers !-> app (layers): Uart_RxIsr (src/f2.c:41) calls App_OnByte",
        "rule violated: drivers !-> comm (layers): Uart_RxIsr (src/f2.c:42) calls Disp_Post"}},
      {"a rule before the layers, a shared layer",
       {{"rule_0", "drivers -> comm"}, {"layers", "app, comm|drivers"}},
       {"rule violated: drivers !-> app (layers): Uart_RxIsr (src/f2.c:41) calls App_OnByte"}},
      {"the default for calls nothing else decides",
       {{"rule_0", "app -> *"}, {"rule_1", "* -> drivers"}, {"default", "deny"}},
       {"rule violated: drivers !-> app (default=deny): Uart_RxIsr (src/f2.c:41) calls App_OnByte",
        "rule violated: drivers !-> comm (default=deny): Uart_RxIsr (src/f2.c:42) calls "
        "Disp_Post"}},
      {"cycles with their whole chain",
       {{"cycles", "deny"}},
       {"rule violated: cycles=deny: app -> drivers -> app"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RuleReading reading = Read(c.keys);
    ASSERT_TRUE(reading.errors.empty());
    StringList lines;
    for (const RuleViolation& v : CheckModuleRules(reading.rules, kModules, calls, "/proj/")) {
      lines.push_back(v.line);
    }
    EXPECT_THAT(lines, ElementsAreArray(c.lines));
  }
}

TEST(CheckModuleRules, ACycleMarksEveryCallAlongItAndPathsOutsideTheFolderStayWhole) {
  const ModuleCalls calls{Call(0, 1, "a", "b", 1),
                          Call(1, 0, "b", "a", 2),
                          Call(0, 1, "a2", "b", 3),
                          {0, 2, "a", "d", "/elsewhere/x.c", 4}};
  ModuleRules rules;
  rules.denyCycles = true;
  rules.rules.push_back({"rule_0", "app", "drivers", false});
  const std::vector<RuleViolation> violations = CheckModuleRules(rules, kModules, calls, "/proj/");
  ASSERT_EQ(violations.size(), 2u);
  EXPECT_EQ(violations[0].line, "rule violated: app !-> drivers: a (/elsewhere/x.c:4) calls d");
  EXPECT_EQ(violations[1].line, "rule violated: cycles=deny: app -> comm -> app");
  EXPECT_THAT(violations[1].calls, ElementsAre(0, 1, 2));  // in the order found
}

TEST(CheckModuleRules, ACycleReadsTheSameWhateverTheOrderOfTheModules) {
  // Two equally short cycles (drivers -> app -> drivers and drivers -> comm -> drivers) and a
  // longer one, with the modules numbered in every order: the report names the same cycle,
  // from the smallest name.
  const StringList names{"drivers", "comm", "app"};
  const std::vector<std::pair<int, int>> links{{0, 2}, {2, 0}, {0, 1}, {1, 0}, {2, 1}};
  std::vector<int> order{0, 1, 2};  // order[k]: the number of names[k]
  ModuleRules rules;
  rules.denyCycles = true;
  do {
    StringList numbered(3);
    for (size_t k = 0; k < 3; ++k) numbered[static_cast<size_t>(order[k])] = names[k];
    ModuleCalls calls;
    for (const auto& [from, to] : links) {
      calls.Add(
          Call(order[static_cast<size_t>(from)], order[static_cast<size_t>(to)], "f", "g", 1));
    }
    const std::vector<RuleViolation> violations = CheckModuleRules(rules, numbered, calls, "/");
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_EQ(violations[0].line, "rule violated: cycles=deny: app -> drivers -> app");
  } while (std::next_permutation(order.begin(), order.end()));
}

}  // namespace
}  // namespace quillmap
