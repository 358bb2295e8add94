#include "gui/app_icon.h"

#include "gui/app_icon.xpm"

namespace quillmap {

wxIconBundle AppIcons() {
  wxIconBundle icons;
  icons.AddIcon(wxIcon(app_icon_16_xpm));
  icons.AddIcon(wxIcon(app_icon_32_xpm));
  return icons;
}

wxIcon LargeAppIcon() { return wxIcon(app_icon_32_xpm); }

}  // namespace quillmap
