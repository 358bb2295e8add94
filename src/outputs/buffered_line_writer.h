/// A line writer that opens each output file once per run and writes its lines in large blocks,
/// with the file contents and the reported failures of the writer that opens, writes and closes
/// the file for every line.
#pragma once

#include <string>
#include <string_view>

#include "outputs/line_writer.h"

namespace quillmap {

class BufferedLineWriter : public LineWriter {
 public:
  /// `flushSize`: an output's held-back bytes are written once they reach this size.
  explicit BufferedLineWriter(size_t flushSize = kDefaultFlushSize);
  /// Abandons an unfinished run: its old files stay.
  ~BufferedLineWriter() override;
  BufferedLineWriter(const BufferedLineWriter&) = delete;
  BufferedLineWriter& operator=(const BufferedLineWriter&) = delete;

  static constexpr size_t kDefaultFlushSize = 1 << 20;

 protected:
  bool WriteLineTo(Output& output, std::string_view text, bool truncate) override;
  bool WriteOnDiskLinesTo(Output& output, std::string_view lines) override;
  bool FinishOutput(Output& output) override;
  void DropOutput(Output& output) override;

  // The file operations, each a seam where tests count or fail them.
  /// Opens the output for appending, emptying it first when `truncate` is set; -1 on failure.
  virtual int OpenFile(const OutputTarget& target, bool truncate);
  /// Writes all of `bytes`; false when not all of them reached the file.
  virtual bool WriteBytes(int fd, std::string_view bytes);
  /// Closes the file (always); false when closing reported an error.
  virtual bool CloseFile(int fd);

 private:
  // The output's file, opened at its first line; false when it cannot be opened.
  bool Open(Output& output, bool truncate);
  // Writes the held-back bytes; false (failure recorded at their first line) when that failed.
  bool Flush(Output& output);

  size_t flushSize_;
};

}  // namespace quillmap
