/// The window system as the dialog logic sees it: controls addressed by ID, the title, the file
/// error box and the close request. The GUI implements it with real widgets, the batch mode
/// headlessly, tests in memory.
#pragma once

#include <string>

#include "dialog/run_status.h"
#include "files/file_error.h"

namespace quillmap {

enum ControlId : int {
  kCfgFileButton = 1001,
  kPathEdit = 1002,
  kLogEdit = 1004,
  kScanButton = 1005,
  kNewCfgButton = 1006,  // writes a starting configuration for a folder
  kCancelButton = 1007,
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  virtual bool HasItem(int id) const = 0;
  /// The control's whole text; "" when there is no such control.
  virtual std::string GetItemText(int id) const = 0;
  /// Sets the control's whole text; false when there is no such control.
  virtual bool SetItemText(int id, const std::string& text) = 0;
  /// Appends to the control's text. Hosts with large texts append in place.
  virtual bool AppendItemText(int id, const std::string& text) {
    return HasItem(id) && SetItemText(id, GetItemText(id) + text);
  }
  virtual bool IsItemTextEmpty(int id) const { return GetItemText(id).empty(); }
  /// Enables or disables a control; nothing happens when it does not exist.
  virtual void EnableItem(int id, bool enable) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  /// Shows the file error of a handler that could not open a file it needed.
  virtual void ShowFileError(const FileError& error) = 0;
  /// Shows a message that the user confirms (a message box on the desktop).
  virtual void ShowMessage(const std::string& text) = 0;
  /// Asks the dialog to close once the current handler has returned.
  virtual void RequestClose() = 0;
  /// Called after every change of the activity log (an appended entry or a batch of them, or a
  /// replacement).
  virtual void OnLogEntry(const std::string& /*text*/, bool /*replace*/) {}
  /// Shows what a run is doing or how the last one ended.
  virtual void ShowStatus(const RunStatus& /*status*/) {}
  /// Called when a run has ended, its status shown and its graphs taken.
  virtual void OnRunEnded() {}
};

}  // namespace quillmap
