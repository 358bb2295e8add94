/// The line writer through which every output file is written: one call per line, the first
/// line of a file in a run truncates it, later lines append; each line ends in CR LF.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "text/text_utils.h"

namespace quillmap {

/// Writes output lines and remembers which outputs could not be written in the current run.
class LineWriter {
 public:
  virtual ~LineWriter() = default;

  /// Writes `text` and a line end to `path`: truncating the file first when `truncate` is set,
  /// else appending (creating a missing file). Returns true when the line was written (or, for a
  /// writer that holds lines back, accepted). An empty path writes nothing and is not a failure.
  /// A protected file is not written: the line fails.
  bool WriteLine(const std::string& path, std::string_view text, bool truncate);

  /// Appends whole lines given in their on-disk form: each ends in CR LF, and none holds a line
  /// feed of its own. Puts on disk what one WriteLine(path, line, false) per line would; for the
  /// order of failures the block counts as one line. For writers of many lines in large blocks.
  bool WriteOnDiskLines(const std::string& path, std::string_view lines);

  /// Starts a run: forgets the failures and the protected files of the previous one.
  virtual void BeginRun();
  /// Finishes the run's writing (for writers that hold data back); called before the failures
  /// are reported.
  virtual void EndRun() {}
  /// Ends a run that was stopped before its outputs were complete. A writer that replaces its
  /// outputs whole leaves the previous ones as they were; by default the run just ends.
  virtual void AbandonRun() { EndRun(); }

  /// Files that this run reads and must not destroy (the configuration, the sources): a line for
  /// any of them, however its path is written, fails instead of being written. Compared by file
  /// identity (device and inode), and by canonical path for files that do not exist. Until the
  /// next BeginRun.
  void Protect(const StringList& paths);

  /// The non-empty paths that could not be written in this run, in the order of the line at
  /// which each first failed.
  const StringList& FailedPaths() const { return failedPaths_; }

 protected:
  /// Writes one line to a non-empty path; false on any failure (open, write or close).
  virtual bool WriteLineTo(const std::string& path, std::string_view text, bool truncate) = 0;
  /// Appends lines in their on-disk form to a non-empty path; false on any failure. By default
  /// one WriteLineTo per line.
  virtual bool WriteOnDiskLinesTo(const std::string& path, std::string_view lines);
  /// Records that `path` failed at line `sequence` of the run. A path is listed once, at the
  /// earliest line reported for it, so a writer may report a failure after later lines.
  void RecordFailure(const std::string& path, uint64_t sequence);
  /// The number of the line being written, counted from 1 in each run.
  uint64_t lineSequence() const { return lineSequence_; }

 private:
  bool IsProtected(const std::string& path);

  struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
  };
  struct FileIdentityHash {
    size_t operator()(const FileIdentity& identity) const {
      return std::hash<uint64_t>()(static_cast<uint64_t>(identity.inode) * 31 +
                                   static_cast<uint64_t>(identity.device));
    }
  };
  struct Failure {
    uint64_t sequence;
    std::string path;
  };

  uint64_t lineSequence_ = 0;
  std::vector<Failure> failures_;  // ordered by sequence
  StringList failedPaths_;         // the paths of failures_, in the same order
  bool protecting_ = false;
  // The protected files that exist, by identity; those that do not, by canonical path (a path
  // that names an existing file cannot name a missing one, and the other way round).
  std::unordered_set<FileIdentity, FileIdentityHash> protectedFiles_;
  std::unordered_set<std::string> protectedMissingPaths_;
  std::unordered_map<std::string, bool> protectedByPath_;  // the answer for each path seen
  const std::string* lastJudged_ = nullptr;                // a key of protectedByPath_
  bool lastJudgement_ = false;
};

/// The line as it stands on disk: every line feed of `text` as CR LF, then CR LF.
std::string OnDiskLine(std::string_view text);
/// Appends OnDiskLine(text) to `out`.
void AppendOnDiskLine(std::string& out, std::string_view text);

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
