#include "scan/deferred_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmap {
namespace {

// Every entry with its kind, as a host sees it.
class KindLog : public ActivityLog {
 public:
  void AppendLog(const std::string& text, bool replace) override {
    entries.push_back((replace ? "r:" : "p:") + text);
  }
  void AppendErrorEntry(const std::string& text) override { entries.push_back("e:" + text); }
  std::vector<std::string> entries;
};

TEST(DeferredLog, HandsOnEveryEntryInOrderWithItsKindWhereverItWaited) {
  const std::string longText(3 << 20, 'x');  // longer than a block read back from the file
  const std::vector<std::string> entries = {"p:first", "e:error opening: a.c", "p:", "r:",
                                            "p:" + longText, "p:tail\r\nline", "e:last"};
  // Everything in memory, every entry through the file, and a mix of both.
  for (const size_t memoryBytes : {size_t{1} << 30, size_t{0}, size_t{20}}) {
    SCOPED_TRACE(memoryBytes);
    DeferredLog deferred(memoryBytes);
    for (int round = 0; round < 2; ++round) {
      for (const std::string& entry : entries) {
        const std::string text = entry.substr(2);
        if (entry[0] == 'e') deferred.AppendErrorEntry(text);
        else deferred.AppendLog(text, entry[0] == 'r');
      }
      KindLog host;
      deferred.HandOn(host);
      EXPECT_EQ(host.entries, entries) << "round " << round;
      KindLog empty;
      deferred.HandOn(empty);
      EXPECT_TRUE(empty.entries.empty());
    }
  }
}

// A stopped run's hand-over: every error and replacing entry, the last plain ones, and a count
// where the others were.
TEST(DeferredLog, HandsOnTheLastPlainEntriesWithEveryErrorAndACountOfTheRest) {
  const std::vector<std::string> entries = {"p:a", "e:bad 1", "p:b", "r:", "p:c", "e:bad 2", "p:d", "p:e"};
  struct Case {
    size_t last;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {2, {"p:3 left out", "e:bad 1", "r:", "e:bad 2", "p:d", "p:e"}},
      {4, {"p:1 left out", "e:bad 1", "p:b", "r:", "p:c", "e:bad 2", "p:d", "p:e"}},
      {0, {"p:5 left out", "e:bad 1", "r:", "e:bad 2"}},
      {5, entries},
      {50, entries},
  };
  for (const size_t memoryBytes : {size_t{1} << 30, size_t{0}, size_t{20}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(memoryBytes) + " bytes in memory, last " + std::to_string(c.last));
      DeferredLog deferred(memoryBytes);
      for (const std::string& entry : entries) {
        const std::string text = entry.substr(2);
        if (entry[0] == 'e') deferred.AppendErrorEntry(text);
        else deferred.AppendLog(text, entry[0] == 'r');
      }
      KindLog host;
      deferred.HandOnLast(host, c.last, [](size_t n) { return std::to_string(n) + " left out"; });
      EXPECT_EQ(host.entries, c.expected);
      KindLog empty;
      deferred.HandOn(empty);
      EXPECT_TRUE(empty.entries.empty());
    }
  }
}

}  // namespace
}  // namespace quillmap
