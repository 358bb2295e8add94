#include "text/text_utils.h"

#include <cstdio>

namespace quillmap {

namespace {

constexpr auto npos = std::string_view::npos;

// A position that counts as "found" in the rules that treat position 0 like absence.
bool AfterStart(size_t pos) { return pos != npos && pos > 0; }

// Position of `needle` at or after `from`, or npos.
size_t FindFrom(std::string_view text, char needle, size_t from) {
  return from > text.size() ? npos : text.find(needle, from);
}

}  // namespace

std::string_view TrimView(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == npos) return {};
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::string FormatTimestamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%2.2d.%2.2d.%4.4d, %2.2d:%2.2d.%2.2d", local.tm_mday,
                local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return buffer;
}

std::string FormatTimestamp() { return FormatTimestamp(std::time(nullptr)); }

std::string GetField(std::string_view text, int n) {
  if (n < 0) return {};
  size_t start = 0;
  for (int i = 0; i < n; ++i) {
    const size_t lf = text.find('\n', start);
    if (lf == npos) return {};
    start = lf + 1;
  }
  const size_t end = text.find('\n', start);
  return std::string(text.substr(start, end == npos ? npos : end - start));
}

namespace {

// The nesting scan: starting after the "(" at `open`, looks for the end of a balanced part.
// Returns the end position when the part balances within 301 steps, otherwise npos.
size_t NestingEnd(std::string_view rest, size_t open) {
  int opened = 1;
  int closed = 0;
  size_t s = open + 1;
  for (int iteration = 0; iteration < 301; ++iteration) {
    const size_t po = FindFrom(rest, '(', s);
    const size_t pc = FindFrom(rest, ')', s);
    if (po != npos && (pc == npos || po < pc)) {
      ++opened;
      s = po + 1;
    } else if (pc != npos) {
      ++closed;
      s = pc + 1;
      if (closed == opened) {
        const size_t qc = FindFrom(rest, ',', s);
        const size_t qp = FindFrom(rest, ')', s);
        if (qc != npos && qp != npos && qp > qc) return qc;
        if (qp != npos) return qp;
        return s;
      }
    } else {
      // Nothing left to scan: no later iteration can change anything.
      return npos;
    }
  }
  return npos;
}

}  // namespace

int SplitArguments(std::string_view text, std::string_view call, StringList& args) {
  args.clear();
  const size_t k = call.find('(');
  if (!AfterStart(k)) return -1;
  const std::string_view prefix = call.substr(0, k + 1);
  const size_t at = text.find(prefix);
  if (at == npos) return -1;
  std::string_view rest = text.substr(at + prefix.size());
  for (;;) {
    size_t c = rest.find(',');
    const size_t o = rest.find('(');
    if (AfterStart(o) && (!AfterStart(c) || o < c)) {
      const size_t end = NestingEnd(rest, o);
      if (end != npos) c = end;
    }
    if (AfterStart(c)) {
      args.push_back(Trim(rest.substr(0, c)));
      if (c < rest.size() && rest[c] == ',') ++c;
      rest = rest.substr(std::min(c, rest.size()));
      continue;
    }
    const size_t p = rest.find(')');
    if (p == npos) return -1;
    std::string last = Trim(rest.substr(0, p));
    if (!last.empty()) args.push_back(std::move(last));
    return static_cast<int>(args.size());
  }
}

std::string NodeNameOf(std::string_view text) {
  const size_t k = text.find('(');
  std::string name(AfterStart(k) ? text.substr(0, k) : text);
  if (!name.empty() && name[0] == '.') return name;
  for (size_t i = 1; i < name.size(); ++i) {
    if (name[i] == '.') name[i] = '_';
  }
  return name;
}

bool AddIfAbsent(StringList& list, const std::string& text) {
  for (const std::string& entry : list) {
    if (entry == text) return false;
  }
  list.push_back(text);
  return true;
}

}  // namespace quillmap
