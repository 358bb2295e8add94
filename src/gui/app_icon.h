/// The program icon, drawn for this program: three call-graph nodes on a map-blue tile.
#pragma once

#include <wx/iconbndl.h>

namespace quillmap {

/// The icon at 16 and 32 pixels, for the title bar and the task bar.
wxIconBundle AppIcons();
/// The icon at 32 pixels, for the about box.
wxIcon LargeAppIcon();

}  // namespace quillmap
