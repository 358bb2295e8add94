/// The main dialog on the desktop: the toolkit's window behind ScanDialog. A resizable window
/// (the path row on top, the log and the Graph view side by side below, the status row at the
/// bottom) whose size and place are kept between starts; it implements WindowSystem with its
/// widgets, polls the scan run under way with a timer and forwards its buttons, the drop onto
/// the path edit, the actions menu and F1 to the toolkit-free logic.
#pragma once

#include <wx/dialog.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog/calls_tree.h"
#include "dialog/dialog_commands.h"
#include "dialog/reach_list.h"
#include "dialog/scan_dialog.h"

class wxConfigBase;
class wxChoice;
class wxGauge;
class wxNotebook;
class wxTextCtrl;
class wxSplitterWindow;
class wxStaticText;

namespace quillmap {

class CodeView;
class FunctionPanel;
class GraphPanel;
class LogView;
class ReachPanel;

class ScanWindow : public wxDialog, public WindowSystem {
 public:
  /// Control IDs of the window beyond the dialog's own.
  enum : int {
    kActionsButton = 1201,
    kStatusText,
    kRunGauge,
    kErrorChoice,
    kSplitter,
    kPages,
    kLogFindBox,
  };
  /// How often the window looks at the run under way.
  static constexpr int kPollMilliseconds = 40;

  /// Builds the window and runs its start-up steps with the program's arguments. `settings`
  /// keeps the window's place and the recent configurations (the application's wxConfig when
  /// null). The title is the bare application name until the start-up sets the full one.
  explicit ScanWindow(const std::vector<std::string>& args, wxConfigBase* settings = nullptr);
  ~ScanWindow() override;

  /// Returns at once when the start-up asked the dialog to close.
  int ShowModal() override;

  ScanDialog& logic() { return *logic_; }
  DialogCommands& commands() { return *commands_; }
  GraphPanel& graphPanel() { return *graphPanel_; }
  LogView& logView() { return *log_; }
  FunctionPanel& functionPanel() { return *functionPanel_; }
  CodeView& codeView() { return *codeView_; }
  ReachPanel& reachPanel() { return *reachPanel_; }
  wxNotebook& pages() { return *pages_; }
  /// The pages beside the Graph view, in their order.
  enum class Page { kLog, kFunctions, kCode, kReach };
  void ShowPage(Page page);
  /// Shows a source site in the code view and brings the code page forward.
  void ShowCode(const SourceSite& site);
  /// Asks a reachability query about `name` on the Reach page and brings it forward; for kWhy
  /// the start of the chain is the page's, which gets the keyboard to be changed.
  void ShowReach(ReachQueryKind kind, const std::string& name);
  /// Selects the next log line that holds `text` and scrolls it into view; false when none.
  bool FindInLog(const std::string& text);
  bool closeRequested() const { return closeRequested_; }

  /// Opens the about box (F1 and the small about button).
  void ShowAbout();
  /// Opens a file or folder in the desktop's viewer; tests replace how.
  void SetOpener(std::function<void(const std::string&)> opener) { opener_ = std::move(opener); }
  /// The actions of the actions menu.
  void OpenOutputFolder();
  void OpenOutputFile(const std::string& path);
  bool SaveLog(const std::string& path);
  void OpenRecent(size_t index);
  /// Selects the log line of the error entry `index` and scrolls it into view.
  void JumpToError(size_t index);
  /// Whether the log shows its end (and so follows what is appended).
  bool LogAtEnd() const;

  using wxDialog::SetTitle;
  bool HasItem(int id) const override;
  std::string GetItemText(int id) const override;
  bool SetItemText(int id, const std::string& text) override;
  bool AppendItemText(int id, const std::string& text) override;
  bool IsItemTextEmpty(int id) const override;
  void EnableItem(int id, bool enable) override;
  void SetTitle(const std::string& title) override;
  void ShowFileError(const FileError& error) override;
  void ShowMessage(const std::string& text) override;
  void RequestClose() override;
  void OnLogEntry(const std::string& text, bool replace) override;
  void ShowStatus(const RunStatus& status) override;
  void OnRunEnded() override;

 private:
  void CreateControls();
  void ConnectPages();
  void RestorePlace();
  void SavePlace();
  void SaveRecent();
  void ShowActionsMenu();
  void OnScanButton(wxCommandEvent& event);
  void OnCancelButton(wxCommandEvent& event);
  void OnCfgFileButton(wxCommandEvent& event);
  void OnAboutButton(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnCloseWindow(wxCloseEvent& event);
  void OnPollTimer(wxTimerEvent& event);

  wxConfigBase* settings_;
  std::unique_ptr<ScanDialog> logic_;
  std::unique_ptr<DialogCommands> commands_;
  LogView* log_ = nullptr;
  wxStaticText* status_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxChoice* errors_ = nullptr;
  wxSplitterWindow* splitter_ = nullptr;
  GraphPanel* graphPanel_ = nullptr;
  wxNotebook* pages_ = nullptr;
  wxTextCtrl* logFind_ = nullptr;
  FunctionPanel* functionPanel_ = nullptr;
  CodeView* codeView_ = nullptr;
  ReachPanel* reachPanel_ = nullptr;
  wxTimer pollTimer_;
  std::function<void(const std::string&)> opener_;
  bool closeRequested_ = false;
};

}  // namespace quillmap
