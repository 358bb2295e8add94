#include "gui/wx_text.h"

namespace quillmap {

wxString ToWx(const std::string& text) {
  wxString converted = wxString::FromUTF8(text.data(), text.size());
  if (converted.empty() && !text.empty())
    converted = wxString::From8BitData(text.data(), text.size());
  return converted;
}

std::string FromWx(const wxString& text) {
  const wxScopedCharBuffer bytes = text.utf8_str();
  return std::string(bytes.data(), bytes.length());
}

wxString ToWxLabel(const std::string& text) {
  wxString label = ToWx(text);
  label.Replace("\r\n", "\n");
  return label;
}

}  // namespace quillmap
