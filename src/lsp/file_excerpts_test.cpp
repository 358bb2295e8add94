#include "lsp/file_excerpts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quillmap::lsp {
namespace {

TEST(FileExcerpts, ReadsPartsOfFilesAndNoticesMissingOnes) {
  quillmap::testing::TempDir dir;
  const std::string a = dir.Write("a.c", "0123456789");
  const std::string b = dir.Write("b.c", "abc");
  struct Case {
    std::string path;
    uint32_t begin;
    uint32_t end;
    bool ok;
    std::string bytes;
  };
  // In this order: the open file changes between the reads, and comes back.
  const std::vector<Case> cases = {
      {a, 2, 5, true, "234"},         {a, 7, UINT32_MAX, true, "789"},
      {b, 1, 100, true, "bc"},        {b, 3, 3, true, ""},
      {a, 0, 10, true, "0123456789"}, {a, 20, 30, true, ""},
      {dir / "none.c", 0, 5, false, ""}, {a, 9, UINT32_MAX, true, "9"},
  };
  FileExcerpts excerpts;
  for (const Case& c : cases) {
    std::string bytes = "left over";
    EXPECT_EQ(excerpts.Read(c.path, c.begin, c.end, bytes), c.ok) << c.path << " " << c.begin;
    EXPECT_EQ(bytes, c.bytes) << c.path << " " << c.begin;
  }
  // A file replaced on disk is read anew after Close.
  quillmap::testing::WriteFile(a, "new");
  excerpts.Close();
  std::string bytes;
  ASSERT_TRUE(excerpts.Read(a, 0, UINT32_MAX, bytes));
  EXPECT_EQ(bytes, "new");
}

}  // namespace
}  // namespace quillmap::lsp
