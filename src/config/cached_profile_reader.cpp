#include "config/cached_profile_reader.h"

#include <sys/stat.h>

namespace quillmap {

namespace {

void AppendLowerCase(std::string& out, std::string_view name) {
  for (char c : name) out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

std::unordered_map<std::string, std::string> IndexIniText(std::string_view iniText) {
  std::unordered_map<std::string, std::string> values;
  iniText = WithoutUtf8Bom(iniText);
  std::string section;       // "name\n" of the current section
  bool collecting = false;   // the current section is the first of its name
  std::unordered_map<std::string, bool> sectionsSeen;
  std::string entryKey;
  while (!iniText.empty()) {
    const size_t lf = iniText.find('\n');
    const std::string_view line = TrimIniText(iniText.substr(0, lf));
    iniText = lf == std::string_view::npos ? std::string_view() : iniText.substr(lf + 1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      const std::string_view name = TrimIniText(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      section.clear();
      AppendLowerCase(section, name);
      section += '\n';
      collecting = sectionsSeen.emplace(section, true).second;
      continue;
    }
    if (!collecting) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    entryKey = section;
    AppendLowerCase(entryKey, TrimIniText(line.substr(0, equals)));
    if (values.count(entryKey) != 0) continue;
    const std::string_view value = UnquoteIniValue(TrimIniText(line.substr(equals + 1)));
    values.emplace(entryKey, std::string(value.substr(0, kMaxProfileValueLength)));
  }
  return values;
}

bool CachedProfileReader::FileStamp::operator==(const FileStamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         SameTime(modified, other.modified) && SameTime(changed, other.changed);
}

const CachedProfileReader::ParsedFile* CachedProfileReader::Parsed(const std::string& path,
                                                                   const FileStamp& stamp) {
  const auto known = files_.find(path);
  if (known != files_.end() && known->second.stamp == stamp) return &known->second;
  if (known != files_.end()) files_.erase(known);

  std::string contents;
  if (!ReadWholeFile(path, contents)) return nullptr;
  ++parseCount_;
  // The stamp taken before reading: a change during the read shows at the next lookup.
  ParsedFile& parsed = files_[path];
  parsed.stamp = stamp;
  parsed.values = IndexIniText(contents);
  return &parsed;
}

void CachedProfileReader::Hold(bool held) {
  held_ = held;
  heldFiles_.clear();
}

std::string CachedProfileReader::Lookup(const std::string& path, std::string_view section,
                                        std::string_view key) {
  const auto heldFile = held_ ? heldFiles_.find(path) : heldFiles_.end();
  const ParsedFile* parsed = nullptr;
  if (heldFile != heldFiles_.end()) {
    parsed = heldFile->second;
  } else {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
      files_.erase(path);
    } else {
      const FileStamp stamp{status.st_dev, status.st_ino, status.st_size, status.st_mtim,
                            status.st_ctim};
      parsed = Parsed(path, stamp);
    }
    // A file that cannot be read stays so while held.
    if (held_) heldFiles_[path] = parsed;
  }
  if (parsed == nullptr) return {};

  // Names read from the file never hold a line feed, so such a name finds nothing.
  const std::string_view wantedSection = TrimIniText(section);
  const std::string_view wantedKey = TrimIniText(key);
  if (wantedSection.find('\n') != std::string_view::npos ||
      wantedKey.find('\n') != std::string_view::npos) {
    return {};
  }
  wanted_.clear();
  AppendLowerCase(wanted_, wantedSection);
  wanted_ += '\n';
  AppendLowerCase(wanted_, wantedKey);
  const auto found = parsed->values.find(wanted_);
  return found == parsed->values.end() ? std::string() : found->second;
}

}  // namespace quillmap
