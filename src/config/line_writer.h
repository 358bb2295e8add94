/// The line writer through which every output file is written: one call per line, the first
/// line of a file in a run truncates it, later lines append; each line ends in CR LF.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>

#include "config/text_utils.h"

namespace quillmap {

/// Writes output lines and remembers which outputs could not be written in the current run.
class LineWriter {
 public:
  virtual ~LineWriter() = default;

  /// Writes `text` and a line end to `path`: truncating the file first when `truncate` is set,
  /// else appending (creating a missing file). Returns true when the line was written. An empty
  /// path writes nothing and is not a failure.
  bool WriteLine(const std::string& path, std::string_view text, bool truncate);

  /// Starts a run: forgets the failures of the previous one.
  virtual void BeginRun();
  /// Finishes the run's writing (for writers that hold data back); called before the failures
  /// are reported.
  virtual void EndRun() {}

  /// The non-empty paths that could not be written in this run, in the order of first failure.
  const StringList& FailedPaths() const { return failedPaths_; }

 protected:
  /// Writes one line to a non-empty path; false on any failure (open, write or close).
  virtual bool WriteLineTo(const std::string& path, std::string_view text, bool truncate) = 0;
  void RecordFailure(const std::string& path);

 private:
  StringList failedPaths_;
  std::unordered_set<std::string> failedSet_;
};

/// The line as it stands on disk: every line feed of `text` as CR LF, then CR LF.
std::string OnDiskLine(std::string_view text);

/// Opens, writes and closes the file for every line.
class PerLineWriter : public LineWriter {
 protected:
  bool WriteLineTo(const std::string& path, std::string_view text, bool truncate) override;

  // The three steps of one line, each a seam where fault-injection tests make it fail.
  /// Opens `path` for writing, truncating or appending; nullptr on failure.
  virtual std::FILE* OpenFile(const std::string& path, bool truncate);
  /// Writes and flushes `bytes`; false when not all of them reached the file.
  virtual bool WriteBytes(std::FILE* file, std::string_view bytes);
  /// Closes the file (always); false when closing failed.
  virtual bool CloseFile(std::FILE* file);
};

}  // namespace quillmap
