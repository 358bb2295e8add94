#include "text/packed_strings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace quillmap {
namespace {

TEST(PackedStrings, GivesBackEveryEntryAsAddedAndComparesByContent) {
  const std::vector<std::vector<std::string>> lists = {
      {},
      {""},
      {"", "", "a"},
      {"main", "helper", "helper"},
      {std::string(70000, 'x'), "", std::string("nul\0byte", 8), "y"},
  };
  for (const std::vector<std::string>& texts : lists) {
    PackedStrings packed;
    packed.reserve(texts.size());
    for (const std::string& text : texts) packed.push_back(text);
    ASSERT_EQ(packed.size(), texts.size());
    EXPECT_EQ(packed.empty(), texts.empty());
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(packed[i], texts[i]) << i;
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), texts.begin(), texts.end()));
    EXPECT_EQ(packed.end() - packed.begin(), static_cast<ptrdiff_t>(texts.size()));

    // Entries that join to the same bytes are still different lists.
    PackedStrings joined;
    std::string all;
    for (const std::string& text : texts) all += text;
    joined.push_back(all);
    EXPECT_EQ(packed == joined, texts.size() == 1) << texts.size();

    PackedStrings again = packed;
    EXPECT_EQ(again, packed);
    again.clear();
    EXPECT_TRUE(again.empty());
    again.push_back("z");
    EXPECT_THAT(again, ::testing::ElementsAre("z"));
  }
}

}  // namespace
}  // namespace quillmap
