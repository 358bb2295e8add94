#include "dialog/background_scan.h"

namespace quillmap {

BackgroundScan::BackgroundScan(ScanRun& run, const std::string& cfgPath, bool logEmpty)
    : log_(logEmpty) {
  thread_ = std::thread([this, &run, cfgPath] {
    try {
      outcome_ = run.Run(cfgPath, log_, this);
    } catch (...) {
      error_ = std::current_exception();
    }
    ended_ = true;
  });
}

BackgroundScan::~BackgroundScan() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

RunProgress BackgroundScan::progress() {
  std::lock_guard<std::mutex> lock(progressMutex_);
  return progress_;
}

void BackgroundScan::OnProgress(std::string_view stage, size_t done, size_t total) {
  std::lock_guard<std::mutex> lock(progressMutex_);
  progress_.stage.assign(stage);
  progress_.done = done;
  progress_.total = total;
}

RunOutcome BackgroundScan::Finish() {
  if (thread_.joinable()) thread_.join();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  return outcome_;
}

}  // namespace quillmap
