#include "files/file_error.h"

#include <cerrno>
#include <string_view>

namespace quillmap {

namespace {
constexpr const char* kNotFoundFormat = "%1 was not found.";
constexpr const char* kAccessDeniedFormat = "Access to %1 was denied.";
constexpr const char* kGenericFormat = "An unexpected file error occurred while accessing %1.";
constexpr const char* kNotRegularFileFormat = "error opening: %1 (not a regular file)";
constexpr const char* kPathTooLongFormat = "The path of %1 is too long for the system.";

std::string_view FormatOf(FileError::Cause cause) {
  switch (cause) {
    case FileError::Cause::kNotFound:
      return kNotFoundFormat;
    case FileError::Cause::kAccessDenied:
      return kAccessDeniedFormat;
    case FileError::Cause::kNotRegularFile:
      return kNotRegularFileFormat;
    case FileError::Cause::kPathTooLong:
      return kPathTooLongFormat;
    case FileError::Cause::kGeneric:
      break;
  }
  return kGenericFormat;
}
}  // namespace

std::string FileErrorMessage(const std::string& path, FileError::Cause cause) {
  const std::string_view format = FormatOf(cause);
  const size_t slot = format.find("%1");
  return std::string(format.substr(0, slot)) + path + std::string(format.substr(slot + 2));
}

FileError::FileError(std::string path, Cause cause)
    : std::runtime_error(FileErrorMessage(path, cause)), path_(std::move(path)), cause_(cause) {}

FileError::Cause FileError::CauseOf(int errorNumber) {
  switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
      return Cause::kNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return Cause::kAccessDenied;
    case ENAMETOOLONG:
      return Cause::kPathTooLong;
    default:
      return Cause::kGeneric;
  }
}

}  // namespace quillmap
