/// The "New CFG" chooser on the desktop: the toolkit's folder dialog that picks the folder for a
/// starting configuration, owned by the main dialog.
#pragma once

#include <wx/window.h>

#include "dialog/dialog_commands.h"

namespace quillmap {

inline constexpr const char* kNewCfgChooserTitle =
    "Choose the folder of a C project: quillmap.cfg is written there";

/// The folder a chooser opens on: that of the path edit's configuration, else the current one.
std::string StartFolderFor(wxWindow* owner);

class CfgFolderChooser : public FolderChooser {
 public:
  explicit CfgFolderChooser(wxWindow* owner) : owner_(owner) {}
  std::optional<std::string> ChooseFolder() override;

 private:
  wxWindow* owner_;
};

}  // namespace quillmap
