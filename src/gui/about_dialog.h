/// The about box: the program icon, name and version, what the tool does, how to run it from
/// the command line, and where the project lives. Opened from the main dialog by F1.
#pragma once

#include <wx/dialog.h>

namespace quillmap {

class AboutDialog : public wxDialog {
 public:
  /// The label that carries the program name and version.
  static constexpr int kVersionLabel = 1006;

  explicit AboutDialog(wxWindow* parent);
};

}  // namespace quillmap
