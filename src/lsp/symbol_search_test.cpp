#include "lsp/symbol_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "lsp/fuzzy_match.h"

namespace quillmap::lsp {
namespace {

// The ranking without any prefilter: every name scored, sorted by score, then by name.
std::vector<int32_t> RankEveryName(const std::vector<std::string>& names, std::string_view typed,
                                   size_t limit, int32_t skipped) {
  std::vector<std::pair<int, int32_t>> ranked;
  for (size_t k = 0; k < names.size(); ++k) {
    const int score = FuzzyScore(typed, names[k]);
    if (score != kNoMatch && static_cast<int32_t>(k) != skipped) {
      ranked.emplace_back(score, static_cast<int32_t>(k));
    }
  }
  std::sort(ranked.begin(), ranked.end(), [&names](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return names[static_cast<size_t>(a.second)] < names[static_cast<size_t>(b.second)];
  });
  std::vector<int32_t> ids;
  for (size_t k = 0; k < std::min(limit, ranked.size()); ++k) ids.push_back(ranked[k].second);
  return ids;
}

TEST(SymbolSearch, RanksAsScoringEveryNameWould) {
  const std::vector<std::string> names = {
      "scan",          "scan_file",     "ScanFile",      "do_scan",     "rescan",
      "s_c_a_n",       "snac",          "kfree",         "kfree_skb",   "kvfree",
      "__kfree_rcu",   "mutex_lock",    "mutex_unlock",  "MUTEX_LOCK",  "m",
      "x86_init",      "x86_64_setup",  "_",             "a$b",         "ab",
      "copy_process",  "vfs_read",      "vfs_readv",     "schedule",    "schedule_timeout",
      "SCAN",          "scAn",          "acpi_scan_bus", "sc",          "caller9",
      "\xc3\xa9t\xc3\xa9", "name.with.dots", "UPPER_CASE_NAME", "zz_scan_zz", "scan2"};
  SymbolSearch search;
  // In batches, as the server adds them, with room made before each (too little for the first).
  for (size_t k = 0; k < names.size(); ++k) {
    if (k % 10 == 0) search.Reserve(k == 0 ? 3 : 10, 40);
    search.Add(static_cast<int32_t>(k), names[k]);
  }
  const auto nameOf = [&names](int32_t id) -> std::string_view {
    return names[static_cast<size_t>(id)];
  };
  // The name that no longer counts (say its last definition was deleted).
  constexpr int32_t kSkipped = 4;
  const auto counts = [](int32_t id) { return id != kSkipped; };

  const std::vector<std::pair<std::string, size_t>> queries = {
      {"scan", 200}, {"SCAN", 200}, {"sc", 3},     {"kfree", 200}, {"kf", 200},
      {"mtx", 200},  {"ml", 200},   {"x86", 200},  {"_", 200},     {"", 5},
      {"$", 200},    {"a$", 200},   {"\xc3\xa9", 200}, {".", 200},  {"zzz", 200},
      {"sched_t", 200}, {"vfsr", 1}, {"copyprocess", 200}, {"9", 200}, {"scanfilex", 200}};
  for (const auto& [typed, limit] : queries) {
    EXPECT_EQ(search.Find(typed, limit, nameOf, counts), RankEveryName(names, typed, limit, kSkipped))
        << "query \"" << typed << "\", limit " << limit;
  }
}

}  // namespace
}  // namespace quillmap::lsp
