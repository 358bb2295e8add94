#include "lsp/document_uri.h"

namespace quillmap::lsp {

namespace {

constexpr std::string_view kFileScheme = "file://";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string PathOfUri(std::string_view uri) {
  if (!uri.starts_with(kFileScheme)) return {};
  uri.remove_prefix(kFileScheme.size());
  // "file://host/path": only the local host (empty or "localhost") names a file here.
  const size_t slash = uri.find('/');
  if (slash == std::string_view::npos) return {};
  const std::string_view host = uri.substr(0, slash);
  if (!host.empty() && host != "localhost") return {};
  uri.remove_prefix(slash);
  std::string path;
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && HexValue(uri[i + 1]) >= 0 &&
        HexValue(uri[i + 2]) >= 0) {
      const char decoded = static_cast<char>(HexValue(uri[i + 1]) * 16 + HexValue(uri[i + 2]));
      if (decoded == '\0') return {};
      path += decoded;
      i += 2;
    } else if (uri[i] == '?' || uri[i] == '#') {
      break;
    } else {
      path += uri[i];
    }
  }
  return path;
}

std::string UriOfPath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri(kFileScheme);
  for (const char c : path) {
    if (IsUnreserved(c) || c == '/') {
      uri += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 15];
    }
  }
  return uri;
}

}  // namespace quillmap::lsp
