#include "csource/source_syntax.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(SourceSyntax, ReadsLinesCAndNothingAndRejectsEverythingElse) {
  const struct {
    const char* value;
    bool known;
    SourceSyntax syntax;
  } cases[] = {{"", true, SourceSyntax::kLines},      {"lines", true, SourceSyntax::kLines},
               {"Lines", true, SourceSyntax::kLines}, {"c", true, SourceSyntax::kC},
               {"C", true, SourceSyntax::kC},         {"cobol", false, SourceSyntax::kLines},
               {"c99", false, SourceSyntax::kLines},  {"line", false, SourceSyntax::kLines}};
  for (const auto& c : cases) {
    SourceSyntax syntax = SourceSyntax::kLines;
    EXPECT_EQ(ParseSourceSyntax(c.value, syntax), c.known) << c.value;
    if (c.known) {
      EXPECT_EQ(syntax, c.syntax) << c.value;
    }
  }
}

}  // namespace
}  // namespace quillmap
