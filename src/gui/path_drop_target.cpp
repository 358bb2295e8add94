#include "gui/path_drop_target.h"

#include <string>
#include <vector>

#include "dialog/dialog_commands.h"
#include "gui/wx_text.h"

namespace quillmap {

bool PathDropTarget::OnDropFiles(wxCoord, wxCoord, const wxArrayString& fileNames) {
  std::vector<std::string> paths;
  for (const wxString& name : fileNames) paths.push_back(FromWx(name));
  return commands_.OnFilesDropped(paths);
}

}  // namespace quillmap
