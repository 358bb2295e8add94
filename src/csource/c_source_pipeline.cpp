#include "csource/c_source_pipeline.h"

#include <algorithm>

#include "files/source_text.h"

namespace quillmap {

namespace {
// Sources read ahead per worker: enough that a short file never leaves a worker waiting, few
// enough that memory stays that of a handful of files.
constexpr size_t kSlotsPerWorker = 8;
constexpr size_t kNotFilled = static_cast<size_t>(-1);
// Reading files is the other half of the work: more threads than this only wait on each other.
constexpr unsigned kMaxWorkers = 8;
}  // namespace

struct CSourcePipeline::Finding {
  enum Kind : uint8_t { kStart, kCall, kEnd } kind;
  CFunction function;  // of kStart and kEnd
  CCall call;          // of kCall
};

struct CSourcePipeline::Slot {
  SourceText text;
  Source source;
  std::vector<Finding> findings;
  std::any afterScan;  // the AfterScan hook's result
  size_t index = kNotFilled;  // the source it holds once filled
};

class CSourcePipeline::Recorder : public CSourceVisitor {
 public:
  Recorder(std::vector<Finding>& findings, const CallsWanted& callsWanted)
      : findings_(findings), callsWanted_(callsWanted) {}
  void OnFunctionStart(const CFunction& function) override {
    findings_.push_back(Finding{Finding::kStart, function, {}});
    keepCalls_ = !callsWanted_ || callsWanted_(function.name);
  }
  void OnCall(const CFunction&, const CCall& call) override {
    if (keepCalls_) findings_.push_back(Finding{Finding::kCall, {}, call});
  }
  void OnFunctionEnd(const CFunction& function) override {
    findings_.push_back(Finding{Finding::kEnd, function, {}});
  }

 private:
  std::vector<Finding>& findings_;
  const CallsWanted& callsWanted_;
  bool keepCalls_ = true;
};

CSourcePipeline::CSourcePipeline(std::vector<std::string> paths, unsigned workers,
                                 CallsWanted callsWanted, AfterScan afterScan)
    : paths_(std::move(paths)),
      callsWanted_(std::move(callsWanted)),
      afterScan_(std::move(afterScan)) {
  const size_t slots = workers == 0 ? 1 : kSlotsPerWorker * workers;
  for (size_t i = 0; i < slots; ++i) slots_.push_back(std::make_unique<Slot>());
  for (unsigned i = 0; i < workers && i < paths_.size(); ++i)
    workers_.emplace_back([this] { Work(); });
}

CSourcePipeline::~CSourcePipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  freed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

unsigned CSourcePipeline::DefaultWorkers() {
  const unsigned threads = std::thread::hardware_concurrency();
  return threads >= 2 ? std::min(threads, kMaxWorkers) : 0;
}

void CSourcePipeline::Fill(Slot& slot, size_t index, CSourceScanner& scanner) {
  slot.findings.clear();
  slot.source = Source{};
  slot.source.opened = slot.text.Load(paths_[index]);
  if (slot.source.opened) {
    slot.source.readFailed = slot.text.failed();
    slot.source.text = slot.text.text();
    Recorder recorder(slot.findings, callsWanted_);
    slot.source.lines = scanner.Scan(slot.source.text, recorder);
    if (afterScan_) {
      std::vector<CFunction> definitions;
      for (const Finding& finding : slot.findings) {
        if (finding.kind == Finding::kEnd) definitions.push_back(finding.function);
      }
      afterScan_(slot.source.text, definitions, slot.afterScan);
    }
  }
}

bool CSourcePipeline::FilledFrom(size_t index) const {
  // A caller that has to wait waits for half the slots, not for one source: it sleeps and is
  // woken once per batch of small files instead of once per file.
  const size_t end = std::min(paths_.size(), index + slots_.size() / 2);
  for (size_t i = index; i < std::max(end, index + 1); ++i) {
    if (slots_[i % slots_.size()]->index != i) return false;
  }
  return true;
}

void CSourcePipeline::Work() {
  CSourceScanner scanner;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Source i goes into the slot of source i - slots, which the caller must be done with.
    const auto mayTake = [&] {
      return stop_ || taken_ >= paths_.size() || taken_ < inUse_ + slots_.size();
    };
    if (!mayTake()) {
      ++workersWaiting_;
      freed_.wait(lock, mayTake);
      --workersWaiting_;
    }
    if (stop_ || taken_ >= paths_.size()) return;
    const size_t index = taken_++;
    Slot& slot = *slots_[index % slots_.size()];
    lock.unlock();
    Fill(slot, index, scanner);
    lock.lock();
    slot.index = index;
    if (callerWaiting_ && FilledFrom(next_ - 1)) filled_.notify_one();
  }
}

const CSourcePipeline::Source& CSourcePipeline::Next() {
  static const Source kNoSource;
  if (next_ >= paths_.size()) {
    current_ = nullptr;
    return kNoSource;
  }
  const size_t index = next_++;
  Slot& slot = *slots_[index % slots_.size()];
  if (workers_.empty()) {
    Fill(slot, index, scanner_);
  } else {
    // Waking a thread costs more than reading a small file: only those that wait are woken.
    std::unique_lock<std::mutex> lock(mutex_);
    inUse_ = index;
    if (workersWaiting_ > 0) freed_.notify_all();
    if (slot.index != index) {
      callerWaiting_ = true;
      filled_.wait(lock, [&] { return FilledFrom(index); });
      callerWaiting_ = false;
    }
  }
  current_ = &slot;
  return slot.source;
}

const std::any& CSourcePipeline::AfterScanResult() const {
  static const std::any kNone;
  return current_ == nullptr ? kNone : current_->afterScan;
}

void CSourcePipeline::Replay(CSourceVisitor& visitor) const {
  if (current_ == nullptr) return;
  const CFunction* function = nullptr;
  for (const Finding& finding : current_->findings) {
    switch (finding.kind) {
      case Finding::kStart:
        function = &finding.function;
        visitor.OnFunctionStart(finding.function);
        break;
      case Finding::kCall:
        visitor.OnCall(*function, finding.call);
        break;
      case Finding::kEnd:
        visitor.OnFunctionEnd(finding.function);
        break;
    }
  }
}

}  // namespace quillmap
