#include "gui/dialog_units.h"

namespace quillmap {

wxRect ToPixels(const wxWindow& window, const DialogRect& rect) {
  return wxRect(window.ConvertDialogToPixels(wxPoint(rect.x, rect.y)),
                window.ConvertDialogToPixels(wxSize(rect.width, rect.height)));
}

}  // namespace quillmap
