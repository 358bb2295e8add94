// The INI profile reader and the list reader on arbitrary bytes, and the field extractor on
// every list entry they deliver.
//
// Input: a section name and a key (each a length-prefixed piece), then the INI text.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "config/profile_reader.h"
#include "text/text_utils.h"
#include "fuzz_support.h"

namespace quillmap::fuzz {
namespace {

// Looks every value up in one INI text held in memory.
class TextProfile : public ProfileReader {
 public:
  explicit TextProfile(std::string_view text) : text_(text) {}
  std::string Lookup(const std::string&, std::string_view section, std::string_view key) override {
    ++lookups;
    return LookupIniValue(text_, section, key);
  }
  int lookups = 0;

 private:
  std::string_view text_;
};

std::string Show(std::string_view text) {
  std::string shown;
  for (unsigned char c : text.substr(0, 400)) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      shown += escape;
    }
  }
  return "\"" + shown + (text.size() > 400 ? "\"..." : "\"");
}

// A name that the INI form can hold: no line breaks, brackets, "=" or leading ";", no blanks at
// the ends (which the reader drops), not empty.
std::string NameFrom(std::string text) {
  std::string name;
  for (char c : text) {
    if (c != '\n' && c != '\r' && c != '[' && c != ']' && c != '=' && c != '\0') name += c;
  }
  for (;;) {
    name = Trim(name);
    if (name.empty() || name[0] != ';') break;
    name.erase(0, 1);
  }
  return name.empty() ? "s" : name;
}

// A value that comes back unchanged: one line, no blanks at the ends, not enclosed in quotes.
std::string ValueFrom(std::string text) {
  std::string value;
  for (char c : text) {
    if (c != '\n' && c != '\r') value += c;
  }
  value = Trim(value);
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value += 'x';
  }
  return value;
}

void CheckLookup(std::string_view ini, const std::string& section, const std::string& key) {
  const std::string value = LookupIniValue(ini, section, key);
  FUZZ_CHECK(value.size() <= kMaxProfileValueLength, Show(value));
  FUZZ_CHECK(value.find('\n') == std::string::npos, Show(value));
  FUZZ_CHECK(ini.find(value) != std::string_view::npos,
             "value " + Show(value) + " not in " + Show(ini));
}

void CheckFields(const std::string& entry) {
  // GetField takes the entry apart at its line feeds; joined again they give the entry back,
  // and no field is longer than the entry or lies outside it.
  size_t lineFeeds = 0;
  for (char c : entry) lineFeeds += c == '\n';
  std::string joined;
  for (size_t n = 0; n <= lineFeeds; ++n) {
    const std::string field = GetField(entry, static_cast<int>(n));
    FUZZ_CHECK(field.size() <= entry.size(), Show(entry));
    FUZZ_CHECK(field.find('\n') == std::string::npos, Show(entry) + " field " + std::to_string(n));
    FUZZ_CHECK(entry.find(field) != std::string::npos, Show(entry));
    if (n > 0) joined += '\n';
    joined += field;
  }
  FUZZ_CHECK(joined == entry, Show(entry) + " joined " + Show(joined));
  FUZZ_CHECK(GetField(entry, static_cast<int>(lineFeeds) + 1).empty(), Show(entry));
  FUZZ_CHECK(GetField(entry, -1).empty(), Show(entry));
}

void CheckList(std::string_view ini, const std::string& section) {
  TextProfile profile(ini);
  StringList list = {"left over from an earlier read"};
  const int count = ReadList(profile, "/cfg.ini", section, list);
  FUZZ_CHECK(count == static_cast<int>(list.size()), Show(ini));
  FUZZ_CHECK(profile.lookups == count + 1, "a list ends at its first missing or empty value");
  for (int n = 0; n < count; ++n) {
    const std::string& entry = list[static_cast<size_t>(n)];
    std::string value = LookupIniValue(ini, section, std::to_string(n));
    FUZZ_CHECK(!value.empty(), Show(ini));
    if (value[0] != ',') {
      for (char& c : value) c = c == ',' ? '\n' : c;
    }
    FUZZ_CHECK(entry == value, Show(entry) + " vs " + Show(value));
    CheckFields(entry);
  }
  FUZZ_CHECK(LookupIniValue(ini, section, std::to_string(count)).empty(), Show(ini));
}

// A value written in front of arbitrary text, with or without a byte-order mark and with LF or
// CR LF line ends, reads back unchanged (cut to the longest value).
void CheckRoundTrip(std::string_view rest, const std::string& section, const std::string& key,
                    const std::string& value, bool byteOrderMark, bool crlf) {
  const std::string end = crlf ? "\r\n" : "\n";
  const std::string ini = (byteOrderMark ? "\xEF\xBB\xBF" : "") + std::string("[") + section + "]" +
                          end + key + "=" + value + end + std::string(rest);
  const std::string expected = value.substr(0, kMaxProfileValueLength);
  const std::string got = LookupIniValue(ini, section, key);
  FUZZ_CHECK(got == expected, Show(ini) + " gave " + Show(got));
}

}  // namespace
}  // namespace quillmap::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillmap::fuzz;
  FuzzedDataProvider provider(data, size);
  const uint8_t flags = provider.ConsumeIntegral<uint8_t>();
  const std::string section = provider.ConsumeRandomLengthString(24);
  const std::string key = provider.ConsumeRandomLengthString(24);
  const std::string value = provider.ConsumeRandomLengthString(4000);
  const std::string ini = provider.ConsumeRemainingBytesAsString();

  CheckLookup(ini, section, key);
  CheckLookup(ini, NameFrom(section), NameFrom(key));
  CheckList(ini, section);
  CheckList(ini, NameFrom(section));
  CheckRoundTrip(ini, NameFrom(section), NameFrom(key), ValueFrom(value), flags & 1, flags & 2);
  return 0;
}
