/// An activity log that holds its entries back and hands them on later, in their order and with
/// their kinds (plain, error, replace), so that a stage can run before a stage whose entries
/// must come first. Entries beyond a few megabytes wait in an unnamed temporary file, so that
/// a whole tree's entries cost disk pages, not memory.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "context/scan_context.h"

namespace quillmap {

class DeferredLog : public ActivityLog {
 public:
  /// `memoryBytes`: how much is held in memory before entries go to the temporary file.
  explicit DeferredLog(size_t memoryBytes = size_t{4} << 20);
  ~DeferredLog() override;
  DeferredLog(const DeferredLog&) = delete;
  DeferredLog& operator=(const DeferredLog&) = delete;

  void AppendLog(const std::string& text, bool replace) override;
  void AppendErrorEntry(const std::string& text) override;

  /// Gives every entry held so far to `log`, in order, and holds none afterwards.
  void HandOn(ActivityLog& log);
  /// Gives `log` the error entries and the replacing ones held so far and the last `lastPlain`
  /// plain entries, in order, with `leftOut(count)` in the place of the plain entries left
  /// out (when there are any); holds none afterwards. For a run that was stopped, whose host
  /// waits: a whole tree's entries would take it seconds to take in.
  void HandOnLast(ActivityLog& log, size_t lastPlain,
                  const std::function<std::string(size_t)>& leftOut);

 private:
  enum Kind : char { kPlain = 'p', kReplace = 'r', kError = 'e' };
  // Calls `visit` with every entry held, in order, and holds none afterwards.
  void ForEach(const std::function<void(Kind, const std::string&)>& visit);
  void Put(Kind kind, std::string_view text);
  // Writes what memory holds to the file; false when there is no file.
  bool Spill();
  static void Give(ActivityLog& log, Kind kind, const std::string& text);

  size_t memoryBytes_;
  std::string held_;  // records: kind, 8-byte length, text
  std::FILE* file_ = nullptr;
  bool fileFailed_ = false;  // no file could be made, or it could take no more
  size_t fileBytes_ = 0;     // what the file holds
  size_t plainEntries_ = 0;  // of all held
};

}  // namespace quillmap
