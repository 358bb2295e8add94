#include "gui/scan_window.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/config.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <chrono>
#include <fstream>
#include <map>

#include "config/app_identity.h"
#include "dialog/source_sites.h"
#include "gui/about_dialog.h"
#include "gui/app_icon.h"
#include "gui/cfg_file_chooser.h"
#include "gui/cfg_folder_chooser.h"
#include "gui/code_view.h"
#include "gui/function_panel.h"
#include "gui/graph_panel.h"
#include "gui/log_view.h"
#include "gui/path_drop_target.h"
#include "gui/reach_panel.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr const char* kAboutTip = "About (F1)";
constexpr const char* kNewCfgLabel = "New CFG";
constexpr const char* kNewCfgTip =
    "Write a starting configuration (quillmap.cfg) for a folder and load it";
constexpr const char* kCancelLabel = "Cancel";
constexpr const char* kActionsLabel = "More...";
constexpr const char* kOpenFolderItem = "Open the output folder";
constexpr const char* kOpenFileMenu = "Open an output file";
constexpr const char* kRecentMenu = "Recent configurations";
constexpr const char* kSaveLogItem = "Save the log...";
constexpr const char* kSaveLogTitle = "Save the activity log";
constexpr const char* kSaveLogFilter = "text files (*.txt)|*.txt|all files|*";
constexpr const char* kSaveLogFailed = "The log could not be saved to ";
constexpr const char* kErrorsHint = "errors of the last run: ";
constexpr const char* kNothingOpens = "Nothing could open it (is xdg-open installed?): ";
constexpr const char* kNoGraphFromRun = "no graph: the last scan did not finish: ";
constexpr const char* kCancelRunQuestion =
    "A scan is under way. Cancel it and close? (Its outputs are not written; the previous ones "
    "stay as they were.)";
constexpr long kWindowStyle =
    wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxCLOSE_BOX | wxRESIZE_BORDER;
const wxSize kDefaultSize(1100, 700);
const wxSize kMinSize(640, 360);
// The log's share of the width beside the Graph view.
constexpr double kLogShare = 0.5;
// How long closing waits for a cancelled run to reach its next source.
constexpr auto kStopWait = std::chrono::seconds(10);

// Where the window's place and the recent configurations are kept.
constexpr const char* kPlaceX = "/window/x";
constexpr const char* kPlaceY = "/window/y";
constexpr const char* kPlaceWidth = "/window/width";
constexpr const char* kPlaceHeight = "/window/height";
constexpr const char* kPlaceMaximized = "/window/maximized";
constexpr const char* kRecentKey = "/recent/";
constexpr const char* kEditorCommandKey = "/editor/command";
constexpr const char* kLogFindHint = "find in the log (Ctrl+F; Enter finds the next)";
constexpr const char* kPageTitles[] = {"Log", "Functions", "Code", "Reach"};

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/') + 1); }
}  // namespace

ScanWindow::ScanWindow(const std::vector<std::string>& args, wxConfigBase* settings)
    : wxDialog(nullptr, wxID_ANY, ToWx(ApplicationName()), wxDefaultPosition, wxDefaultSize,
               kWindowStyle),
      settings_(settings != nullptr ? settings : wxConfigBase::Get()),
      pollTimer_(this),
      opener_([this](const std::string& path) {
        // Without a desktop opener (xdg-open) the toolkit fails quietly: say so.
        if (!wxLaunchDefaultApplication(ToWx(path))) ShowMessage(kNothingOpens + path);
      }) {
  // Escape goes to the focused control like any other key; it never ends the dialog.
  SetEscapeId(wxID_NONE);
  SetIcons(AppIcons());
  logic_ = std::make_unique<ScanDialog>(*this);
  CreateControls();
  commands_ = std::make_unique<DialogCommands>(*logic_, std::make_unique<CfgFileChooser>(this));
  commands_->SetFolderChooser(std::make_unique<CfgFolderChooser>(this));
  FindWindow(kPathEdit)->SetDropTarget(new PathDropTarget(*commands_));

  std::vector<std::string> recent;
  for (size_t i = 0; i < kMaxRecentConfigurations; ++i) {
    recent.push_back(FromWx(settings_->Read(kRecentKey + std::to_string(i), wxString())));
  }
  logic_->recent() = RecentConfigurations(recent);

  Bind(wxEVT_BUTTON, &ScanWindow::OnScanButton, this, kScanButton);
  Bind(wxEVT_BUTTON, &ScanWindow::OnCancelButton, this, kCancelButton);
  Bind(wxEVT_BUTTON, &ScanWindow::OnCfgFileButton, this, kCfgFileButton);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { commands_->OnNewCfgClicked(); }, kNewCfgButton);
  Bind(wxEVT_BUTTON, &ScanWindow::OnAboutButton, this, wxID_ABOUT);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { ShowActionsMenu(); }, kActionsButton);
  Bind(
      wxEVT_TEXT, [this](wxCommandEvent&) { commands_->OnPathEdited(); }, kPathEdit);
  Bind(wxEVT_TEXT_ENTER, &ScanWindow::OnScanButton, this, kPathEdit);
  Bind(
      wxEVT_CHOICE, [this](wxCommandEvent& event) { JumpToError(event.GetSelection()); },
      kErrorChoice);
  Bind(wxEVT_CHAR_HOOK, &ScanWindow::OnCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, &ScanWindow::OnCloseWindow, this);
  Bind(wxEVT_TIMER, &ScanWindow::OnPollTimer, this);

  ConnectPages();
  logic_->InitDialog(args);
  RestorePlace();
  FindWindow(kPathEdit)->SetFocus();
}

