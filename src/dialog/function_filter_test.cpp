#include "dialog/function_filter.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(FunctionFilter, MatchKindsOfANameAgainstWhatWasTyped) {
  struct Case {
    std::string name, typed;
    MatchKind kind;
  };
  const Case cases[] = {{"uart_init", "uart_init", MatchKind::kExact},
                        {"uart_init", "uart", MatchKind::kPrefix},
                        {"uart_init", "init", MatchKind::kSubstring},
                        {"uart_init", "uin", MatchKind::kFuzzy},
                        {"uart_init", "tiu", MatchKind::kNone},
                        {"uart", "uart_init", MatchKind::kNone},
                        {"x", "", MatchKind::kExact}};
  for (const Case& c : cases)
    EXPECT_EQ(MatchOf(c.name, c.typed), c.kind) << c.name << " " << c.typed;
}

// The names of the matches, in their order.
std::vector<std::string> Shown(const FunctionIndex& index, const FunctionFilter& filter) {
  std::vector<std::string> names;
  for (const uint32_t f : filter.matches()) names.emplace_back(index.NameOf(f));
  return names;
}

TEST(FunctionFilter, RanksExactPrefixSubstringFuzzyAndNarrowsAsTheUserTypes) {
  CallGraphModel model;
  for (const char* name :
       {"MotorStop", "motor", "MotorStart", "PwmMotorOut", "mainloop", "mo_tor_reset", "Timer"}) {
    model.AddFunction(name, "", 0, 0, 1);
  }
  const FunctionIndex index(model);
  FunctionFilter filter(index);
  EXPECT_EQ(Shown(index, filter),
            (std::vector<std::string>{"MotorStart", "MotorStop", "PwmMotorOut", "Timer", "mainloop",
                                      "mo_tor_reset", "motor"}));
  struct Step {
    std::string typed;
    std::vector<std::string> shown;
  };
  // Typed on, corrected back, and typed anew in other case.
  const Step steps[] = {
      {"m",
       {"motor", "mainloop", "MotorStop", "MotorStart", "mo_tor_reset", "Timer", "PwmMotorOut"}},
      {"mot", {"motor", "MotorStop", "MotorStart", "PwmMotorOut", "mo_tor_reset"}},
      {"motor", {"motor", "MotorStop", "MotorStart", "PwmMotorOut", "mo_tor_reset"}},
      {"motors", {"MotorStop", "MotorStart", "mo_tor_reset"}},
      {"motorst", {"MotorStop", "MotorStart", "mo_tor_reset"}},
      {"mots", {"MotorStop", "MotorStart", "mo_tor_reset"}},
      {"MOTORSTA", {"MotorStart"}},
      {"xyz", {}},
  };
  for (const Step& step : steps) {
    filter.SetText(step.typed);
    EXPECT_EQ(Shown(index, filter), step.shown) << step.typed;
  }
  filter.SetText("");
  EXPECT_EQ(filter.matches(), index.byName());
}

}  // namespace
}  // namespace quillmap
