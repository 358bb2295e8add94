/// Where files are: the work path, the folder of the configuration, and configured paths made
/// into paths relative to that folder.
#pragma once

#include <string>
#include <string_view>

namespace quillmap {

/// Longest value the configuration reader returns: a longer one is cut to this length.
inline constexpr size_t kMaxConfiguredValueLength = 2999;

/// The current directory at start-up followed by "/"; set once by start-up.
const std::string& WorkPath();
void SetWorkPath(std::string path);
/// The process's current directory followed by "/" ("" when it cannot be read).
std::string CurrentDirectoryPath();

/// True for a path that needs no completion: it begins with "/" or holds a drive ':'.
bool IsAbsolutePath(std::string_view path);

/// The absolute, lexically normalised form of `path` (no "." or ".." parts, no doubled "/";
/// symlinks are not resolved). A relative path is taken from the current directory.
std::string FullPathOf(std::string_view path);

/// The name by which the file at `path` is known however it is written: absolute, with the
/// symbolic links of its folder resolved when the folder exists, lexically normalised otherwise.
/// Two paths that give the same result name the same file ("a/../out.dot" and "out.dot"); the
/// file itself may still be a link to another one.
std::string CanonicalFilePath(std::string_view path);

/// The folder of an existing, readable regular file, as an absolute path ending in "/". Throws
/// FileError when the file cannot be opened for reading, is a directory or not a regular file
/// (a FIFO is not waited for), or its full path is too long for the system.
std::string DirectoryOf(const std::string& path);

/// Opens `path` for reading and closes it again; throws FileError as DirectoryOf does.
void CheckReadableFile(const std::string& path);

/// A configured file name made into the path to use: backslashes become "/"; an empty value
/// stays empty; a value beginning with "/" or holding ':' is used as it is; any other value is
/// appended to `directory` (which ends in "/"). The path of a value of kMaxConfiguredValueLength
/// or more (it may have been cut) is remembered as unusable (IsUnusablePath).
std::string ResolvePath(std::string_view value, std::string_view directory);

/// True for a path that no file operation may use (an output is reported as "error writing", a
/// source as "error opening"): it holds a NUL byte, so the system would see a shorter name, or
/// ResolvePath made it from a value that may have been cut.
bool IsUnusablePath(std::string_view path);

}  // namespace quillmap
