/// The Code page on the desktop: a source file read-only with line numbers and C colouring, the
/// line of a chosen function or call marked and scrolled into view, and "Open in editor" with
/// the editor command the user can change (see source_sites.h for its form).
#pragma once

#include <wx/panel.h>

#include <functional>
#include <string>

#include "dialog/calls_tree.h"

class wxStyledTextCtrl;
class wxTextCtrl;
class wxStaticText;

namespace quillmap {

class CodeView : public wxPanel {
 public:
  enum : int { kSourceText = 1501, kEditorCommandBox, kOpenInEditorButton, kSiteLabel };

  explicit CodeView(wxWindow* parent);

  /// Shows the site's source with its line marked; false (and a message in the view) when the
  /// source cannot be read.
  bool ShowSite(const SourceSite& site);
  const SourceSite& site() const { return site_; }
  /// The line marked now (1-based), 0 for none.
  int markedLine() const;

  void SetEditorCommand(const std::string& command);
  std::string editorCommand() const;
  /// Starts the editor on the site shown; false when it could not be started.
  bool OpenInEditor();
  /// Called with the message when no editor could be started.
  void SetOnMessage(std::function<void(const std::string&)> show) { message_ = std::move(show); }
  /// Called when the user changed the editor command.
  void SetOnCommandChanged(std::function<void(const std::string&)> changed) {
    commandChanged_ = std::move(changed);
  }

  wxStyledTextCtrl& text() { return *text_; }

 private:
  void StyleForC();

  wxStyledTextCtrl* text_;
  wxTextCtrl* command_;
  wxStaticText* label_;
  SourceSite site_;
  std::string loadedFile_;
  std::function<void(const std::string&)> message_;
  std::function<void(const std::string&)> commandChanged_;
};

}  // namespace quillmap
