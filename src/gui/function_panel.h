/// The Functions page on the desktop: a filter box over the list of every function of the last
/// run (a virtual list, so that it shows a whole tree's functions at once), and below it the
/// callers and callees of the chosen function as a tree that opens a level at a time. Choosing a
/// function or a call site is handed to the window, which focuses the Graph view and shows the
/// code; the filtering and the tree's entries are FunctionList's and the calls tree's.
#pragma once

#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/treectrl.h>

#include <functional>

#include "dialog/calls_tree.h"
#include "dialog/function_list.h"
#include "dialog/reach_list.h"

class wxTextCtrl;

namespace quillmap {

class FunctionPanel : public wxPanel {
 public:
  enum : int { kFilterBox = 1401, kFunctionListCtrl, kCallsTree };

  FunctionPanel(wxWindow* parent, FunctionList& list);

  /// Shows the list as it is now (after a run, or a run started), filtered by the box's text.
  void Reload();
  /// Chooses the function at a row of the list: shows its calls and tells the window.
  void ChooseRow(long row);
  /// Called with the chosen function, and with a call site the user double-clicked in the tree.
  void SetOnFunctionChosen(std::function<void(uint32_t)> chosen) { chosen_ = std::move(chosen); }
  void SetOnSiteChosen(std::function<void(const SourceSite&)> chosen) {
    siteChosen_ = std::move(chosen);
  }

  /// Called with a reachability query that the context menu of a row or a tree entry asked
  /// about its function.
  void SetOnReach(std::function<void(ReachQueryKind, const std::string&)> reach) {
    reach_ = std::move(reach);
  }
  /// The name that the reach items of a row's menu ask about ("" past the end).
  std::string ReachNameOfRow(long row) const;
  /// The same for a tree entry: the caller or callee it names, or the chosen function.
  std::string ReachNameOfEntry(const wxTreeItemId& item) const;

  wxTextCtrl& filterBox() { return *filter_; }
  wxListCtrl& listCtrl() { return *listCtrl_; }
  wxTreeCtrl& tree() { return *tree_; }
  /// The entry behind a tree item (null for the hidden root).
  const CallsTreeNode* NodeOf(const wxTreeItemId& item) const;

 private:
  void ShowCallsOf(uint32_t function);
  void AddTreeEntry(const wxTreeItemId& parent, const CallsTreeNode& node);
  void OnExpanding(wxTreeEvent& event);
  void OnTreeActivated(wxTreeEvent& event);
  void ShowReachMenu(const std::string& name);

  FunctionList& list_;
  wxTextCtrl* filter_;
  wxListCtrl* listCtrl_;
  wxTreeCtrl* tree_;
  std::function<void(uint32_t)> chosen_;
  std::function<void(const SourceSite&)> siteChosen_;
  std::function<void(ReachQueryKind, const std::string&)> reach_;
};

}  // namespace quillmap
