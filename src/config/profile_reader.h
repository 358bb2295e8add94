/// Reading the scan configuration, an INI file: one value by section and key, and numbered
/// lists of values.
#pragma once

#include <string>
#include <string_view>

#include "files/paths.h"
#include "text/text_utils.h"

namespace quillmap {

/// Longest value a lookup returns; longer values are cut.
inline constexpr size_t kMaxProfileValueLength = kMaxConfiguredValueLength;

/// The INI text without a leading UTF-8 byte-order mark.
std::string_view WithoutUtf8Bom(std::string_view iniText);
/// The text without the blanks around it (spaces, tabs, CR, VT, FF), as INI names and values.
std::string_view TrimIniText(std::string_view text);
/// The value without one pair of matching quotes (" or ') around it.
std::string_view UnquoteIniValue(std::string_view value);

/// The value of `key` in `section` of an INI text, "" when missing. Section and key names are
/// compared ignoring ASCII case, blanks around names and values are dropped, a value enclosed in
/// matching quotes loses them, the first matching section and key win, lines whose first
/// non-blank character is ';' are comments, and a UTF-8 byte-order mark is skipped.
std::string LookupIniValue(std::string_view iniText, std::string_view section,
                           std::string_view key);

/// Source of configuration values. Implementations decide how much of the file they keep.
class ProfileReader {
 public:
  virtual ~ProfileReader() = default;
  /// The value of `key` in `section` of the file at `path` (already completed), "" when the
  /// file, the section or the key is missing.
  virtual std::string Lookup(const std::string& path, std::string_view section,
                             std::string_view key) = 0;
  /// While held, the lookups may answer from the file as it was at the first of them: the
  /// settings of a run are read at one moment, and a list of 30,000 files is 30,000 lookups.
  /// A reader that reads the file for every lookup ignores it.
  virtual void Hold(bool held) { (void)held; }
};

/// Holds a reader for as long as it lives.
class ProfileReaderHold {
 public:
  explicit ProfileReaderHold(ProfileReader& reader) : reader_(reader) { reader_.Hold(true); }
  ~ProfileReaderHold() { reader_.Hold(false); }
  ProfileReaderHold(const ProfileReaderHold&) = delete;
  ProfileReaderHold& operator=(const ProfileReaderHold&) = delete;

 private:
  ProfileReader& reader_;
};

/// Reads and parses the whole file again on every lookup, so each lookup sees the file as it
/// is at that moment.
class RereadingProfileReader : public ProfileReader {
 public:
  std::string Lookup(const std::string& path, std::string_view section,
                     std::string_view key) override;
};

/// The value of `key` in `section` of the configuration `file`, "" when missing. A path that is
/// not absolute is taken relative to the work path.
std::string ReadProfileString(ProfileReader& reader, const std::string& file,
                              std::string_view section, std::string_view key);

/// Reads the numbered list "0", "1", ... of `section` into `list` (emptied first) up to the first
/// missing or empty value. Each value's commas become line feeds, unless it begins with a comma.
/// Returns the number of entries read.
int ReadList(ProfileReader& reader, const std::string& file, std::string_view section,
             StringList& list);

/// Reads a whole file into `contents`. False when it cannot be opened or read, or is a folder.
bool ReadWholeFile(const std::string& path, std::string& contents);

}  // namespace quillmap
