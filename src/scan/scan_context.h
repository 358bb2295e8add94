/// What a scan borrows from its host: the configuration reader, the output line writer and the
/// activity log, plus the record of errors the run reported.
#pragma once

#include <string>

#include "config/profile_reader.h"
#include "outputs/line_writer.h"

namespace quillmap {

/// Log entry (and output text) for a source file that cannot be opened.
inline std::string ErrorOpeningText(const std::string& path) { return "error opening: " + path; }
/// Log entry (and output text) for a source file whose reading failed after it was opened.
inline std::string ErrorReadingText(const std::string& path) { return "error reading: " + path; }
/// Log entry for an output file that could not be written.
inline std::string ErrorWritingText(const std::string& path) { return "error writing: " + path; }

/// The one reporting channel of every subsystem.
class ActivityLog {
 public:
  virtual ~ActivityLog() = default;
  /// Appends one entry (after CR LF when the log is not empty), or replaces the whole log.
  virtual void AppendLog(const std::string& text, bool replace) = 0;
};

class ScanContext {
 public:
  ScanContext(ProfileReader& profile, LineWriter& writer, ActivityLog& log)
      : profile_(profile), writer_(writer), log_(log) {}

  ProfileReader& profile() { return profile_; }
  LineWriter& writer() { return writer_; }
  void Log(const std::string& entry) { log_.AppendLog(entry, false); }

  /// Records that the run reported an error (it then does not count as a success).
  void NoteError() { errorReported_ = true; }
  bool errorReported() const { return errorReported_; }
  void ResetErrors() { errorReported_ = false; }

 private:
  ProfileReader& profile_;
  LineWriter& writer_;
  ActivityLog& log_;
  bool errorReported_ = false;
};

}  // namespace quillmap
