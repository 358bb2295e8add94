#include "gui/cfg_file_chooser.h"

#include "gui/cfg_folder_chooser.h"
#include "gui/wx_text.h"

namespace quillmap {

wxString CfgFileWildcard() {
  wxString wildcard;
  for (const FileFilter& filter : kCfgFileFilters) {
    if (!wildcard.empty()) wildcard += '|';
    wildcard << filter.label << '|' << filter.pattern;
  }
  return wildcard;
}

std::optional<std::string> CfgFileChooser::ChooseFile() {
  // No default file or extension (the folder is the configuration's), and existence is not enforced: a typed name that does
  // not exist comes back and is reported by the file error box.
  wxFileDialog dialog(owner_, kCfgChooserTitle, ToWx(StartFolderFor(owner_)), wxEmptyString,
                      CfgFileWildcard(), wxFD_OPEN);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return FromWx(dialog.GetPath());
}

}  // namespace quillmap