ScanWindow::~ScanWindow() {
  pollTimer_.Stop();
  // The drop target refers to the commands, which go before the window's children do.
  if (wxWindow* pathEdit = FindWindow(kPathEdit)) pathEdit->SetDropTarget(nullptr);
  // A run still under way stops at its next source before the window's parts go.
  commands_.reset();
  logic_.reset();
}

void ScanWindow::CreateControls() {
  // Created in tab order.
  auto* cfgFile = new wxButton(this, kCfgFileButton, "CFG File");
  auto* pathEdit = new wxTextCtrl(this, kPathEdit, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                  wxTE_PROCESS_ENTER);
  wxBitmap aboutIcon;
  aboutIcon.CopyFromIcon(AppIcons().GetIcon(16));
  auto* about = new wxBitmapButton(this, wxID_ABOUT, aboutIcon, wxDefaultPosition, wxDefaultSize,
                                   wxBU_EXACTFIT);
  about->SetToolTip(kAboutTip);
  auto* newCfg = new wxButton(this, kNewCfgButton, kNewCfgLabel);
  newCfg->SetToolTip(kNewCfgTip);
  auto* scan = new wxButton(this, kScanButton, "SCAN");
  auto* cancel = new wxButton(this, kCancelButton, kCancelLabel);
  cancel->Disable();
  auto* actions = new wxButton(this, kActionsButton, kActionsLabel);

  splitter_ = new wxSplitterWindow(this, kSplitter, wxDefaultPosition, wxDefaultSize,
                                   wxSP_LIVE_UPDATE | wxSP_3DSASH);
  splitter_->SetMinimumPaneSize(120);
  splitter_->SetSashGravity(kLogShare);
  pages_ = new wxNotebook(splitter_, kPages);
  auto* logPage = new wxPanel(pages_);
  logFind_ = new wxTextCtrl(logPage, kLogFindBox, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                            wxTE_PROCESS_ENTER);
  logFind_->SetHint(kLogFindHint);
  log_ = new LogView(logPage, kLogEdit);
  // Never laid out smaller than its scroll bars (GTK complains), not even before it is shown.
  log_->SetMinSize(FromDIP(wxSize(120, 60)));
  log_->SetSize(log_->GetMinSize());
  auto* logSizer = new wxBoxSizer(wxVERTICAL);
  logSizer->Add(logFind_, 0, wxEXPAND | wxALL, 2);
  logSizer->Add(log_, 1, wxEXPAND);
  logPage->SetSizer(logSizer);
  functionPanel_ = new FunctionPanel(pages_, logic_->functionList());
  codeView_ = new CodeView(pages_);
  reachPanel_ = new ReachPanel(pages_, *logic_);
  for (wxWindow* page :
       std::initializer_list<wxWindow*>{logPage, functionPanel_, codeView_, reachPanel_}) {
    pages_->AddPage(page, kPageTitles[pages_->GetPageCount()]);
  }
  graphPanel_ = new GraphPanel(splitter_, logic_->graphView());
  splitter_->SplitVertically(pages_, graphPanel_);

  status_ = new wxStaticText(this, kStatusText, ToWx(kStatusIdle), wxDefaultPosition, wxDefaultSize,
                             wxST_ELLIPSIZE_END);
  errors_ = new wxChoice(this, kErrorChoice);
  errors_->Hide();
  gauge_ = new wxGauge(this, kRunGauge, 100, wxDefaultPosition, wxSize(160, -1));
  gauge_->Hide();

  auto* top = new wxBoxSizer(wxHORIZONTAL);
  top->Add(cfgFile, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  top->Add(newCfg, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  top->Add(pathEdit, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  for (wxWindow* button : std::initializer_list<wxWindow*>{about, scan, cancel, actions}) {
    top->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  }
  auto* bottom = new wxBoxSizer(wxHORIZONTAL);
  bottom->Add(status_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
  bottom->Add(errors_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
  bottom->Add(gauge_, 0, wxALIGN_CENTER_VERTICAL);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(top, 0, wxEXPAND | wxALL, 4);
  sizer->Add(splitter_, 1, wxEXPAND | wxLEFT | wxRIGHT, 4);
  sizer->Add(bottom, 0, wxEXPAND | wxALL, 4);
  SetSizer(sizer);
  SetMinSize(kMinSize);
  SetSize(kDefaultSize);
}

void ScanWindow::ConnectPages() {
  functionPanel_->SetOnFunctionChosen([this](uint32_t function) {
    const FunctionIndex& index = *logic_->functionList().index();
    graphPanel_->FocusOn(std::string(index.NameOf(function)));
    codeView_->ShowSite({std::string(index.FileOf(function)), index.LineOf(function)});
  });
  graphPanel_->SetOnOpenCode([this](const std::string& name) {
    const FunctionIndex* index = logic_->functionList().index();
    const std::optional<uint32_t> function = index ? index->Find(name) : std::nullopt;
    if (function) ShowCode({std::string(index->FileOf(*function)), index->LineOf(*function)});
  });
  functionPanel_->SetOnSiteChosen([this](const SourceSite& site) { ShowCode(site); });
  const auto reach = [this](ReachQueryKind kind, const std::string& name) {
    ShowReach(kind, name);
  };
  functionPanel_->SetOnReach(reach);
  graphPanel_->SetOnReach(reach);
  reachPanel_->SetOnSiteChosen([this](const SourceSite& site) { ShowCode(site); });
  log_->SetLineActivated([this](size_t row) {
    if (const std::optional<SourceSite> site = SourceSiteOfLogLine(log_->lines(), row)) {
      ShowCode(*site);
    }
  });
  wxString command;
  if (settings_->Read(kEditorCommandKey, &command) && !command.empty()) {
    codeView_->SetEditorCommand(FromWx(command));
  }
  codeView_->SetOnCommandChanged(
      [this](const std::string& changed) { settings_->Write(kEditorCommandKey, ToWx(changed)); });
  logFind_->Bind(wxEVT_TEXT_ENTER,
                 [this](wxCommandEvent&) { FindInLog(FromWx(logFind_->GetValue())); });
  codeView_->SetOnMessage([this](const std::string& text) { ShowMessage(text); });
}

bool ScanWindow::FindInLog(const std::string& text) {
  // From the line after the selected one, so that Enter again finds the next.
  const size_t from = log_->SelectedText().empty() ? 0 : log_->state().selectionFirst() + 1;
  const std::optional<size_t> found = log_->lines().Find(text, from);
  if (found) log_->SelectAndShowLine(*found);
  return found.has_value();
}

void ScanWindow::ShowReach(ReachQueryKind kind, const std::string& name) {
  ShowPage(Page::kReach);
  reachPanel_->Ask(kind, name);
  if (kind == ReachQueryKind::kWhy) {
    reachPanel_->fromBox().SetFocus();
    reachPanel_->fromBox().SelectAll();
  }
}

void ScanWindow::ShowPage(Page page) { pages_->SetSelection(static_cast<int>(page)); }

void ScanWindow::ShowCode(const SourceSite& site) {
  codeView_->ShowSite(site);
  ShowPage(Page::kCode);
}

void ScanWindow::RestorePlace() {
  long x = 0, y = 0, width = 0, height = 0;
  bool maximized = false;
  const bool known = settings_->Read(kPlaceX, &x) && settings_->Read(kPlaceY, &y) &&
                     settings_->Read(kPlaceWidth, &width) && settings_->Read(kPlaceHeight, &height);
  settings_->Read(kPlaceMaximized, &maximized);
  const wxRect place(x, y, std::max<long>(width, kMinSize.x), std::max<long>(height, kMinSize.y));
  // A place on a display that is no longer there is not restored.
  const int display = wxDisplay::GetFromPoint(wxPoint(place.x + place.width / 2, place.y + 10));
  if (known && display != wxNOT_FOUND) {
    SetSize(place);
  } else {
    const wxRect area = wxDisplay(std::max(0, wxDisplay::GetFromWindow(this))).GetClientArea();
    SetSize(wxSize(std::min(kDefaultSize.x, area.width), std::min(kDefaultSize.y, area.height)));
    Centre();
  }
  if (maximized) Maximize();
  splitter_->SetSashPosition(static_cast<int>(splitter_->GetClientSize().x * kLogShare));
}

void ScanWindow::SavePlace() {
  settings_->Write(kPlaceMaximized, IsMaximized());
  if (!IsMaximized() && !IsIconized()) {
    const wxRect place = GetRect();
    settings_->Write(kPlaceX, static_cast<long>(place.x));
    settings_->Write(kPlaceY, static_cast<long>(place.y));
    settings_->Write(kPlaceWidth, static_cast<long>(place.width));
    settings_->Write(kPlaceHeight, static_cast<long>(place.height));
  }
  settings_->Flush();
}

void ScanWindow::SaveRecent() {
  const std::vector<std::string>& paths = logic_->recent().paths();
  settings_->DeleteGroup("/recent");
  for (size_t i = 0; i < paths.size(); ++i) {
    settings_->Write(kRecentKey + std::to_string(i), ToWx(paths[i]));
  }
  settings_->Flush();
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

void ScanWindow::ShowActionsMenu() {
  wxMenu menu;
  int nextId = wxID_HIGHEST + 1;
  std::map<int, std::function<void()>> actions;
  const auto add = [&](wxMenu& to, const std::string& label, std::function<void()> action,
                       bool enabled = true) {
    const int id = nextId++;
    to.Append(id, ToWx(label))->Enable(enabled);
    actions[id] = std::move(action);
  };
  add(
      menu, kOpenFolderItem, [this] { OpenOutputFolder(); }, !logic_->lastCfgPath().empty());
  auto* files = new wxMenu;
  for (const std::string& path : logic_->OutputFiles()) {
    add(*files, path, [this, path] { OpenOutputFile(path); });
  }
  menu.AppendSubMenu(files, kOpenFileMenu)->Enable(files->GetMenuItemCount() > 0);
  auto* recent = new wxMenu;
  const std::vector<std::string>& recentPaths = logic_->recent().paths();
  for (size_t i = 0; i < recentPaths.size(); ++i) {
    add(
        *recent, recentPaths[i], [this, i] { OpenRecent(i); }, !commands_->scanRunning());
  }
  menu.AppendSubMenu(recent, kRecentMenu)->Enable(!recentPaths.empty());
  menu.AppendSeparator();
  add(menu, kSaveLogItem, [this] {
    wxFileDialog chooser(this, kSaveLogTitle, wxEmptyString, wxEmptyString, kSaveLogFilter,
                         wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (chooser.ShowModal() == wxID_OK && !SaveLog(FromWx(chooser.GetPath()))) {
      ShowMessage(kSaveLogFailed + FromWx(chooser.GetPath()));
    }
  });
  const int chosen = GetPopupMenuSelectionFromUser(menu, FindWindow(kActionsButton)->GetPosition());
  const auto found = actions.find(chosen);
  if (found != actions.end()) found->second();
}

void ScanWindow::OpenOutputFolder() {
  const std::vector<std::string> files = logic_->OutputFiles();
  opener_(files.empty() ? FolderOf(logic_->lastCfgPath()) : FolderOf(files.front()));
}

void ScanWindow::OpenOutputFile(const std::string& path) { opener_(path); }

bool ScanWindow::SaveLog(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string& text = log_->text();
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

void ScanWindow::OpenRecent(size_t index) {
  const std::vector<std::string>& paths = logic_->recent().paths();
  if (index >= paths.size() || commands_->scanRunning()) return;
  logic_->SetCfgPath(paths[index]);
}

void ScanWindow::JumpToError(size_t index) {
  const std::vector<ErrorEntry>& errors = logic_->errorEntries();
  if (index >= errors.size()) return;
  ShowPage(Page::kLog);
  log_->SetFocus();
  log_->SelectAndShowLine(errors[index].line);
}

bool ScanWindow::LogAtEnd() const { return log_->following(); }

void ScanWindow::OnScanButton(wxCommandEvent&) {
  commands_->OnScanClicked();
  // The run started has let go of the last run's functions and reach list.
  functionPanel_->Reload();
  reachPanel_->Reload();
  if (commands_->scanRunning()) pollTimer_.Start(kPollMilliseconds);
}

void ScanWindow::OnCancelButton(wxCommandEvent&) { commands_->OnCancelClicked(); }

void ScanWindow::OnCfgFileButton(wxCommandEvent&) { commands_->OnCfgFileClicked(); }

void ScanWindow::OnAboutButton(wxCommandEvent&) { ShowAbout(); }

void ScanWindow::OnPollTimer(wxTimerEvent&) {
  if (!commands_->PollRun()) pollTimer_.Stop();
}

void ScanWindow::OnCharHook(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_F1 && event.GetModifiers() == wxMOD_NONE) {
    ShowAbout();
    return;
  }
  if (event.GetKeyCode() == 'F' && event.GetModifiers() == wxMOD_CONTROL) {
    ShowPage(Page::kLog);
    logFind_->SetFocus();
    logFind_->SelectAll();
    return;
  }
  event.Skip();
}

void ScanWindow::OnCloseWindow(wxCloseEvent& event) {
  if (commands_->scanRunning()) {
    if (event.CanVeto() && wxMessageBox(kCancelRunQuestion, ToWx(ApplicationName()),
                                        wxYES_NO | wxICON_QUESTION, this) != wxYES) {
      event.Veto();
      return;
    }
    commands_->OnCancelClicked();
    const auto end = std::chrono::steady_clock::now() + kStopWait;
    while (commands_->PollRun() && std::chrono::steady_clock::now() < end) wxMilliSleep(5);
    pollTimer_.Stop();
  }
  SavePlace();
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
  if (item == log_) return log_->text();
  if (const auto* text = dynamic_cast<const wxTextCtrl*>(item)) return FromWx(text->GetValue());
  return FromWx(item->GetLabel());
}

bool ScanWindow::SetItemText(int id, const std::string& text) {
  wxWindow* item = FindWindow(id);
  if (item == nullptr) return false;
  if (item == log_) {
    log_->SetText(text);
  } else if (auto* edit = dynamic_cast<wxTextCtrl*>(item)) {
    // Setting a text is not a user's edit: no change event.
    edit->ChangeValue(ToWx(text));
  } else {
    item->SetLabel(ToWx(text));
  }
  return true;
}

bool ScanWindow::AppendItemText(int id, const std::string& text) {
  wxWindow* item = FindWindow(id);
  if (item == log_) {
    log_->AppendText(text);
    return true;
  }
  if (auto* edit = dynamic_cast<wxTextCtrl*>(item)) {
    edit->AppendText(ToWx(text));
    return true;
  }
  return WindowSystem::AppendItemText(id, text);
}

bool ScanWindow::IsItemTextEmpty(int id) const {
  if (FindWindow(id) == log_) return log_->IsEmpty();
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

void ScanWindow::OnLogEntry(const std::string&, bool) {}

void ScanWindow::ShowStatus(const RunStatus& status) {
  status_->SetLabel(ToWx(status.text));
  const bool gauge = status.gaugePercent >= 0;
  if (gauge) gauge_->SetValue(status.gaugePercent);
  bool changed = gauge_->Show(gauge);
  if (status.state == RunStatus::State::kRunning) changed = errors_->Hide() || changed;
  if (changed) Layout();
}

void ScanWindow::OnRunEnded() {
  errors_->Clear();
  const std::vector<ErrorEntry>& errors = logic_->errorEntries();
  for (const ErrorEntry& entry : errors) {
    std::string text = entry.text;
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n')) text.erase(0, 1);
    errors_->Append(ToWx(text));
  }
  errors_->SetToolTip(ToWx(kErrorsHint + std::to_string(errors.size())));
  errors_->Show(!errors.empty());
  gauge_->Hide();
  Layout();
  SaveRecent();
  functionPanel_->Reload();
  reachPanel_->Reload();
  if (logic_->lastRun().finished && !logic_->lastRun().stopped) {
    graphPanel_->Redraw();
  } else {
    GraphDrawing failed;
    failed.error = kNoGraphFromRun + logic_->status().text;
    graphPanel_->canvas().SetDrawing(failed);
  }
}

}  // namespace quillmap
