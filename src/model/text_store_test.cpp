#include "model/text_store.h"

#include <gtest/gtest.h>

#include "model/name_table.h"

namespace quillmap {
namespace {

// Lengths around the one-byte and two-byte length forms, bytes that are not text, and a text
// larger than a block.
const std::vector<std::string> kTexts = {"",
                                         "a",
                                         std::string(127, 'x'),
                                         std::string(128, 'y'),
                                         std::string(16384, 'z'),
                                         std::string("nul\0inside", 10),
                                         "\xff\xfe\x80",
                                         std::string(3 << 20, 'b')};

TEST(TextStore, TextsAndListsReadBackAsAddedAndStayInPlace) {
  TextStore store;
  EXPECT_EQ(store.Text(0), "");
  EXPECT_TRUE(store.List(0).empty());
  struct Added {
    TextRef text;
    TextRef list;
    std::vector<std::string> items;
    std::string_view view;
  };
  std::vector<Added> added;
  // Many rounds, so that entries fill several blocks.
  for (int round = 0; round < 40; ++round) {
    for (size_t i = 0; i + (round > 0 ? 1 : 0) < kTexts.size(); ++i) {
      Added entry;
      entry.text = store.Add(kTexts[i]);
      entry.items = {kTexts[i], kTexts[(i + 1) % (kTexts.size() - 1)], "", std::to_string(round)};
      entry.items.resize(i % entry.items.size());
      entry.list = store.AddList(entry.items);
      entry.view = store.Text(entry.text);
      added.push_back(std::move(entry));
    }
  }
  size_t i = 0;
  for (const Added& entry : added) {
    SCOPED_TRACE(i++);
    const std::string_view text = store.Text(entry.text);
    EXPECT_EQ(text, entry.view);
    EXPECT_EQ(text.data(), entry.view.data());  // blocks never move
    const TextList list = store.List(entry.list);
    ASSERT_EQ(list.size(), entry.items.size());
    EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()), entry.items);
  }
  // The large text twice (alone and in a list), the rest in few blocks.
  EXPECT_LT(store.capacity(), size_t{12} << 20);
}

TEST(NameTable, EqualNamesShareAnIdGivenInOrderOfFirstUse) {
  NameTable names;
  EXPECT_EQ(names.Intern(""), 0u);
  std::vector<std::string> distinct;
  for (int i = 0; i < 5000; ++i) distinct.push_back("name_" + std::to_string(i * 7919 % 5000));
  // Each name twice, the second time after the table grew.
  for (const std::string& name : distinct) {
    const NameId id = names.Intern(name);
    EXPECT_EQ(id, names.size() - 1);
  }
  for (size_t i = 0; i < distinct.size(); ++i) {
    EXPECT_EQ(names.Intern(distinct[i]), i + 1);
    EXPECT_EQ(names[static_cast<NameId>(i + 1)], distinct[i]);
  }
  EXPECT_EQ(names.size(), distinct.size() + 1);
  EXPECT_NE(names.Intern(std::string("name_1\0", 7)), names.Intern("name_1"));
}

}  // namespace
}  // namespace quillmap
