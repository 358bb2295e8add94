/// Layout in dialog units, which scale with the dialog's font the way the toolkit defines them
/// (a quarter of the average character width, an eighth of the character height).
#pragma once

#include <wx/gdicmn.h>
#include <wx/window.h>

namespace quillmap {

struct DialogRect {
  int x;
  int y;
  int width;
  int height;
};

/// The rectangle in pixels of `window`'s dialog units.
wxRect ToPixels(const wxWindow& window, const DialogRect& rect);

}  // namespace quillmap
