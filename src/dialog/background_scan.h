/// A scan run on a worker thread, so that the window stays live: its log is collected in a
/// RunLogBuffer, its progress is kept for the window to show, and the window can ask it to stop
/// at the next source.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "dialog/run_log_buffer.h"
#include "scan/scan_run.h"

namespace quillmap {

class BackgroundScan : public RunObserver {
 public:
  /// Starts `run` on the configuration at `cfgPath` (a full path). `run` must outlive this.
  BackgroundScan(ScanRun& run, const std::string& cfgPath, bool logEmpty);
  /// Stops the run at its next source and waits for it.
  ~BackgroundScan() override;
  BackgroundScan(const BackgroundScan&) = delete;
  BackgroundScan& operator=(const BackgroundScan&) = delete;

  void RequestStop() { stopRequested_ = true; }
  bool stopRequested() const { return stopRequested_; }
  /// The run has ended; Finish will not wait.
  bool ended() const { return ended_; }
  RunLogBuffer& log() { return log_; }
  RunProgress progress();
  /// Waits for the run to end and gives its outcome; rethrows the FileError that ended it.
  RunOutcome Finish();

  void OnProgress(std::string_view stage, size_t done, size_t total) override;
  bool StopRequested() override { return stopRequested_; }

 private:
  RunLogBuffer log_;
  std::mutex progressMutex_;
  RunProgress progress_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> ended_{false};
  RunOutcome outcome_;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace quillmap
