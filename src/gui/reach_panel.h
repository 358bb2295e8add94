/// The Reach page on the desktop: what a function reaches, what reaches it, why it is reachable
/// from another function (the shortest chain of calls) and the dead functions of the last run,
/// as a virtual list whose rows open the code. The answers are ScanDialog's (ReachList); this
/// page asks and shows.
#pragma once

#include <wx/listctrl.h>
#include <wx/panel.h>

#include <functional>
#include <string>

#include "dialog/reach_list.h"

class wxMenu;
class wxStaticText;
class wxTextCtrl;

namespace quillmap {

/// The reachability items of a function's context menu (in the function list, the calls tree
/// and on a node of the Graph view), each with the ID kReachItems plus its query kind.
inline constexpr int kReachItems = 1520;
void AppendReachItems(wxMenu& menu, bool enable);
/// The query of a menu item that AppendReachItems added; kNone for any other item.
ReachQueryKind ReachItemKind(int item);

class ScanDialog;

class ReachPanel : public wxPanel {
 public:
  enum : int {
    kNameBox = 1501,
    kFromBox,
    kReachesButton,
    kReachedByButton,
    kWhyButton,
    kDeadButton,
    kHeadingText,
    kReachListCtrl,
  };
  /// The start of a chain until the user types another.
  static constexpr const char* kDefaultFrom = "main";

  ReachPanel(wxWindow* parent, ScanDialog& logic);

  /// Asks `kind` about `name` (the name box's text when empty; kWhy's chain starts at the from
  /// box's) and shows the answer.
  void Ask(ReachQueryKind kind, const std::string& name = {});
  /// Shows the logic's list as it is now (a run started has let go of it).
  void Reload();
  /// Opens the site of a row in the code view (Enter or a double click).
  void ChooseRow(long row);
  void SetOnSiteChosen(std::function<void(const SourceSite&)> chosen) {
    siteChosen_ = std::move(chosen);
  }

  wxTextCtrl& nameBox() { return *name_; }
  wxTextCtrl& fromBox() { return *from_; }
  wxListCtrl& listCtrl() { return *listCtrl_; }
  std::string heading() const;

 private:
  ScanDialog& logic_;
  wxTextCtrl* name_;
  wxTextCtrl* from_;
  wxStaticText* heading_;
  wxListCtrl* listCtrl_;
  std::function<void(const SourceSite&)> siteChosen_;
};

}  // namespace quillmap
