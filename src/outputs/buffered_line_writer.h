/// A line writer that opens each output file once per run and writes its lines in large blocks,
/// with the file contents, the interleaving of outputs that share a file and the reported
/// failures of the writer that opens, writes and closes the file for every line.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "outputs/line_writer.h"

namespace quillmap {

class BufferedLineWriter : public LineWriter {
 public:
  /// `flushSize`: a file's held-back bytes are written once they reach this size.
  explicit BufferedLineWriter(size_t flushSize = kDefaultFlushSize);
  ~BufferedLineWriter() override;
  BufferedLineWriter(const BufferedLineWriter&) = delete;
  BufferedLineWriter& operator=(const BufferedLineWriter&) = delete;

  static constexpr size_t kDefaultFlushSize = 1 << 20;

  /// Writes out and closes what an unfinished run left open, then starts a new run.
  void BeginRun() override;
  /// Writes every held-back line and closes every file of the run.
  void EndRun() override;

 protected:
  bool WriteLineTo(const std::string& path, std::string_view text, bool truncate) override;
  bool WriteOnDiskLinesTo(const std::string& path, std::string_view lines) override;

  // The file operations, each a seam where tests count or fail them.
  /// Opens `path` for appending, emptying it first when `truncate` is set; -1 on failure.
  virtual int OpenFile(const std::string& path, bool truncate);
  /// Writes all of `bytes`; false when not all of them reached the file.
  virtual bool WriteBytes(int fd, std::string_view bytes);
  /// Empties the open file.
  virtual bool TruncateFile(int fd);
  /// Closes the file (always); false when closing reported an error.
  virtual bool CloseFile(int fd);

 private:
  // One output file of the run, whatever paths name it.
  struct OutputFile {
    int fd = -1;
    bool opened = false;
    bool failed = false;
    std::string pending;  // held-back bytes, on-disk form
    // The paths whose lines are in `pending`, each with the number of its first line there: a
    // failed write fails them at that line, as writing line by line would have.
    std::vector<std::pair<const std::string*, uint64_t>> pendingPaths;
    const std::string* firstPath = nullptr;  // path and number of the run's first line
    uint64_t firstSequence = 0;
  };
  // A path as the callers write it, and the file it names.
  struct PathEntry {
    const std::string* path = nullptr;
    OutputFile* file = nullptr;
  };

  PathEntry& EntryFor(const std::string& path);
  // Opens the entry's file for its first line; false when it cannot be opened.
  bool OpenForFirstLine(PathEntry& entry, bool truncate);
  // The open file for a line of `entry` (truncated first when `truncate` is set), with the line
  // counted in its pending paths; nullptr when the line fails.
  OutputFile* FileForLine(PathEntry& entry, bool truncate);
  void Flush(OutputFile& file);
  void CloseAll();

  size_t flushSize_;
  std::vector<std::unique_ptr<OutputFile>> files_;
  std::unordered_map<std::string, PathEntry> paths_;
  std::unordered_map<std::string, OutputFile*> filesByCanonicalPath_;
  std::map<std::pair<dev_t, ino_t>, OutputFile*> filesByIdentity_;
  PathEntry* lastEntry_ = nullptr;
};

}  // namespace quillmap
