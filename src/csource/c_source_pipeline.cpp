#include "csource/c_source_pipeline.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <deque>

#include "files/source_text.h"
#include "files/termination_signals.h"

namespace quillmap {

namespace {
// Sources read ahead per worker: enough that a short file never leaves a worker waiting, few
// enough that memory stays that of a handful of files.
constexpr size_t kSlotsPerWorker = 8;
constexpr size_t kNotFilled = static_cast<size_t>(-1);
constexpr uint32_t kNoTexts = UINT32_MAX;
// Reading files is the other half of the work: more threads than this only wait on each other.
constexpr unsigned kMaxWorkers = 8;
}  // namespace

// A function's start or end; the calls between them are kept apart, packed, because a source
// may hold millions of them (a generated table, one line of calls): a call in flight costs its
// 32 bytes, not the size of a function record.
struct CSourcePipeline::Finding {
  enum Kind : uint8_t { kStart, kEnd } kind;
  CFunction function;
  size_t callsEnd = 0;  // of kEnd: the calls before it end here
  // Of kStart: its header text in the slot's texts, when made ahead.
  uint64_t headerBegin = 0;
  uint32_t headerLength = kNoTexts;
};

// A CCall as offsets into the scanned text (its name is a view of it).
struct CSourcePipeline::PackedCCall {
  uint64_t offset;
  uint64_t codeStart;
  uint32_t nameLength;
  uint32_t openDelta;  // open - offset
  int32_t line;
  uint32_t texts = kNoTexts;  // its CallTextBounds, when its texts were made ahead
};

namespace {
// Where a call's texts stand in its slot's texts: the line, then its arguments' bounds
// (argumentBounds[firstArgument, firstArgument + argumentCount)).
struct CallTextBounds {
  uint64_t lineBegin;
  uint32_t lineLength;
  uint32_t argumentCount;
  uint64_t firstArgument;
};
}  // namespace

struct CSourcePipeline::Slot {
  SourceText text;
  Source source;
  std::vector<Finding> findings;
  std::deque<PackedCCall> calls;  // a deque grows without a spare half
  std::deque<CCall> unpacked;     // the rare call whose fields do not pack
  std::any afterScan;             // the AfterScan hook's result
  size_t index = kNotFilled;      // the source it holds once filled
  // The texts made ahead, end to end, and where each one stands in them.
  std::string texts;
  std::vector<CallTextBounds> callTexts;
  std::vector<std::pair<uint64_t, uint32_t>> argumentBounds;
};

class CSourcePipeline::Recorder : public CSourceVisitor {
 public:
  Recorder(Slot& slot, const CallsWanted& callsWanted, const CallsWanted& textsWanted)
      : slot_(slot), callsWanted_(callsWanted), textsWanted_(textsWanted) {}
  void OnFunctionStart(const CFunction& function) override {
    slot_.findings.push_back(Finding{Finding::kStart, function, 0});
    keepCalls_ = !callsWanted_ || callsWanted_(function.name);
    textsForCalls_ = textsWanted_ && textsWanted_(function.name);
    if (textsForCalls_) {
      Finding& start = slot_.findings.back();
      start.headerBegin = slot_.texts.size();
      slot_.texts += CHeaderText(slot_.source.text, function);
      start.headerLength = static_cast<uint32_t>(
          std::min<uint64_t>(slot_.texts.size() - start.headerBegin, kNoTexts - 1));
    }
  }
  void OnCall(const CFunction&, const CCall& call) override {
    if (!keepCalls_) return;
    const std::string_view text = slot_.source.text;
    const bool packs = call.name.data() == text.data() + call.offset && call.open >= call.offset &&
                       call.open - call.offset <= UINT32_MAX && call.name.size() <= UINT32_MAX;
    if (packs) {
      slot_.calls.push_back({call.offset, call.codeStart, static_cast<uint32_t>(call.name.size()),
                             static_cast<uint32_t>(call.open - call.offset), call.line});
    } else {
      // Marked by a name length past the text; the call itself is kept whole.
      slot_.calls.push_back({slot_.unpacked.size(), 0, UINT32_MAX, 0, 0});
      slot_.unpacked.push_back(call);
    }
    if (textsForCalls_ && textsWanted_(call.name)) slot_.calls.back().texts = MakeTexts(call);
  }
  void OnFunctionEnd(const CFunction& function) override {
    slot_.findings.push_back(Finding{Finding::kEnd, function, slot_.calls.size()});
  }

