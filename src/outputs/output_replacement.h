/// How an output file of a run reaches the disk: a regular file (or a new one) is written to a
/// temporary file in its own folder that replaces it once it is complete, so that an output is
/// never seen cut; anything else (a terminal, a pipe, a device) is written as a stream.
#pragma once

#include <sys/types.h>

#include <string>

namespace quillmap {

/// Where the lines of one output go during a run.
struct OutputTarget {
  bool replaced = false;  // written to `writePath`, a temporary file, then renamed
  std::string writePath;  // the temporary file, or the output itself when streamed
  std::string finalPath;  // the file the temporary file replaces (symbolic links followed)
  std::string identity;   // the same for every path that names one file
  mode_t mode = 0;        // permission bits the replacement gets
  bool existed = false;   // `finalPath` was an existing file
  uid_t owner = 0;
  gid_t group = 0;
};

/// The text by which `path` names a file: device and inode of an existing file (links
/// followed), else its canonical path. Equal for every way of writing one file's path.
std::string FileIdentityOf(const std::string& path);

/// Prepares `path` for a run's lines: a stream that can be opened without waiting (a FIFO
/// without a reader is refused), or a new temporary file beside the file that the path names,
/// which must itself be writable when it exists. With `keepContents` the temporary file starts
/// with the existing file's bytes. False when the output cannot be written.
bool PrepareOutput(const std::string& path, bool keepContents, OutputTarget& target);

/// Gives the temporary file of a complete output the existing file's permission bits (and
/// owner, where allowed) and renames it over that file. False when that failed; the temporary
/// file is gone either way. A streamed output needs nothing.
bool CommitOutput(const OutputTarget& target);

/// Removes the temporary file of an output that is not to replace the old one.
void DiscardOutput(const OutputTarget& target);

/// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of the outputs under way before
/// the process ends by the signal, so that a stopped run leaves the old outputs as they were.
void RemoveTemporaryOutputsOnTermination();

}  // namespace quillmap
