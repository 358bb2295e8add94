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

// Each packing: texts and lists read back as added, in any order. Plain texts stay in place;
// compressed ones take less room than plain ones.
TEST(TextStore, TextsAndListsReadBackAsAdded) {
  size_t plainCapacity = 0;
  for (const TextPacking packing : {TextPacking::kPlain, TextPacking::kCompressed}) {
    SCOPED_TRACE(packing == TextPacking::kPlain ? "plain" : "compressed");
    TextStore store(packing);
    EXPECT_EQ(store.Text(0), "");
    EXPECT_TRUE(store.List(0).empty());
    struct Added {
      size_t index;                   // of the text in kTexts
      std::vector<uint32_t> numbers;  // before the text and before the list
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
        entry.index = i;
        // Numbers of one and of five bytes; all 0 with the empty text: the empty entry.
        entry.numbers = {static_cast<uint32_t>(i), static_cast<uint32_t>(round) * 300,
                         i == 0 ? 0 : 0xffffffffu};
        entry.text = store.Add(kTexts[i], entry.numbers);
        entry.items = {kTexts[i], kTexts[(i + 1) % (kTexts.size() - 1)], "", std::to_string(round)};
        entry.items.resize(i % entry.items.size());
        entry.list = store.AddList(entry.items, entry.numbers);
        if (i == 0 && round == 0) {
          EXPECT_EQ(entry.text, 0u);
        }
        std::vector<uint32_t> numbers(entry.numbers.size());
        entry.view = store.Text(entry.text, numbers);
        added.push_back(std::move(entry));
      }
    }
    // Forwards, then backwards (every read of a compressed store in another block than the last).
    for (int pass = 0; pass < 2; ++pass) {
      for (size_t k = 0; k < added.size(); ++k) {
        const Added& entry = added[pass == 0 ? k : added.size() - 1 - k];
        SCOPED_TRACE(pass == 0 ? k : added.size() - 1 - k);
        std::vector<uint32_t> numbers(entry.numbers.size(), 7);
        const TextList list = store.List(entry.list, numbers);
        EXPECT_EQ(numbers, entry.numbers);
        ASSERT_EQ(list.size(), entry.items.size());
        EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()), entry.items);
        numbers.assign(numbers.size(), 7);
        const std::string_view text = store.Text(entry.text, numbers);
        EXPECT_EQ(numbers, entry.numbers);
        EXPECT_EQ(text, kTexts[entry.index]);
        if (packing == TextPacking::kPlain) {
          EXPECT_EQ(text.data(), entry.view.data());
        }
      }
    }
    if (packing == TextPacking::kPlain) {
      // The large text twice (alone and in a list), the rest in few blocks.
      plainCapacity = store.capacity();
      EXPECT_LT(plainCapacity, size_t{12} << 20);
    } else {
      // Less than the plain blocks with the largest block read last held decompressed beside.
      EXPECT_LT(store.capacity(), plainCapacity);
    }
  }
}

// A reader in the order written that lets go of what it read: every entry still reads back,
// the blocks before go, and the empty entry stays readable.
TEST(TextStore, ReleasingWhatWasReadKeepsTheRestReadable) {
  for (const TextPacking packing : {TextPacking::kPlain, TextPacking::kCompressed}) {
    SCOPED_TRACE(packing == TextPacking::kPlain ? "plain" : "compressed");
    TextStore store(packing);
    std::vector<std::pair<TextRef, std::string>> added;
    uint32_t seed = 1;  // letters that do not compress much, so that there are many blocks
    for (int i = 0; i < 12000; ++i) {
      std::string text = std::to_string(i);
      for (int n = i % 7 * 300; n > 0; --n) {
        seed = seed * 1103515245u + 12345u;
        text += static_cast<char>('a' + (seed >> 16) % 26);
      }
      const uint32_t number = static_cast<uint32_t>(i);
      added.emplace_back(store.Add(text, std::span<const uint32_t>(&number, 1)), text);
    }
    const size_t before = store.capacity();
    for (size_t k = 0; k < added.size(); ++k) {
      store.ReleaseBefore(added[k].first);
      uint32_t number = 0;
      ASSERT_EQ(store.Text(added[k].first, std::span<uint32_t>(&number, 1)), added[k].second) << k;
      EXPECT_EQ(number, k);
    }
    store.ReleaseBefore(added.back().first);
    EXPECT_LT(store.capacity(), before / 4);
    EXPECT_EQ(store.Text(0), "");
  }
}

// Lists copied from another store and from the store itself (whose open block moves when it is
// sealed) read back as they were added, long texts and block ends included.
TEST(TextStore, ListsCopiedFromAStoreReadBackAsAdded) {
  for (const TextPacking packing : {TextPacking::kPlain, TextPacking::kCompressed}) {
    SCOPED_TRACE(packing == TextPacking::kPlain ? "plain" : "compressed");
    TextStore from(packing);
    TextStore to(packing);
    std::vector<std::pair<TextRef, std::vector<std::string>>> copied;
    for (int round = 0; round < 300; ++round) {
      std::vector<std::string> list;
      for (size_t i = 0; i < kTexts.size(); ++i) {
        if ((round + i) % 3 == 0) list.push_back(kTexts[i] + std::to_string(round));
      }
      const uint32_t number = static_cast<uint32_t>(round);
      const TextRef source = from.AddList(list);
      copied.emplace_back(to.AddList(from.List(source), std::span<const uint32_t>(&number, 1)),
                          list);
      // Again from the copy just made, in the same store.
      uint32_t read = 0;
      copied.emplace_back(to.AddList(to.List(copied.back().first, std::span<uint32_t>(&read, 1)),
                                     std::span<const uint32_t>(&number, 1)),
                          list);
    }
    for (size_t k = 0; k < copied.size(); ++k) {
      uint32_t number = 0;
      const TextList list = to.List(copied[k].first, std::span<uint32_t>(&number, 1));
      ASSERT_EQ(std::vector<std::string>(list.begin(), list.end()), copied[k].second) << k;
      EXPECT_EQ(number, k / 2);
    }
  }
}

TEST(NameTable, EqualNamesShareAnIdGivenInOrderOfFirstUse) {
  NameTable names;
  EXPECT_EQ(names.Intern(""), 0u);
  std::vector<std::string> distinct;
  for (int i = 0; i < 5000; ++i) {
    distinct.push_back("name_" + std::to_string(i * 7919 % 5000));
    // Now and then a name of 0.6 MiB, so that the names spread over several blocks, some of
    // them at large offsets, and one name fills a block of its own.
    if (i % 1000 == 999) distinct.back() += std::string(i == 2999 ? 1536 << 10 : 600 << 10, 'x');
  }
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
