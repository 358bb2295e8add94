// Times the reachability queries themselves on the model of a scan: the graph built from the
// model, then -reach, -why and -dead answered, each the best of several repetitions.
//
//   reach_query_bench CFG NAME FROM,TO [REPEAT]
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "reach/reach_report.h"
#include "scan/scan_run.h"

namespace {

class SilentLog : public quillmap::ActivityLog {
 public:
  void AppendLog(const std::string&, bool) override {}
};

template <class F>
double BestMs(int repeat, F&& work) {
  double best = 1e30;
  for (int r = 0; r < repeat; ++r) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: reach_query_bench CFG NAME FROM,TO [REPEAT]\n";
    return 2;
  }
  const std::string cfg = argv[1], name = argv[2], why = argv[3];
  const int repeat = argc > 4 ? std::stoi(argv[4]) : 5;
  const size_t comma = why.find(',');
  quillmap::ScanRun scan;
  SilentLog log;
  const auto scanStart = std::chrono::steady_clock::now();
  scan.Run(cfg, log);
  const std::chrono::duration<double> scanned = std::chrono::steady_clock::now() - scanStart;
  const auto& model = scan.model().callGraph;
  std::size_t answer = 0;
  const double graphMs = BestMs(repeat, [&] {
    const quillmap::CallReachGraph graph(model);
    answer = static_cast<std::size_t>(graph.edgeCount());
  });
  const quillmap::CallReachGraph graph(model);
  const auto format = quillmap::ReachFormat::kCsv;
  std::size_t reachBytes = 0, whyBytes = 0, deadBytes = 0;
  const double reachMs = BestMs(repeat, [&] {
    reachBytes = quillmap::AnswerReach(graph, name, false, format, "").text.size();
  });
  const double callersMs = BestMs(repeat, [&] {
    reachBytes = quillmap::AnswerReach(graph, name, true, format, "").text.size();
  });
  const double whyMs = BestMs(repeat, [&] {
    whyBytes = quillmap::AnswerWhy(graph, why.substr(0, comma), why.substr(comma + 1), format, "")
                   .text.size();
  });
  const double deadMs = BestMs(repeat, [&] {
    deadBytes = quillmap::AnswerDead(graph, {scan.deadEntries(), false}, format, "").text.size();
  });
  std::printf("scan %.2f s; %zu functions, %zu calls, %zu graph edges\n", scanned.count(),
              model.functions.size(), model.calls.size(), answer);
  std::printf(
      "graph from the model %.1f ms; -reach %.1f ms; -reach callers %.1f ms; -why %.1f ms;"
      " -dead %.1f ms (answers %zu, %zu, %zu bytes)\n",
      graphMs, reachMs, callersMs, whyMs, deadMs, reachBytes, whyBytes, deadBytes);
  return 0;
}
