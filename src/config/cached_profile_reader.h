/// A configuration reader that parses each file once and answers lookups from an index for as
/// long as the file stays unchanged (checked on every lookup), with the answers of the reader
/// that reads and parses the file anew for every lookup.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>

#include "config/profile_reader.h"

namespace quillmap {

class CachedProfileReader : public ProfileReader {
 public:
  /// The value as LookupIniValue gives it for the file as it is now. Every lookup looks at the
  /// file's identity (device, inode, size, modification and change times in nanoseconds) and
  /// parses it again when any of them changed.
  std::string Lookup(const std::string& path, std::string_view section,
                     std::string_view key) override;
  /// While held, a file's identity is looked at by its first lookup only.
  void Hold(bool held) override;

  /// How often a file was parsed (read whole) so far.
  int parseCount() const { return parseCount_; }

 private:
  struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileStamp& other) const;
  };
  struct ParsedFile {
    FileStamp stamp;
    // "section\nkey" (both in lower case) -> value; the first section of a name and the first
    // key in it win, as they do for LookupIniValue.
    std::unordered_map<std::string, std::string> values;
  };

  // The parsed file at `path` with stamp `stamp`, parsing it when needed; nullptr when it
  // cannot be read.
  const ParsedFile* Parsed(const std::string& path, const FileStamp& stamp);

  std::unordered_map<std::string, ParsedFile> files_;
  bool held_ = false;
  std::unordered_map<std::string, const ParsedFile*> heldFiles_;  // looked at while held
  std::string wanted_;  // reused lookup key
  int parseCount_ = 0;
};

/// Parses an INI text into "section\nkey" -> value entries (names in ASCII lower case), the
/// index behind CachedProfileReader.
std::unordered_map<std::string, std::string> IndexIniText(std::string_view iniText);

}  // namespace quillmap
