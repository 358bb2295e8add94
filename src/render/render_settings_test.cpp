#include "render/render_settings.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

const std::vector<std::string> kKnown = {"pdf", "png", "svg"};

TEST(ParseRenderSettings, FormatsAndBudgetOrAClearError) {
  struct Case {
    const char* formats;
    const char* seconds;
    std::vector<std::string> expected;
    double budget;
    const char* error;
  };
  const Case cases[] = {
      {"svg", "", {"svg"}, 10, ""},
      {" svg , png,,pdf ", "2.5", {"svg", "png", "pdf"}, 2.5, ""},
      {"svg,svg", " 3 ", {"svg"}, 3, ""},
      {"svg,jpeg", "", {}, 10, "unknown render format: jpeg (known: pdf, png, svg)"},
      {"SVG", "", {}, 10, "unknown render format: SVG (known: pdf, png, svg)"},
      {"svg", "-1", {}, 10, "bad render_seconds: -1 (a number of seconds above 0 expected)"},
      {"svg", "0", {}, 10, "bad render_seconds: 0 (a number of seconds above 0 expected)"},
      {"svg", "ten", {}, 10, "bad render_seconds: ten (a number of seconds above 0 expected)"},
      {"svg", "5s", {}, 10, "bad render_seconds: 5s (a number of seconds above 0 expected)"},
      {"svg", "inf", {}, 10, "bad render_seconds: inf (a number of seconds above 0 expected)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.formats) + " / " + c.seconds);
    const RenderSettingsResult result = ParseRenderSettings(c.formats, c.seconds, kKnown);
    EXPECT_EQ(result.error, c.error);
    if (result.error.empty()) {
      EXPECT_EQ(result.settings.formats, c.expected);
      EXPECT_EQ(result.settings.budgetSeconds, c.budget);
    }
  }
}

TEST(PicturePath, ReplacesTheExtensionOfTheFileNameOnly) {
  EXPECT_EQ(PicturePath("/o/calls.dot", "svg"), "/o/calls.svg");
  EXPECT_EQ(PicturePath("/o/calls.v2.gv", "png"), "/o/calls.v2.png");
  EXPECT_EQ(PicturePath("/o.d/calls", "svg"), "/o.d/calls.svg");
  EXPECT_EQ(PicturePath("/o/.calls", "svg"), "/o/.calls.svg");
}

}  // namespace
}  // namespace quillmap
