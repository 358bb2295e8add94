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

}  // namespace
}  // namespace quillmap
