#include "gui/scan_window.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/fontenum.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>

#include "config/app_identity.h"
#include "gui/about_dialog.h"
#include "gui/app_icon.h"
#include "gui/cfg_file_chooser.h"
#include "gui/cfg_folder_chooser.h"
#include "gui/dialog_units.h"
#include "gui/path_drop_target.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr DialogRect kClientSize{0, 0, 367, 191};
constexpr DialogRect kCfgFileRect{265, 5, 35, 14};
constexpr DialogRect kPathEditRect{5, 5, 217, 14};
// "New CFG" takes the right end of the path edit's old place, before "CFG File".
constexpr DialogRect kNewCfgRect{224, 5, 39, 14};
constexpr DialogRect kLogRect{0, 25, 365, 165};
constexpr DialogRect kScanRect{325, 5, 40, 14};
// The about button sits in the free gap between "CFG File" and "SCAN".
constexpr DialogRect kAboutRect{305, 5, 15, 14};

constexpr const char* kAboutTip = "About (F1)";
constexpr const char* kNewCfgTip =
    "Write a starting configuration (quillmap.cfg) for a folder and load it";
constexpr const char* kLogFaceName = "Courier New";
constexpr int kLogFontPixelHeight = 14;
// Caption bar, minimise and close box; no sizing border, no maximise box.
constexpr long kDialogStyle = wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX;
// How often a long run lets the window repaint: often enough to look live, rarely enough that
// repainting does not slow the scan down.
constexpr auto kRepaintInterval = std::chrono::milliseconds(30);

// "Courier New" where it is installed, else the system's fixed-pitch face.
wxFont LogFont() {
  wxFontInfo info(wxSize(0, kLogFontPixelHeight));
  info.Family(wxFONTFAMILY_TELETYPE);
  if (wxFontEnumerator::IsValidFacename(kLogFaceName)) info.FaceName(kLogFaceName);
  return wxFont(info);
}
}  // namespace

ScanWindow::ScanWindow(const std::vector<std::string>& args)
    : wxDialog(nullptr, wxID_ANY, ToWx(ApplicationName()), wxDefaultPosition, wxDefaultSize,
               kDialogStyle) {
  // Escape goes to the focused control like any other key; it never ends the dialog.
  SetEscapeId(wxID_NONE);
  SetIcons(AppIcons());
  CreateControls();

  logic_ = std::make_unique<ScanDialog>(*this);
  commands_ = std::make_unique<DialogCommands>(*logic_, std::make_unique<CfgFileChooser>(this));
  commands_->SetFolderChooser(std::make_unique<CfgFolderChooser>(this));
  FindWindow(kPathEdit)->SetDropTarget(new PathDropTarget(*commands_));

  Bind(wxEVT_BUTTON, &ScanWindow::OnScanButton, this, kScanButton);
  Bind(wxEVT_BUTTON, &ScanWindow::OnCfgFileButton, this, kCfgFileButton);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { commands_->OnNewCfgClicked(); }, kNewCfgButton);
  Bind(wxEVT_BUTTON, &ScanWindow::OnAboutButton, this, wxID_ABOUT);
  Bind(wxEVT_CHAR_HOOK, &ScanWindow::OnCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, &ScanWindow::OnCloseWindow, this);

  logic_->InitDialog(args);
  Centre();
}

ScanWindow::~ScanWindow() {
  // The drop target refers to the commands, which go before the window's children do.
  if (wxWindow* pathEdit = FindWindow(kPathEdit)) pathEdit->SetDropTarget(nullptr);
}

void ScanWindow::CreateControls() {
  SetClientSize(ToPixels(*this, kClientSize).GetSize());
  // Created in tab order.
  const wxRect cfgFile = ToPixels(*this, kCfgFileRect);
  new wxButton(this, kCfgFileButton, "CFG File", cfgFile.GetPosition(), cfgFile.GetSize());
  const wxRect pathEdit = ToPixels(*this, kPathEditRect);
  new wxTextCtrl(this, kPathEdit, wxEmptyString, pathEdit.GetPosition(), pathEdit.GetSize());
  const wxRect log = ToPixels(*this, kLogRect);
  auto* logEdit = new wxTextCtrl(this, kLogEdit, wxEmptyString, log.GetPosition(), log.GetSize(),
                                 wxTE_MULTILINE | wxHSCROLL);
  logEdit->SetFont(LogFont());
  const wxRect scan = ToPixels(*this, kScanRect);
  new wxButton(this, kScanButton, "SCAN", scan.GetPosition(), scan.GetSize());

  const wxRect about = ToPixels(*this, kAboutRect);
  wxBitmap aboutIcon;
  aboutIcon.CopyFromIcon(AppIcons().GetIcon(16));
  auto* aboutButton = new wxBitmapButton(this, wxID_ABOUT, aboutIcon, about.GetPosition(),
                                         about.GetSize(), wxBU_EXACTFIT);
  aboutButton->SetToolTip(kAboutTip);

  const wxRect newCfg = ToPixels(*this, kNewCfgRect);
  auto* newCfgButton =
      new wxButton(this, kNewCfgButton, "New CFG", newCfg.GetPosition(), newCfg.GetSize());
  newCfgButton->SetToolTip(kNewCfgTip);
}

