#include "gui/cfg_folder_chooser.h"

#include <wx/dirdlg.h>

#include "gui/wx_text.h"

namespace quillmap {

std::optional<std::string> CfgFolderChooser::ChooseFolder() {
  wxDirDialog dialog(owner_, kNewCfgChooserTitle, wxEmptyString,
                     wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return FromWx(dialog.GetPath());
}

}  // namespace quillmap
