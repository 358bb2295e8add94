#include "dialog/run_status.h"

namespace quillmap {

namespace {
std::string WithExitClass(const std::string& text, int exitStatus) {
  return text + kStatusExitClass + std::to_string(exitStatus) + ")";
}
}  // namespace

RunStatus RunningStatus(const RunProgress& progress, bool stopping) {
  RunStatus status;
  status.state = RunStatus::State::kRunning;
  status.text = kStatusRunning;
  if (!progress.stage.empty()) {
    status.text += ": " + progress.stage;
    if (progress.total > 0) {
      const size_t shown = std::min(progress.done + 1, progress.total);
      status.text +=
          kStatusFileOf + std::to_string(shown) + kStatusOf + std::to_string(progress.total);
      status.gaugePercent = static_cast<int>(progress.done * 100 / progress.total);
    }
  }
  if (stopping) status.text += kStatusStopping;
  return status;
}

RunStatus EndedStatus(const RunOutcome& outcome, size_t errorEntries) {
  RunStatus status;
  if (outcome.stopped) {
    status.state = RunStatus::State::kStopped;
    status.text = kStatusStopped;
    return status;
  }
  status.state = RunStatus::State::kFinished;
  status.exitStatus = ExitStatusOf(outcome);
  if (!outcome.errorReported) {
    status.text =
        WithExitClass(status.exitStatus == kExitRulesViolated ? kStatusViolations : kStatusNoErrors,
                      status.exitStatus);
    return status;
  }
  // An error the run noted without an entry of its own still counts.
  status.errorCount = std::max<size_t>(errorEntries, 1);
  status.text = WithExitClass(kStatusWithErrors + std::to_string(status.errorCount) +
                                  (status.errorCount == 1 ? kStatusOneError : kStatusErrors),
                              status.exitStatus);
  return status;
}

RunStatus NotRunStatus(const std::string& message) {
  RunStatus status;
  status.state = RunStatus::State::kNotRun;
  status.exitStatus = kExitUsage;
  status.text = WithExitClass(kStatusNotRun + message, status.exitStatus);
  return status;
}

}  // namespace quillmap
