#include "gui/cfg_folder_chooser.h"

#include <wx/dirdlg.h>
#include <wx/filefn.h>
#include <wx/textctrl.h>

#include "dialog/window_system.h"

#include "gui/wx_text.h"

namespace quillmap {

std::string StartFolderFor(wxWindow* owner) {
  const auto* path = owner != nullptr ? dynamic_cast<wxTextCtrl*>(owner->FindWindow(kPathEdit))
                                      : nullptr;
  const std::string typed = path != nullptr ? FromWx(path->GetValue()) : std::string();
  const std::string folder = typed.substr(0, typed.find_last_of('/') + 1);
  return !folder.empty() && wxDirExists(ToWx(folder)) ? folder : FromWx(wxGetCwd());
}

std::optional<std::string> CfgFolderChooser::ChooseFolder() {
  // Opened on a folder, not on the toolkit's "Recent" list.
  wxDirDialog dialog(owner_, kNewCfgChooserTitle, ToWx(StartFolderFor(owner_)),
                     wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return FromWx(dialog.GetPath());
}

}  // namespace quillmap
