/// How an output file of a run reaches the disk: a regular file (or a new one) is written to a
/// temporary file in its own folder that replaces it once it is complete, so that an output is
/// never seen cut; anything else (a terminal, a pipe, a device) is written as a stream.
/// The temporary file is made, given its owner and permission bits and renamed through
/// descriptors (of the file and of its folder, opened once) and never opened again by name: the
/// owner of an output folder cannot swap it for a link to a file that the run may write.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace quillmap {

/// Where the lines of one output go during a run.
struct OutputTarget {
  bool replaced = false;  // written to `fd`, a temporary file, then renamed
  std::string writePath;  // the temporary file (for messages), or the output itself when streamed
  int fd = -1;            // the temporary file, open until committed or discarded
  int folderFd = -1;      // the folder of `finalPath`, in which both names are taken
  std::string temporaryName;  // the temporary file's name in that folder
  std::string finalName;      // the output's name in that folder
  std::string finalPath;      // the file the temporary file replaces (symbolic links followed)
  std::string identity;       // the same for every path that names one file
  mode_t mode = 0;            // permission bits the replacement gets
  bool existed = false;       // `finalPath` was an existing file
  uid_t owner = 0;
  gid_t group = 0;
};

/// The text by which `path` names a file: device and inode of an existing file (links
/// followed), else its canonical path. Equal for every way of writing one file's path.
std::string FileIdentityOf(const std::string& path);

/// The file that `path` ends at with its symbolic links followed (it may not exist).
std::string FinalPathOf(const std::string& path);

/// Opens a new descriptor on the output for writing at its end: on the temporary file of a
/// replaced output, on `writePath` of a streamed one (emptied first with `truncate`); -1 on
/// failure.
int OpenOutputDescriptor(const OutputTarget& target, bool truncate);

/// OpenOutputDescriptor(target, true) as a stream for writing; nullptr on failure.
std::FILE* OpenOutputFile(const OutputTarget& target);

/// Writes `text` as the whole new contents of the output `path` (prepared, written through its
/// descriptor and committed as every output is). False when it cannot be written.
bool WriteWholeOutput(const std::string& path, std::string_view text);

/// Prepares `path` for a run's lines: a stream that can be opened without waiting (a FIFO
/// without a reader is refused), or a new temporary file beside the file that the path names,
/// which must itself be writable when it exists. With `keepContents` the temporary file starts
/// with the existing file's bytes. False when the output cannot be written.
bool PrepareOutput(const std::string& path, bool keepContents, OutputTarget& target);

/// Gives the temporary file of a complete output the existing file's permission bits (and
/// owner, where allowed) and renames it over that file. False when that failed; the temporary
/// file is gone either way. A streamed output needs nothing.
bool CommitOutput(OutputTarget& target);

/// Removes the temporary file of an output that is not to replace the old one.
void DiscardOutput(OutputTarget& target);

/// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of the outputs under way before
/// the process ends by the signal, so that a stopped run leaves the old outputs as they were.
void RemoveTemporaryOutputsOnTermination();

/// Makes the termination signals end the process group `group` of a child that works for the
/// run (the layout of a picture) with the process, or (`ended` false) no longer. False when
/// too many groups are watched already.
bool SetChildGroupEndedOnTermination(pid_t group, bool ended);

}  // namespace quillmap
