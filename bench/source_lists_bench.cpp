// source_lists_bench: times the resolving of a configuration's call graph source list (patterns
// expanded, exclusions applied, compilation database read), the step that patterns add to a run.
//
//   source_lists_bench [--runs N] FILE.cfg
//
// Prints the number of files, the problems found and the median, minimum and maximum time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "config/cached_profile_reader.h"
#include "config/scan_settings.h"
#include "config/source_lists.h"
#include "files/paths.h"

// The process's processor time, user and system, in milliseconds.
static double CpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

int main(int argc, char** argv) {
  int runs = 10;
  std::string cfg;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      cfg = arg;
    }
  }
  if (cfg.empty()) {
    std::fprintf(stderr, "usage: source_lists_bench [--runs N] FILE.cfg\n");
    return 2;
  }
  cfg = quillmap::FullPathOf(cfg);
  const std::string dir = quillmap::DirectoryOf(cfg);
  std::vector<double> times;
  std::vector<double> cpuTimes;
  quillmap::SourceList list;
  for (int run = 0; run < runs; ++run) {
    quillmap::CachedProfileReader profile;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuMilliseconds();
    list = quillmap::CallGraphSourcePaths(quillmap::ReadScanSettings(profile, cfg), dir);
    cpuTimes.push_back(CpuMilliseconds() - cpuStart);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    times.push_back(took.count());
  }
  std::sort(times.begin(), times.end());
  std::sort(cpuTimes.begin(), cpuTimes.end());
  for (const std::string& problem : list.problems) std::printf("problem: %s\n", problem.c_str());
  std::printf(
      "%zu files, %zu problems; wall median %.1f ms, min %.1f ms, max %.1f ms; CPU (user+system) "
      "median %.1f ms, min %.1f ms (%d runs)\n",
      list.paths.size(), list.problems.size(), times[times.size() / 2], times.front(), times.back(),
      cpuTimes[cpuTimes.size() / 2], cpuTimes.front(), runs);
  return 0;
}
