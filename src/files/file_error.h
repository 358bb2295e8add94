/// The one error that travels as an exception: a file that must exist cannot be opened.
#pragma once

#include <stdexcept>
#include <string>

namespace quillmap {

class FileError : public std::runtime_error {
 public:
  enum class Cause { kNotFound, kAccessDenied, kGeneric, kNotRegularFile, kPathTooLong };

  FileError(std::string path, Cause cause);
  /// The cause that matches an errno value of a failed open.
  static Cause CauseOf(int errorNumber);

  const std::string& path() const { return path_; }
  Cause cause() const { return cause_; }

 private:
  std::string path_;
  Cause cause_;
};

/// Log entry (and output text) for a source file or a folder of sources that cannot be opened.
inline std::string ErrorOpeningText(const std::string& path) { return "error opening: " + path; }

/// The user-facing message, e.g. "a.cfg was not found.".
std::string FileErrorMessage(const std::string& path, FileError::Cause cause);

}  // namespace quillmap
