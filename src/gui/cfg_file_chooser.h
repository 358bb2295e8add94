/// The "CFG File" chooser on the desktop: the toolkit's file-open dialog with the configuration
/// filters, owned by the main dialog.
#pragma once

#include <wx/filedlg.h>

#include "dialog/dialog_commands.h"

namespace quillmap {

/// The file dialog's wildcard built from kCfgFileFilters: "label|pattern|label|pattern".
wxString CfgFileWildcard();

class CfgFileChooser : public FileChooser {
 public:
  explicit CfgFileChooser(wxWindow* owner) : owner_(owner) {}
  std::optional<std::string> ChooseFile() override;

 private:
  wxWindow* owner_;
};

}  // namespace quillmap
