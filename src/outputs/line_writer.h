/// The line writer through which every output file is written: one call per line, the first
/// line of an output in a run starts it afresh, later lines append; each line ends in CR LF. A
/// regular output replaces its old file only when the run has written it whole.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "outputs/output_replacement.h"
#include "text/text_utils.h"

namespace quillmap {

/// Writes output lines and remembers which outputs could not be written in the current run.
class LineWriter {
 public:
  virtual ~LineWriter();

  /// Writes `text` and a line end to `path`: its first line in a run starts the output empty
  /// when `truncate` is set, else after the file's old contents; later lines append. Returns
  /// true when the line was written (or, for a writer that holds lines back, accepted). An
  /// empty path writes nothing and is not a failure. Refused, and failing with all its lines:
  /// a path that IsUnusablePath, a protected file, a file that another path of the run writes
  /// already (the first keeps it), and a second truncating line of a regular file's path with
  /// all lines after it (a second output given the same path: the first output, written
  /// before it, keeps the file). Until the run ends, a regular file keeps its old contents.
  bool WriteLine(const std::string& path, std::string_view text, bool truncate);

  /// Appends whole lines given in their on-disk form: each ends in CR LF, and none holds a line
  /// feed of its own. Puts on disk what one WriteLine(path, line, false) per line would; for the
  /// order of failures the block counts as one line. For writers of many lines in large blocks.
  bool WriteOnDiskLines(const std::string& path, std::string_view lines);

  /// Starts a run: discards what an unfinished run wrote (its old files stay), forgets the
  /// failures and the protected files of the previous one.
  void BeginRun();
  /// Finishes the run: every output written whole replaces its old file; the temporary file of
  /// an output that failed is removed and its old file stays. Called before the failures are
  /// reported.
  void EndRun();
  /// Ends a run that was stopped before its outputs were complete (or an internal failure)
  /// without replacing any file: the old files stay.
  void AbandonRun();

  /// Files that this run must not destroy (the configuration, the sources, the file the log
  /// goes to): a line for any of them, however its path is written, fails instead of being
  /// written. Compared by file identity (device and inode), and by canonical path for files
  /// that do not exist. Until the next BeginRun.
  void Protect(const StringList& paths);

  /// The one rule for a file that the run writes outside the line writer (the JSON export, the
  /// baseline, the pictures): true when `path` may be written, and from then on it counts as an
  /// output of the run. False for a path that the lines of an output could not use either: one
  /// that IsUnusablePath, a protected file, or a file that another output of the run writes or
  /// wrote (by file identity or by the canonical path of the file its links end at). A device
  /// or a pipe may take several outputs, as it does for lines. Until the next BeginRun.
  bool ClaimFile(const std::string& path);

  /// The non-empty paths that could not be written in this run, in the order of the line at
  /// which each first failed.
  const StringList& FailedPaths() const { return failedPaths_; }

 protected:
  /// One output of a run, named by one path.
  struct Output {
    const std::string* path = nullptr;  // as the callers write it
    OutputTarget target;                // where its lines go
    bool failed = false;                // refused, or a line failed: it replaces nothing
    bool closed = false;                // a later output of its name began: its lines fail
    uint64_t firstSequence = 0;         // its first line in the run
    // For writers that keep the file open and hold lines back.
    int fd = -1;
    std::string pending;           // held-back bytes, on-disk form
    uint64_t pendingSequence = 0;  // the first line among them
  };

  /// Makes an output ready for its first line; false when it cannot be written. By default on
  /// disk (PrepareOutput); a writer that keeps its files elsewhere leaves `target` streamed.
  virtual bool PrepareTarget(const std::string& path, bool keepContents, OutputTarget& target) {
    return PrepareOutput(path, keepContents, target);
  }
  /// Writes one line of a ready output; false on any failure.
  virtual bool WriteLineTo(Output& output, std::string_view text, bool truncate) = 0;
  /// Appends lines in their on-disk form; false on any failure. By default one WriteLineTo per
  /// line.
  virtual bool WriteOnDiskLinesTo(Output& output, std::string_view lines);
  /// Writes what is held back for an output and closes it; false (with the failure recorded by
  /// RecordFailure) when that failed.
  virtual bool FinishOutput(Output&) { return true; }
  /// Closes an output whose contents are not wanted.
  virtual void DropOutput(Output&) {}

  /// Records that `path` failed at line `sequence` of the run. A path is listed once, at the
  /// earliest line reported for it, so a writer may report a failure after later lines.
  void RecordFailure(const std::string& path, uint64_t sequence);
  /// The number of the line being written, counted from 1 in each run.
  uint64_t lineSequence() const { return lineSequence_; }

 private:
  // The output for a line to `path`, prepared at its first line; nullptr when the line fails.
  Output* OutputFor(const std::string& path, bool truncate);
  Output* StartOutput(const std::string& path, bool truncate);
  void Fail(Output& output);
  void FinishRun(bool keep);

  struct Failure {
    uint64_t sequence;
    std::string path;
  };

  uint64_t lineSequence_ = 0;
  std::vector<Failure> failures_;                   // ordered by sequence
  StringList failedPaths_;                          // the paths of failures_, in the same order
  std::unordered_set<std::string> protectedFiles_;  // FileIdentityOf each protected path
  std::vector<std::unique_ptr<Output>> outputs_;    // in the order of their first lines
  std::unordered_map<std::string, Output*> outputsByPath_;
  std::unordered_map<std::string, Output*> outputsByIdentity_;
  // The canonical final paths of the run's regular outputs, written or under way, and the
  // identities of the files written.
  std::unordered_set<std::string> claimedPaths_;
  Output* lastOutput_ = nullptr;
};

/// The line as it stands on disk: every line feed of `text` as CR LF, then CR LF.
std::string OnDiskLine(std::string_view text);
/// Appends OnDiskLine(text) to `out`.
void AppendOnDiskLine(std::string& out, std::string_view text);

/// Opens, writes and closes the file for every line: the straightforward writer that the
/// buffered one is compared against.
class PerLineWriter : public LineWriter {
 protected:
  bool WriteLineTo(Output& output, std::string_view text, bool truncate) override;

  // The three steps of one line, each a seam where fault-injection tests make it fail.
  /// Opens the output for writing, truncating or appending; nullptr on failure.
  virtual std::FILE* OpenFile(const OutputTarget& target, bool truncate);
  /// Writes and flushes `bytes`; false when not all of them reached the file.
  virtual bool WriteBytes(std::FILE* file, std::string_view bytes);
  /// Closes the file (always); false when closing failed.
  virtual bool CloseFile(std::FILE* file);
};

}  // namespace quillmap
