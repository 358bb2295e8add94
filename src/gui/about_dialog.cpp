#include "gui/about_dialog.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>

#include "dialog/scan_dialog.h"
#include "config/app_identity.h"
#include "gui/app_icon.h"
#include "gui/dialog_units.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr const char* kCaptionPrefix = "About ";
constexpr const char* kDescription =
    "The tool scans C-files and generates a DOT-file that can \r\n"
    "be used with graphviz. Scan filters will be used from an CFG-file.\r\n"
    "Graphviz generates a CALL graph from the DOT-file.\r\n"
    "Additional modification can be placed into the DOT-file :-)";
constexpr const char* kUsagePrefix = "usage from cmd line: \r\n";
constexpr const char* kUsageArguments = " -cfg file.cfg";

// Where the controls sit, in dialog units.
constexpr DialogRect kClientSize{0, 0, 257, 106};
constexpr DialogRect kIconRect{5, 15, 20, 20};
constexpr DialogRect kVersionRect{40, 10, 205, 10};
constexpr DialogRect kDescriptionRect{40, 25, 205, 37};
constexpr DialogRect kUsageRect{40, 65, 210, 20};
constexpr DialogRect kWebAddressRect{40, 90, 119, 8};
constexpr DialogRect kOkRect{200, 88, 50, 14};

constexpr long kLabelStyle = wxST_NO_AUTORESIZE;
// The room kept between the controls and the box's right and bottom edges.
constexpr DialogRect kMargin{0, 0, 7, 7};

// GTK's fonts run wider than the dialog units assume: a label that would wrap or clip grows to
// its text instead, and the box grows to hold it. Positions stay where they are.
void GrowToFitLabels(wxDialog& box) {
  wxSize needed = box.GetClientSize();
  const wxSize margin = ToPixels(box, kMargin).GetSize();
  for (wxWindow* child : box.GetChildren()) {
    if (dynamic_cast<wxStaticText*>(child) != nullptr) {
      const wxSize best = child->GetBestSize();
      const wxSize size = child->GetSize();
      child->SetSize(std::max(size.x, best.x), std::max(size.y, best.y));
    }
    const wxRect rect = child->GetRect();
    needed.IncTo(wxSize(rect.GetRight() + 1 + margin.x, rect.GetBottom() + 1 + margin.y));
  }
  box.SetClientSize(needed);
}
}  // namespace

AboutDialog::AboutDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, ToWx(kCaptionPrefix + ApplicationName())) {
  SetClientSize(ToPixels(*this, kClientSize).GetSize());
  SetIcons(AppIcons());

  const wxRect icon = ToPixels(*this, kIconRect);
  new wxStaticBitmap(this, wxID_ANY, LargeAppIcon(), icon.GetPosition(), icon.GetSize());

  // The label holds the bare name first and takes the version on as it is set up.
  auto* version = new wxStaticText(this, kVersionLabel, ToWx(ApplicationName() + " "),
                                   ToPixels(*this, kVersionRect).GetPosition(),
                                   ToPixels(*this, kVersionRect).GetSize(), kLabelStyle);
  version->SetLabel(version->GetLabel() + kVersionText);

  const auto addLabel = [this](const std::string& text, const DialogRect& where) {
    const wxRect rect = ToPixels(*this, where);
    new wxStaticText(this, wxID_ANY, ToWxLabel(text), rect.GetPosition(), rect.GetSize(),
                     kLabelStyle);
  };
  addLabel(kDescription, kDescriptionRect);
  addLabel(kUsagePrefix + ApplicationName() + kUsageArguments, kUsageRect);
  addLabel(kWebAddress, kWebAddressRect);

  const wxRect ok = ToPixels(*this, kOkRect);
  auto* okButton = new wxButton(this, wxID_OK, "OK", ok.GetPosition(), ok.GetSize());
  okButton->SetDefault();
  okButton->SetFocus();
  GrowToFitLabels(*this);
}

}  // namespace quillmap