 private:
  uint32_t MakeTexts(const CCall& call) {
    if (slot_.callTexts.size() >= kNoTexts) return kNoTexts;
    CallTextBounds bounds{};
    // The calls of one line share its text.
    if (call.codeStart == lineCodeStart_ && !slot_.callTexts.empty()) {
      bounds.lineBegin = lineBegin_;
      bounds.lineLength = lineLength_;
    } else {
      bounds.lineBegin = slot_.texts.size();
      slot_.texts += CLineText(slot_.source.text, call);
      bounds.lineLength = static_cast<uint32_t>(
          std::min<uint64_t>(slot_.texts.size() - bounds.lineBegin, UINT32_MAX));
      lineCodeStart_ = call.codeStart;
      lineBegin_ = bounds.lineBegin;
      lineLength_ = bounds.lineLength;
    }
    CCallArguments(slot_.source.text, call, arguments_);
    bounds.firstArgument = slot_.argumentBounds.size();
    bounds.argumentCount = static_cast<uint32_t>(arguments_.size());
    for (const std::string& argument : arguments_) {
      slot_.argumentBounds.emplace_back(slot_.texts.size(),
                                        static_cast<uint32_t>(std::min<size_t>(argument.size(), UINT32_MAX)));
      slot_.texts += argument;
    }
    slot_.callTexts.push_back(bounds);
    return static_cast<uint32_t>(slot_.callTexts.size() - 1);
  }

  Slot& slot_;
  const CallsWanted& callsWanted_;
  const CallsWanted& textsWanted_;
  bool keepCalls_ = true;
  bool textsForCalls_ = false;  // the texts of the current function's calls are wanted
  size_t lineCodeStart_ = 0;
  uint64_t lineBegin_ = 0;
  uint32_t lineLength_ = 0;
  StringList arguments_;
};

CSourcePipeline::CSourcePipeline(std::vector<std::string> paths, unsigned workers,
                                 CallsWanted callsWanted, AfterScan afterScan,
                                 CallsWanted textsWanted)
    : paths_(std::move(paths)),
      callsWanted_(std::move(callsWanted)),
      afterScan_(std::move(afterScan)),
      textsWanted_(std::move(textsWanted)) {
  const size_t slots = workers == 0 ? 1 : kSlotsPerWorker * workers;
  for (size_t i = 0; i < slots; ++i) slots_.push_back(std::make_unique<Slot>());
  // The workers start with the termination signals blocked (a thread inherits its creator's
  // mask), so that their handler always runs on the calling thread: it reads the list of
  // temporary files that this thread changes only while it blocks them.
  const TerminationSignalsBlocked blocked;
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
  slot.calls.clear();
  slot.unpacked.clear();
  slot.texts.clear();
  slot.callTexts.clear();
  slot.argumentBounds.clear();
  slot.source = Source{};
  slot.source.opened = slot.text.Load(paths_[index]);
  if (slot.source.opened) {
    slot.source.readFailed = slot.text.failed();
    slot.source.text = slot.text.text();
    Recorder recorder(slot, callsWanted_, textsWanted_);
    slot.source.lines = scanner.Scan(slot.source.text, recorder);
    if (afterScan_) {
      std::vector<CFunction> definitions;
      for (const Finding& finding : slot.findings) {
        if (finding.kind == Finding::kEnd) definitions.push_back(finding.function);
      }
      afterScan_(index, slot.source.text, definitions, slot.afterScan);
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

bool CSourcePipeline::Texts(CallTexts& texts) const {
  texts.line = {};
  texts.arguments.clear();
  if (current_ == nullptr || replayedCall_ == nullptr || replayedCall_->texts == kNoTexts) {
    return false;
  }
  const std::string_view all = current_->texts;
  const CallTextBounds& bounds = current_->callTexts[replayedCall_->texts];
  texts.line = all.substr(bounds.lineBegin, bounds.lineLength);
  for (uint64_t a = bounds.firstArgument; a < bounds.firstArgument + bounds.argumentCount; ++a) {
    const auto [begin, length] = current_->argumentBounds[a];
    texts.arguments.push_back(all.substr(begin, length));
  }
  return true;
}

bool CSourcePipeline::HeaderText(std::string_view& header) const {
  if (current_ == nullptr || replayedFinding_ == nullptr ||
      replayedFinding_->headerLength == kNoTexts) {
    return false;
  }
  header = std::string_view(current_->texts)
               .substr(replayedFinding_->headerBegin, replayedFinding_->headerLength);
  return true;
}

void CSourcePipeline::Replay(CSourceVisitor& visitor) const {
  if (current_ == nullptr) return;
  const CFunction* function = nullptr;
  const std::string_view text = current_->source.text;
  size_t next = 0;  // the next call to replay
  for (const Finding& finding : current_->findings) {
    switch (finding.kind) {
      case Finding::kStart:
        function = &finding.function;
        replayedFinding_ = &finding;
        visitor.OnFunctionStart(finding.function);
        replayedFinding_ = nullptr;
        break;
      case Finding::kEnd:
        for (; next < finding.callsEnd; ++next) {
          const PackedCCall& packed = current_->calls[next];
          replayedCall_ = &packed;
          if (packed.nameLength == UINT32_MAX) {
            visitor.OnCall(*function, current_->unpacked[packed.offset]);
            continue;
          }
          CCall call;
          call.name = text.substr(packed.offset, packed.nameLength);
          call.offset = packed.offset;
          call.open = packed.offset + packed.openDelta;
          call.line = packed.line;
          call.codeStart = packed.codeStart;
          visitor.OnCall(*function, call);
        }
        replayedCall_ = nullptr;
        visitor.OnFunctionEnd(finding.function);
        break;
    }
  }
}

}  // namespace quillmap
