#include "outputs/line_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "files/paths.h"
#include "text/line_feeds.h"

namespace quillmap {

std::string OnDiskLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  AppendOnDiskLine(line, text);
  return line;
}

void AppendOnDiskLine(std::string& out, std::string_view text) {
  size_t copied = 0;
  ForEachLineFeed(text, [&](size_t lineFeed) {
    out.append(text.substr(copied, lineFeed - copied));
    out += "\r\n";
    copied = lineFeed + 1;
  });
  out.append(text.substr(copied));
  out += "\r\n";
}

LineWriter::~LineWriter() {
  // What a writer that did not end its run leaves: temporary files, never a replaced output.
  for (const auto& output : outputs_) DiscardOutput(output->target);
}

bool LineWriter::WriteLine(const std::string& path, std::string_view text, bool truncate) {
  if (path.empty()) return false;
  ++lineSequence_;
  Output* output = OutputFor(path, truncate);
  if (output == nullptr) return false;
  if (!WriteLineTo(*output, text, truncate)) {
    Fail(*output);
    return false;
  }
  return true;
}

bool LineWriter::WriteOnDiskLines(const std::string& path, std::string_view lines) {
  if (path.empty()) return false;
  ++lineSequence_;
  Output* output = OutputFor(path, false);
  if (output == nullptr) return false;
  if (!WriteOnDiskLinesTo(*output, lines)) {
    Fail(*output);
    return false;
  }
  return true;
}

bool LineWriter::WriteOnDiskLinesTo(Output& output, std::string_view lines) {
  for (size_t end; (end = lines.find("\r\n")) != std::string_view::npos;) {
    if (!WriteLineTo(output, lines.substr(0, end), false)) return false;
    lines.remove_prefix(end + 2);
  }
  return true;
}

LineWriter::Output* LineWriter::OutputFor(const std::string& path, bool truncate) {
  Output* output = lastOutput_;
  bool started = false;
  // Consecutive lines mostly go to the same output.
  if (output == nullptr || *output->path != path) {
    const auto known = outputsByPath_.find(path);
    started = known == outputsByPath_.end();
    output = started ? StartOutput(path, truncate) : known->second;
    lastOutput_ = output;
  }
  if (truncate && !started && output->target.replaced) {
    // Only an output's first line truncates: a second one begins a second output of the same
    // name, which the first, written before it, keeps. (A device or a pipe takes the lines of
    // both, as it always did.)
    output->closed = true;
  }
  if (output->failed || output->closed) {
    RecordFailure(path, lineSequence_);
    return nullptr;
  }
  return output;
}

LineWriter::Output* LineWriter::StartOutput(const std::string& path, bool truncate) {
  auto owned = std::make_unique<Output>();
  Output& output = *owned;
  outputs_.push_back(std::move(owned));
  output.path = &outputsByPath_.emplace(path, &output).first->first;
  output.firstSequence = lineSequence_;
  output.failed = true;
  if (IsUnusablePath(path)) return &output;
  const std::string identity = FileIdentityOf(path);
  if (protectedFiles_.count(identity) != 0) return &output;
  if (!PrepareTarget(path, !truncate, output.target)) return &output;
  if (output.target.replaced) {
    const std::string canonical = CanonicalFilePath(output.target.finalPath);
    if (claimedPaths_.count(canonical) != 0) {
      DiscardOutput(output.target);
      output.target = OutputTarget{};
      return &output;
    }
    auto [claim, claimed] = outputsByIdentity_.emplace(identity, &output);
    // An inode seen earlier may since have been freed (the file replaced by another run) and
    // given to another file: only the other output's file as it is now counts.
    if (!claimed && FileIdentityOf(claim->second->target.finalPath) == identity) {
      // Another output of the run writes this file already: it keeps it.
      DiscardOutput(output.target);
      output.target = OutputTarget{};
      return &output;
    }
    claim->second = &output;
    claimedPaths_.insert(canonical);
  }
  output.failed = false;
  return &output;
}

