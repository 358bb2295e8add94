/// The main dialog on the desktop: the toolkit's window behind ScanDialog. It builds the
/// controls in dialog units, implements WindowSystem with them, and forwards the buttons, the
/// drop onto the path edit and F1 to the toolkit-free logic.
#pragma once

#include <wx/dialog.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "dialog/dialog_commands.h"
#include "dialog/scan_dialog.h"

namespace quillmap {

class ScanWindow : public wxDialog, public WindowSystem {
 public:
  /// Builds the dialog and runs its start-up steps with the program's arguments. The title is
  /// the bare application name until the start-up sets the full one.
  explicit ScanWindow(const std::vector<std::string>& args);
  ~ScanWindow() override;

  /// Returns at once when the start-up asked the dialog to close.
  int ShowModal() override;

  ScanDialog& logic() { return *logic_; }
  DialogCommands& commands() { return *commands_; }
  bool closeRequested() const { return closeRequested_; }

  /// Opens the about box (F1 and the small about button).
  void ShowAbout();

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
  /// Lets the window repaint while a scan run appends to the log.
  void OnLogEntry(const std::string& text, bool replace) override;

 private:
  void CreateControls();
  void OnScanButton(wxCommandEvent& event);
  void OnCfgFileButton(wxCommandEvent& event);
  void OnAboutButton(wxCommandEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnCloseWindow(wxCloseEvent& event);

  std::unique_ptr<ScanDialog> logic_;
  std::unique_ptr<DialogCommands> commands_;
  bool closeRequested_ = false;
  bool closeAfterRun_ = false;
  std::chrono::steady_clock::time_point lastRepaint_;
};

}  // namespace quillmap
