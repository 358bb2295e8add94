/// Reads and scans C sources on worker threads ahead of the one in use, so that a run over many
/// files keeps both cores busy; the sources come out one by one in the order given, each with
/// what the recogniser found in it, so what is made of them does not depend on the threads.
#pragma once

#include <any>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "csource/c_source_scanner.h"

namespace quillmap {

class CSourcePipeline {
 public:
  /// A source read and scanned.
  struct Source {
    bool opened = false;      // false: it could not be opened (or is a folder)
    bool readFailed = false;  // reading failed part way; the text is what was read before
    std::string_view text;
    int lines = 0;  // as CSourceScanner::Scan counts them
  };

  /// The functions whose calls are kept, by name (from any thread); the others are replayed
  /// without their calls.
  using CallsWanted = std::function<bool(std::string_view name)>;

  /// More work on a source, done by the thread that scanned it: its index among the paths, the
  /// text, its definitions (as they end, in text order) and a result kept with the source
  /// (empty, or what the same hook left for an earlier source, to be reused).
  using AfterScan =
      std::function<void(size_t source, std::string_view text,
                         const std::vector<CFunction>& definitions, std::any& result)>;

  /// The texts of a call as the caller logs and records them, made ahead by the thread that
  /// scanned its source: CLineText and CCallArguments. Valid until the next call of Next.
  struct CallTexts {
    std::string_view line;
    std::vector<std::string_view> arguments;
  };

  /// `workers` threads read and scan ahead; with 0, each source is read and scanned when it is
  /// asked for. Without `callsWanted` every call is kept. With `textsWanted`, the workers make
  /// the header text of each definition whose name it accepts and the texts of the kept calls
  /// in its body whose names it accepts (see Texts and HeaderText).
  CSourcePipeline(std::vector<std::string> paths, unsigned workers,
                  CallsWanted callsWanted = nullptr, AfterScan afterScan = nullptr,
                  CallsWanted textsWanted = nullptr);
  /// Stops the workers; sources not asked for are dropped.
  ~CSourcePipeline();
  CSourcePipeline(const CSourcePipeline&) = delete;
  CSourcePipeline& operator=(const CSourcePipeline&) = delete;

  /// The next source in the order given (at most as many calls as paths). It and what Replay
  /// gives stay valid until the next call.
  const Source& Next();
  /// Gives what was found in the source Next returned last to `visitor`, in text order, as
  /// CSourceScanner::Scan would.
  void Replay(CSourceVisitor& visitor) const;
  /// What the AfterScan hook left for the source Next returned last.
  const std::any& AfterScanResult() const;
  /// During Replay, in OnCall: the texts made ahead for the call, or false when there are none
  /// (`textsWanted` refused its name). `texts` is filled either way.
  bool Texts(CallTexts& texts) const;
  /// During Replay, in OnFunctionStart: the header text made ahead for the definition (as
  /// CHeaderText), or false when there is none.
  bool HeaderText(std::string_view& header) const;

  /// One worker per hardware thread when there are two or more, else none.
  static unsigned DefaultWorkers();

 private:
  struct Finding;
  struct PackedCCall;
  struct Slot;
  class Recorder;

  void Work();
  // Whether the sources from `index` on are filled, as many as a waiting caller waits for.
  bool FilledFrom(size_t index) const;
  void Fill(Slot& slot, size_t index, CSourceScanner& scanner);

  std::vector<std::string> paths_;
  CallsWanted callsWanted_;
  AfterScan afterScan_;
  std::vector<std::unique_ptr<Slot>> slots_;  // source i in slot i % size
  size_t next_ = 0;                           // the index Next gives next
  CSourceScanner scanner_;                    // without workers
  const Slot* current_ = nullptr;
  CallsWanted textsWanted_;
  // What Replay is giving to its visitor, for Texts and HeaderText.
  mutable const PackedCCall* replayedCall_ = nullptr;
  mutable const Finding* replayedFinding_ = nullptr;

  std::mutex mutex_;
  std::condition_variable filled_;
  std::condition_variable freed_;
  size_t taken_ = 0;  // sources taken by workers
  size_t inUse_ = 0;  // the source in use by the caller (sources before it are done with)
  bool stop_ = false;
  bool callerWaiting_ = false;
  int workersWaiting_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace quillmap
