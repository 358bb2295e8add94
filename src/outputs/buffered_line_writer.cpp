#include "outputs/buffered_line_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace quillmap {

BufferedLineWriter::BufferedLineWriter(size_t flushSize) : flushSize_(flushSize) {}

BufferedLineWriter::~BufferedLineWriter() { AbandonRun(); }

bool BufferedLineWriter::Open(Output& output, bool truncate) {
  if (output.fd >= 0) return true;
  output.fd = OpenFile(output.target, truncate);
  return output.fd >= 0;
}

bool BufferedLineWriter::WriteLineTo(Output& output, std::string_view text, bool truncate) {
  if (!Open(output, truncate)) return false;
  if (output.pending.empty()) output.pendingSequence = lineSequence();
  AppendOnDiskLine(output.pending, text);
  // A failed block is reported at its first line (by Flush); this line was taken.
  if (output.pending.size() >= flushSize_) Flush(output);
  return true;
}

bool BufferedLineWriter::WriteOnDiskLinesTo(Output& output, std::string_view lines) {
  if (!Open(output, false)) return false;
  if (output.pending.size() + lines.size() < flushSize_) {
    if (output.pending.empty()) output.pendingSequence = lineSequence();
    output.pending.append(lines);
    return true;
  }
  // A large block goes to the file as it is, after what was held back before it.
  if (!Flush(output)) return true;  // reported by Flush at its first line
  return WriteBytes(output.fd, lines);
}

bool BufferedLineWriter::Flush(Output& output) {
  if (output.pending.empty()) return true;
  const bool written = WriteBytes(output.fd, output.pending);
  output.pending.clear();
  if (!written) {
    // Written line by line, the first line of this block would have been the first to fail.
    output.failed = true;
    RecordFailure(*output.path, output.pendingSequence);
  }
  return written;
}

bool BufferedLineWriter::FinishOutput(Output& output) {
  if (output.fd < 0) return true;
  bool finished = Flush(output);
  if (!CloseFile(output.fd) && finished) {
    RecordFailure(*output.path, output.firstSequence);
    finished = false;
  }
  output.fd = -1;
  return finished;
}

void BufferedLineWriter::DropOutput(Output& output) {
  output.pending.clear();
  if (output.fd >= 0) CloseFile(output.fd);
  output.fd = -1;
}

int BufferedLineWriter::OpenFile(const OutputTarget& target, bool truncate) {
  return OpenOutputDescriptor(target, truncate);
}

bool BufferedLineWriter::WriteBytes(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool BufferedLineWriter::CloseFile(int fd) { return close(fd) == 0; }

}  // namespace quillmap
