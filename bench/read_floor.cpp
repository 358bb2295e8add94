// read_floor: the least time any scan of a file list can take. Reads every file named in the
// list (one path a line) with N threads, each taking the next file, and prints the wall time,
// the files and the bytes read. A scan's time is judged against this floor of the same run.
//
//   read_floor LIST [THREADS]    (THREADS defaults to 2)

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Totals {
  std::atomic<size_t> next{0};
  std::atomic<unsigned long long> bytes{0};
  std::atomic<size_t> failed{0};
};

void ReadFiles(const std::vector<std::string>& paths, Totals& totals) {
  std::vector<char> buffer(1 << 20);
  for (size_t i = totals.next++; i < paths.size(); i = totals.next++) {
    const int fd = open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      ++totals.failed;
      continue;
    }
    unsigned long long bytes = 0;
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) {
      bytes += static_cast<unsigned long long>(n);
    }
    close(fd);
    totals.bytes += bytes;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: read_floor LIST [THREADS]\n");
    return 2;
  }
  std::ifstream list(argv[1]);
  if (!list) {
    std::fprintf(stderr, "read_floor: cannot open %s\n", argv[1]);
    return 2;
  }
  std::vector<std::string> paths;
  for (std::string line; std::getline(list, line);) {
    if (!line.empty()) paths.push_back(line);
  }
  const int threads = argc == 3 ? std::max(1, std::atoi(argv[2])) : 2;

  Totals totals;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) workers.emplace_back(ReadFiles, std::cref(paths), std::ref(totals));
  for (std::thread& worker : workers) worker.join();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

  std::printf("%.3f s, %zu files, %llu bytes, %zu not opened, %d threads\n", took.count(),
              paths.size(), totals.bytes.load(), totals.failed.load(), threads);
  return totals.failed == 0 ? 0 : 1;
}
