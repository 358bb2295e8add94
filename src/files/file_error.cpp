#include "files/file_error.h"

#include <cerrno>
#include <string_view>

namespace quillmap {

namespace {
constexpr const char* kNotFoundFormat = "%1 was not found.";
constexpr const char* kAccessDeniedFormat = "Access to %1 was denied.";
constexpr const char* kGenericFormat = "An unexpected file error occurred while accessing %1.";
}  // namespace

std::string FileErrorMessage(const std::string& path, FileError::Cause cause) {
  const std::string_view format = cause == FileError::Cause::kNotFound       ? kNotFoundFormat
                                  : cause == FileError::Cause::kAccessDenied ? kAccessDeniedFormat
                                                                             : kGenericFormat;
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
    default:
      return Cause::kGeneric;
  }
}

}  // namespace quillmap
