#include "text/multi_pattern_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

namespace quillmap {
namespace {

using Occurrence = std::pair<size_t, int32_t>;  // end, pattern

std::vector<Occurrence> AllOccurrences(const MultiPatternMatcher& matcher, std::string_view text) {
  std::vector<Occurrence> found;
  matcher.Scan(text, [&](int32_t index, size_t end) {
    found.emplace_back(end, index);
    return true;
  });
  return found;
}

// Every occurrence by plain search, in the matcher's order (by end); equal patterns count once,
// under their lowest index.
std::vector<Occurrence> NaiveOccurrences(const std::vector<std::string>& patterns,
                                         std::string_view text) {
  std::vector<Occurrence> found;
  std::set<std::string> seen;
  for (size_t i = 0; i < patterns.size(); ++i) {
    const std::string& pattern = patterns[i];
    if (pattern.empty() || !seen.insert(pattern).second) continue;
    for (size_t at = text.find(pattern); at != std::string_view::npos;
         at = text.find(pattern, at + 1)) {
      found.emplace_back(at + pattern.size(), static_cast<int32_t>(i));
    }
  }
  return found;
}

std::string RandomText(std::mt19937& random, std::string_view alphabet, size_t maxLength) {
  std::string text(random() % (maxLength + 1), ' ');
  for (char& c : text) c = alphabet[random() % alphabet.size()];
  return text;
}

void ExpectSameAsPlainSearch(const std::vector<std::string>& patterns, std::string_view text,
                             size_t denseBudget = MultiPatternMatcher::kDefaultDenseBudget) {
  const MultiPatternMatcher matcher(patterns, denseBudget);
  std::vector<Occurrence> found = AllOccurrences(matcher, text);
  std::vector<Occurrence> expected = NaiveOccurrences(patterns, text);
  // Occurrences come by end; at one end the order of the patterns is not fixed.
  EXPECT_TRUE(
      std::is_sorted(found.begin(), found.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.first < b.first; }));
  std::sort(found.begin(), found.end());
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(found, expected);

  std::vector<size_t> starts;
  matcher.FirstOccurrences(text, starts);
  ASSERT_EQ(starts.size(), patterns.size());
  std::set<std::string> seen;
  for (size_t i = 0; i < patterns.size(); ++i) {
    const bool reported = !patterns[i].empty() && seen.insert(patterns[i]).second;
    EXPECT_EQ(starts[i], reported ? text.find(patterns[i]) : std::string_view::npos)
        << "pattern " << i << " [" << patterns[i] << "]";
  }
}

TEST(MultiPatternMatcher, FindsWhatPlainSearchFindsWithNestedAndOverlappingPatterns) {
  ExpectSameAsPlainSearch({"init", "reinit", "it", "nit", "t", "reinit_all"},
                          "reinit_all(); init(); unit_test(t);");
  ExpectSameAsPlainSearch({"aa", "aaa", "a", "b", ""}, "aaaabaaa");
  ExpectSameAsPlainSearch({"x", "x", "xy"}, "xxy");  // an equal pattern counts once
  ExpectSameAsPlainSearch({}, "anything");
  ExpectSameAsPlainSearch({"abc"}, "");
}

TEST(MultiPatternMatcher, FindsWhatPlainSearchFindsOnRandomTexts) {
  std::mt19937 random(1234);
  for (int round = 0; round < 300; ++round) {
    // A small alphabet gives many overlaps and shared prefixes; bytes 0 and 255 take part.
    const std::string alphabet = round % 3 == 0 ? std::string("ab\0\xff", 4) : "abcd ()_";
    std::vector<std::string> patterns(1 + random() % 12);
    for (std::string& pattern : patterns) pattern = RandomText(random, alphabet, 5);
    const std::string text = RandomText(random, alphabet, 200);
    ExpectSameAsPlainSearch(patterns, text);
    ExpectSameAsPlainSearch(patterns, text, 0);  // the root's row only
  }
}

TEST(MultiPatternMatcher, ManyPatternsWithAndWithoutFullRows) {
  // Thousands of names with shared prefixes: most states have no full transition row.
  std::mt19937 random(99);
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    names.push_back(std::string(i % 2 ? "int " : "void ") + RandomText(random, "abcdefgh_", 9) +
                    std::to_string(i % 97));
  }
  names.push_back("a");
  std::string text;
  for (int i = 0; i < 400; ++i) {
    text += RandomText(random, "abcdefgh_ int void", 30);
    text += names[random() % names.size()];
  }
  ExpectSameAsPlainSearch(names, text);
  ExpectSameAsPlainSearch(names, text, 64 << 10);  // most states without a full row
}

TEST(MultiPatternMatcher, ScanStopsWhenAskedTo) {
  const MultiPatternMatcher matcher({"a"});
  int calls = 0;
  matcher.Scan("aaaa", [&](int32_t, size_t) { return ++calls < 2; });
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace quillmap
