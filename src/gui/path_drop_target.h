/// The path edit as a drop target: the files dropped onto it go to the dialog's drop handler,
/// which takes exactly one.
#pragma once

#include <wx/dnd.h>

namespace quillmap {

class DialogCommands;

class PathDropTarget : public wxFileDropTarget {
 public:
  explicit PathDropTarget(DialogCommands& commands) : commands_(commands) {}

  /// Hands the dropped paths on; refuses the drop unless it was taken.
  bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& fileNames) override;

 private:
  DialogCommands& commands_;
};

}  // namespace quillmap