int ScanWindow::ShowModal() {
  if (closeRequested_) return wxID_CANCEL;
  return wxDialog::ShowModal();
}

void ScanWindow::ShowAbout() {
  if (commands_->scanRunning()) return;
  AboutDialog about(this);
  about.ShowModal();
}

void ScanWindow::OnScanButton(wxCommandEvent&) {
  commands_->OnScanClicked();
  if (closeAfterRun_) Close();
}

void ScanWindow::OnCfgFileButton(wxCommandEvent&) { commands_->OnCfgFileClicked(); }

void ScanWindow::OnAboutButton(wxCommandEvent&) { ShowAbout(); }

void ScanWindow::OnCharHook(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_F1 && event.GetModifiers() == wxMOD_NONE) {
    ShowAbout();
    return;
  }
  event.Skip();
}

void ScanWindow::OnCloseWindow(wxCloseEvent& event) {
  // A run cannot be interrupted: the dialog closes once it is over.
  if (commands_->scanRunning() && event.CanVeto()) {
    closeAfterRun_ = true;
    event.Veto();
    return;
  }
  if (IsModal()) {
    EndModal(wxID_CANCEL);
  } else {
    Hide();
  }
}

bool ScanWindow::HasItem(int id) const { return FindWindow(id) != nullptr; }

std::string ScanWindow::GetItemText(int id) const {
  const wxWindow* item = FindWindow(id);
  if (item == nullptr) return std::string();
  if (const auto* text = dynamic_cast<const wxTextCtrl*>(item)) return FromWx(text->GetValue());
  return FromWx(item->GetLabel());
}

bool ScanWindow::SetItemText(int id, const std::string& text) {
  wxWindow* item = FindWindow(id);
  if (item == nullptr) return false;
  if (auto* edit = dynamic_cast<wxTextCtrl*>(item)) {
    // Setting a text is not a user's edit: no change event.
    edit->ChangeValue(ToWx(text));
  } else {
    item->SetLabel(ToWx(text));
  }
  return true;
}

bool ScanWindow::AppendItemText(int id, const std::string& text) {
  auto* edit = dynamic_cast<wxTextCtrl*>(FindWindow(id));
  if (edit == nullptr) return WindowSystem::AppendItemText(id, text);
  edit->AppendText(ToWx(text));
  return true;
}

bool ScanWindow::IsItemTextEmpty(int id) const {
  if (const auto* edit = dynamic_cast<const wxTextCtrl*>(FindWindow(id))) return edit->IsEmpty();
  return WindowSystem::IsItemTextEmpty(id);
}

void ScanWindow::EnableItem(int id, bool enable) {
  if (wxWindow* item = FindWindow(id)) item->Enable(enable);
}

void ScanWindow::SetTitle(const std::string& title) { wxDialog::SetTitle(ToWx(title)); }

void ScanWindow::ShowFileError(const FileError& error) {
  wxMessageBox(ToWx(error.what()), ToWx(ApplicationName()), wxOK | wxICON_EXCLAMATION, this);
}

void ScanWindow::ShowMessage(const std::string& text) {
  wxMessageBox(ToWx(text), ToWx(ApplicationName()), wxOK | wxICON_INFORMATION, this);
}

void ScanWindow::RequestClose() {
  closeRequested_ = true;
  if (IsShown()) CallAfter([this] { Close(); });
}

void ScanWindow::OnLogEntry(const std::string&, bool) {
  if (!commands_ || !commands_->scanRunning()) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRepaint_ < kRepaintInterval) return;
  lastRepaint_ = now;
  // User input meets disabled inputs meanwhile; a second run or a drop cannot start.
  wxYieldIfNeeded();
}

}  // namespace quillmap
