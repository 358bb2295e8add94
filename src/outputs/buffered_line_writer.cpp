#include "outputs/buffered_line_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "files/paths.h"

namespace quillmap {

BufferedLineWriter::BufferedLineWriter(size_t flushSize) : flushSize_(flushSize) {}

BufferedLineWriter::~BufferedLineWriter() { CloseAll(); }

void BufferedLineWriter::BeginRun() {
  CloseAll();
  LineWriter::BeginRun();
}

void BufferedLineWriter::EndRun() { CloseAll(); }

BufferedLineWriter::PathEntry& BufferedLineWriter::EntryFor(const std::string& path) {
  if (lastEntry_ != nullptr && *lastEntry_->path == path) return *lastEntry_;
  auto [it, inserted] = paths_.try_emplace(path);
  PathEntry& entry = it->second;
  if (inserted) {
    entry.path = &it->first;
    // "out.dot" and "a/../out.dot" are one file: their lines go through one buffer, so they
    // interleave as they were written.
    OutputFile*& file = filesByCanonicalPath_[CanonicalFilePath(path)];
    if (file == nullptr) {
      files_.push_back(std::make_unique<OutputFile>());
      file = files_.back().get();
    }
    entry.file = file;
  }
  lastEntry_ = &entry;
  return entry;
}

bool BufferedLineWriter::OpenForFirstLine(PathEntry& entry, bool truncate) {
  OutputFile& file = *entry.file;
  file.opened = true;
  const int fd = OpenFile(*entry.path, truncate);
  if (fd < 0) {
    // Lines written one by one would each try again; here the file stays closed for the run and
    // each of its lines fails as the reopened file would have.
    file.failed = true;
    return false;
  }
  struct stat status {};
  if (fstat(fd, &status) == 0) {
    const auto identity = std::make_pair(status.st_dev, status.st_ino);
    const auto known = filesByIdentity_.find(identity);
    if (known == filesByIdentity_.end()) {
      filesByIdentity_.emplace(identity, &file);
    } else if (known->second != &file) {
      // A second name (a link) of a file that is open already: its lines join that file's.
      CloseFile(fd);
      OutputFile& other = *known->second;
      for (auto& [canonical, named] : filesByCanonicalPath_) {
        if (named == &file) named = &other;
      }
      for (auto& [path, pathEntry] : paths_) {
        if (pathEntry.file == &file) pathEntry.file = &other;
      }
      if (truncate && !other.failed) {
        // The open emptied the file; what was held back for it is gone as well.
        other.pending.clear();
        other.pendingPaths.clear();
      }
      return !other.failed;
    }
  }
  file.fd = fd;
  return true;
}

BufferedLineWriter::OutputFile* BufferedLineWriter::FileForLine(PathEntry& entry, bool truncate) {
  if (!entry.file->opened) {
    if (!OpenForFirstLine(entry, truncate)) return nullptr;
  } else if (entry.file->failed) {
    return nullptr;
  } else if (truncate) {
    // A later truncating line of the same file: what the file held so far is dropped.
    entry.file->pending.clear();
    entry.file->pendingPaths.clear();
    if (!TruncateFile(entry.file->fd)) {
      entry.file->failed = true;
      return nullptr;
    }
  }
  OutputFile& file = *entry.file;
  const uint64_t sequence = lineSequence();
  if (file.firstPath == nullptr) {
    file.firstPath = entry.path;
    file.firstSequence = sequence;
  }
  if (file.pendingPaths.empty() || file.pendingPaths.back().first != entry.path) {
    const bool listed =
        std::any_of(file.pendingPaths.begin(), file.pendingPaths.end(),
                    [&](const auto& pending) { return pending.first == entry.path; });
    if (!listed) file.pendingPaths.emplace_back(entry.path, sequence);
  }
  return &file;
}

bool BufferedLineWriter::WriteLineTo(const std::string& path, std::string_view text,
                                     bool truncate) {
  OutputFile* file = FileForLine(EntryFor(path), truncate);
  if (file == nullptr) return false;
  AppendOnDiskLine(file->pending, text);
  if (file->pending.size() >= flushSize_) Flush(*file);
  return true;
}

bool BufferedLineWriter::WriteOnDiskLinesTo(const std::string& path, std::string_view lines) {
  OutputFile* file = FileForLine(EntryFor(path), false);
  if (file == nullptr) return false;
  if (file->pending.size() + lines.size() < flushSize_) {
    file->pending.append(lines);
    return true;
  }
  // A large block goes to the file as it is, after what was held back before it.
  Flush(*file);
  if (file->failed) return true;  // reported by Flush at its first line
  if (!WriteBytes(file->fd, lines)) {
    file->failed = true;
    return false;
  }
  return true;
}

void BufferedLineWriter::Flush(OutputFile& file) {
  if (file.pending.empty()) return;
  if (!WriteBytes(file.fd, file.pending)) {
    // Written line by line, the first line of this block would have been the first to fail.
    file.failed = true;
    for (const auto& [path, sequence] : file.pendingPaths) RecordFailure(*path, sequence);
  }
  file.pending.clear();
  file.pendingPaths.clear();
}

void BufferedLineWriter::CloseAll() {
  for (const auto& file : files_) {
    if (file->fd < 0) continue;
    Flush(*file);
    if (!CloseFile(file->fd) && !file->failed) {
      RecordFailure(*file->firstPath, file->firstSequence);
    }
    file->fd = -1;
  }
  lastEntry_ = nullptr;
  filesByIdentity_.clear();
  filesByCanonicalPath_.clear();
  paths_.clear();
  files_.clear();
}

int BufferedLineWriter::OpenFile(const std::string& path, bool truncate) {
  // Always appending: after a truncation of the open file the next write lands at its start.
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  int fd;
  do {
    fd = open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
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

bool BufferedLineWriter::TruncateFile(int fd) {
  // Opening a device or a pipe with truncation leaves it as it is; so does a later truncation.
  struct stat status {};
  if (fstat(fd, &status) == 0 && !S_ISREG(status.st_mode)) return true;
  return ftruncate(fd, 0) == 0;
}

bool BufferedLineWriter::CloseFile(int fd) { return close(fd) == 0; }

}  // namespace quillmap