void LineWriter::Fail(Output& output) {
  output.failed = true;
  RecordFailure(*output.path, lineSequence_);
}

void LineWriter::BeginRun() {
  FinishRun(false);
  lineSequence_ = 0;
  failures_.clear();
  failedPaths_.clear();
  protectedFiles_.clear();
  claimedPaths_.clear();
}

bool LineWriter::ClaimFile(const std::string& path) {
  if (path.empty() || IsUnusablePath(path)) return false;
  const std::string finalPath = FinalPathOf(path);
  const std::string identity = FileIdentityOf(finalPath);
  if (protectedFiles_.count(identity) != 0) return false;
  struct stat status {};
  if (stat(finalPath.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return true;
  if (claimedPaths_.count(identity) != 0) return false;
  const std::string canonical = CanonicalFilePath(finalPath);
  const auto other = outputsByIdentity_.find(identity);
  if (other != outputsByIdentity_.end() &&
      FileIdentityOf(other->second->target.finalPath) == identity) {
    return false;
  }
  if (!claimedPaths_.insert(canonical).second) return false;
  claimedPaths_.insert(identity);  // a hard link of it is the same file
  return true;
}

void LineWriter::EndRun() { FinishRun(true); }

void LineWriter::AbandonRun() { FinishRun(false); }

void LineWriter::FinishRun(bool keep) {
  for (const auto& owned : outputs_) {
    Output& output = *owned;
    if (!keep || output.failed) {
      DropOutput(output);
      DiscardOutput(output.target);
      continue;
    }
    const bool regular = output.target.replaced;
    if (!FinishOutput(output)) {
      DiscardOutput(output.target);
    } else if (!CommitOutput(output.target)) {
      RecordFailure(*output.path, output.firstSequence);
    } else if (regular) {
      // The file as it is now, for the outputs written after the lines (ClaimFile).
      claimedPaths_.insert(FileIdentityOf(output.target.finalPath));
    }
  }
  lastOutput_ = nullptr;
  outputsByIdentity_.clear();
  outputsByPath_.clear();
  outputs_.clear();
}

void LineWriter::RecordFailure(const std::string& path, uint64_t sequence) {
  auto known = std::find_if(failures_.begin(), failures_.end(),
                            [&](const Failure& failure) { return failure.path == path; });
  if (known != failures_.end()) {
    if (known->sequence <= sequence) return;
    failures_.erase(known);
  }
  const auto at = std::upper_bound(
      failures_.begin(), failures_.end(), sequence,
      [](uint64_t wanted, const Failure& failure) { return wanted < failure.sequence; });
  failures_.insert(at, Failure{sequence, path});
  failedPaths_.clear();
  for (const Failure& failure : failures_) failedPaths_.push_back(failure.path);
}

void LineWriter::Protect(const StringList& paths) {
  protectedFiles_.clear();
  // A module's sources are mostly the call graph's too: each path is looked at once. (Looking
  // at them from two threads was slower: the lookups of one tree contend in the kernel.)
  std::unordered_set<std::string_view> seen;
  for (const std::string& path : paths) {
    if (!path.empty() && seen.insert(path).second) protectedFiles_.insert(FileIdentityOf(path));
  }
}

bool PerLineWriter::WriteLineTo(Output& output, std::string_view text, bool truncate) {
  std::FILE* file = OpenFile(output.target, truncate);
  if (file == nullptr) return false;
  const bool written = WriteBytes(file, OnDiskLine(text));
  const bool closed = CloseFile(file);
  return written && closed;
}

std::FILE* PerLineWriter::OpenFile(const OutputTarget& target, bool truncate) {
  const int fd = OpenOutputDescriptor(target, truncate);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "ab");
  if (file == nullptr) close(fd);
  return file;
}

bool PerLineWriter::WriteBytes(std::FILE* file, std::string_view bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = std::fflush(file) == 0;
  return written && flushed;
}

bool PerLineWriter::CloseFile(std::FILE* file) { return std::fclose(file) == 0; }

}  // namespace quillmap
