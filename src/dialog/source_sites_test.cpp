#include "dialog/source_sites.h"

#include <gtest/gtest.h>

namespace quillmap {
namespace {

TEST(SourceSites, LogLinesOfSourcesAndDefinitionsNameTheirSite) {
  LogLines log;
  log.Append(
      "work path: /w/\r\nIN[0]:  /p/a.c\r\n\r\n>> Z:7, int f(void)\r\n     --> g()\r\n"
      "<< Z:9, calls: 1\r\nIN[1]:  /p/b c.c\r\n>> Z:0, int h(void)");
  struct Case {
    size_t line;
    std::optional<SourceSite> site;
  };
  const Case cases[] = {{0, std::nullopt},
                        {1, SourceSite{"/p/a.c", 1}},
                        {2, std::nullopt},
                        {3, SourceSite{"/p/a.c", 7}},
                        {4, std::nullopt},
                        {5, std::nullopt},
                        {6, SourceSite{"/p/b c.c", 1}},
                        {7, SourceSite{"/p/b c.c", 1}},
                        {8, std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(SourceSiteOfLogLine(log, c.line), c.site) << c.line;
  LogLines orphan;
  orphan.Append(">> Z:3, int f(void)");
  EXPECT_EQ(SourceSiteOfLogLine(orphan, 0), std::nullopt);
}

TEST(SourceSites, EditorCommandComesFromVisualThenEditorThenTheDesktop) {
  EXPECT_EQ(DefaultEditorCommand("code -g", "vi"), "code -g +%l %f");
  EXPECT_EQ(DefaultEditorCommand("", "vi"), "vi +%l %f");
  EXPECT_EQ(DefaultEditorCommand(nullptr, nullptr), "xdg-open %f");
  EXPECT_EQ(EditorArguments("emacsclient -n +%l %f", {"/p/a.c", 12}),
            (std::vector<std::string>{"emacsclient", "-n", "+12", "/p/a.c"}));
  EXPECT_EQ(EditorArguments("kate %f:%l", {"/p/%l.c", 3}),
            (std::vector<std::string>{"kate", "/p/%l.c:3"}));
}

}  // namespace
}  // namespace quillmap
