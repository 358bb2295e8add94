/// Texts between the system (byte strings, UTF-8 on Linux) and wxWidgets' wxString.
#pragma once

#include <wx/string.h>

#include <string>

namespace quillmap {

/// The text as wx shows it. Bytes that are not UTF-8 (a Latin-1 comment quoted from a C source)
/// are taken as Latin-1, so that a log entry is never lost to a failed conversion.
wxString ToWx(const std::string& text);
/// The text as UTF-8 bytes.
std::string FromWx(const wxString& text);
/// A label with the system's CR LF line breaks as the single line feeds that GTK expects.
wxString ToWxLabel(const std::string& text);

}  // namespace quillmap
