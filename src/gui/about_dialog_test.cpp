#include "gui/about_dialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "config/app_identity.h"
#include "dialog/scan_dialog.h"
#include "gui/dialog_units.h"
#include "gui/wx_text.h"

namespace quillmap {
namespace {

// The labels of the box, top to bottom.
std::vector<std::string> LabelsOf(const wxWindow& box) {
  std::vector<std::string> labels;
  for (const wxWindow* child : box.GetChildren()) {
    if (dynamic_cast<const wxStaticText*>(child) != nullptr)
      labels.push_back(FromWx(child->GetLabel()));
  }
  return labels;
}

TEST(AboutDialog, ShowsNameVersionUsageAndWebAddress) {
  AboutDialog about(nullptr);
  EXPECT_EQ(FromWx(about.GetTitle()), "About quillmap");

  const wxWindow* version = about.FindWindow(AboutDialog::kVersionLabel);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(FromWx(version->GetLabel()), "quillmap V1.0.0.2 BETA!!!");

  const std::vector<std::string> labels = LabelsOf(about);
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(
      labels[1].rfind("The tool scans C-files and generates a DOT-file that can \nbe used", 0), 0u)
      << labels[1];
  EXPECT_EQ(labels[2], "usage from cmd line: \nquillmap -cfg file.cfg");
  EXPECT_EQ(labels[3], kWebAddress);

  const auto* ok = dynamic_cast<const wxButton*>(about.FindWindow(wxID_OK));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(FromWx(ok->GetLabel()), "OK");
  EXPECT_EQ(about.GetDefaultItem(), ok);
}

TEST(AboutDialog, ControlsSitAtTheirDialogUnitPlacesAndLabelsShowTheirWholeText) {
  AboutDialog about(nullptr);
  const wxSize client = about.GetClientSize();
  EXPECT_GE(client.x, about.ConvertDialogToPixels(wxSize(257, 106)).x);
  EXPECT_GE(client.y, about.ConvertDialogToPixels(wxSize(257, 106)).y);
  EXPECT_EQ(about.FindWindow(AboutDialog::kVersionLabel)->GetPosition(),
            about.ConvertDialogToPixels(wxPoint(40, 10)));
  EXPECT_EQ(about.FindWindow(wxID_OK)->GetRect(), ToPixels(about, {200, 88, 50, 14}));

  const wxStaticBitmap* icon = nullptr;
  for (const wxWindow* child : about.GetChildren()) {
    if (const auto* bitmap = dynamic_cast<const wxStaticBitmap*>(child)) icon = bitmap;
    EXPECT_TRUE(wxRect(client).Contains(child->GetRect())) << FromWx(child->GetLabel());
    if (dynamic_cast<const wxStaticText*>(child) != nullptr) {
      // Neither wrapped nor clipped, whatever the desktop's font.
      EXPECT_GE(child->GetSize().x, child->GetBestSize().x) << FromWx(child->GetLabel());
      EXPECT_GE(child->GetSize().y, child->GetBestSize().y) << FromWx(child->GetLabel());
    }
  }
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->GetPosition(), about.ConvertDialogToPixels(wxPoint(5, 15)));
  EXPECT_TRUE(icon->GetBitmap().IsOk());
  EXPECT_EQ(icon->GetBitmap().GetWidth(), 32);
}

}  // namespace
}  // namespace quillmap
