/// file: URIs of the protocol and the paths of the scan.
#pragma once

#include <string>
#include <string_view>

namespace quillmap::lsp {

/// The path of a "file://" URI (percent escapes decoded); "" for any other URI.
std::string PathOfUri(std::string_view uri);
/// The "file://" URI of an absolute path, every byte but unreserved ones and '/' escaped.
std::string UriOfPath(std::string_view path);

}  // namespace quillmap::lsp
