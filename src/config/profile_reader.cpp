#include "config/profile_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/paths.h"

namespace quillmap {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineBlanks = " \t\r\v\f";

}  // namespace

std::string_view WithoutUtf8Bom(std::string_view iniText) {
  if (iniText.starts_with(kUtf8Bom)) iniText.remove_prefix(kUtf8Bom.size());
  return iniText;
}

std::string_view TrimIniText(std::string_view text) { return TrimView(text, kLineBlanks); }

std::string_view UnquoteIniValue(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string LookupIniValue(std::string_view iniText, std::string_view section,
                           std::string_view key) {
  iniText = WithoutUtf8Bom(iniText);
  const std::string_view wantedSection = TrimIniText(section);
  const std::string_view wantedKey = TrimIniText(key);
  bool inSection = false;
  bool sectionSeen = false;
  while (!iniText.empty()) {
    const size_t lf = iniText.find('\n');
    const std::string_view line = TrimIniText(iniText.substr(0, lf));
    iniText = lf == std::string_view::npos ? std::string_view() : iniText.substr(lf + 1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      // Only the first section of a name counts; later ones of the same name are skipped.
      if (inSection) return {};
      const size_t close = line.find(']');
      const std::string_view name = TrimIniText(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      inSection = !sectionSeen && SameName(name, wantedSection);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (!SameName(TrimIniText(line.substr(0, equals)), wantedKey)) continue;
    const std::string_view value = UnquoteIniValue(TrimIniText(line.substr(equals + 1)));
    return std::string(value.substr(0, kMaxProfileValueLength));
  }
  return {};
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  // Only a regular file: a FIFO or a device (/dev/zero) is neither waited for nor read whole.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return false;
  }
  if (status.st_size > 0) contents.reserve(static_cast<size_t>(status.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      contents.clear();
      return false;
    }
    if (got == 0) break;
    contents.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return true;
}

std::string RereadingProfileReader::Lookup(const std::string& path, std::string_view section,
                                           std::string_view key) {
  std::string contents;
  if (!ReadWholeFile(path, contents)) return {};
  return LookupIniValue(contents, section, key);
}

std::string ReadProfileString(ProfileReader& reader, const std::string& file,
                              std::string_view section, std::string_view key) {
  if (file.empty()) return {};
  return reader.Lookup(IsAbsolutePath(file) ? file : WorkPath() + file, section, key);
}

int ReadList(ProfileReader& reader, const std::string& file, std::string_view section,
             StringList& list) {
  list.clear();
  for (int n = 0;; ++n) {
    std::string value = ReadProfileString(reader, file, section, std::to_string(n));
    if (value.empty()) break;
    if (value[0] != ',') {
      for (char& c : value) {
        if (c == ',') c = '\n';
      }
    }
    list.push_back(std::move(value));
  }
  return static_cast<int>(list.size());
}

}  // namespace quillmap
