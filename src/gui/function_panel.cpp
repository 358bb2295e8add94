#include "gui/function_panel.h"

#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include "gui/reach_panel.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr const char* kFilterHint = "filter functions (part of a name, or its letters in order)";
constexpr int kColumnWidths[] = {200, 220, 60, 100, 60, 60};

// The list asks for the text of the rows in sight only.
class FunctionListCtrl : public wxListCtrl {
 public:
  FunctionListCtrl(wxWindow* parent, const FunctionList& list)
      : wxListCtrl(parent, FunctionPanel::kFunctionListCtrl, wxDefaultPosition, wxDefaultSize,
                   wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL),
        list_(list) {
    for (size_t i = 0; i < std::size(kFunctionColumnTitles); ++i) {
      const bool number = i == static_cast<size_t>(FunctionColumn::kLine) ||
                          i >= static_cast<size_t>(FunctionColumn::kCallers);
      AppendColumn(kFunctionColumnTitles[i], number ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                   FromDIP(kColumnWidths[i]));
    }
  }

 protected:
  wxString OnGetItemText(long row, long column) const override {
    return ToWx(list_.CellText(static_cast<size_t>(row), static_cast<FunctionColumn>(column)));
  }

 private:
  const FunctionList& list_;
};

class NodeData : public wxTreeItemData {
 public:
  explicit NodeData(const CallsTreeNode& node) : node(node) {}
  CallsTreeNode node;
  bool filled = false;
};
}  // namespace

FunctionPanel::FunctionPanel(wxWindow* parent, FunctionList& list) : wxPanel(parent), list_(list) {
  filter_ = new wxTextCtrl(this, kFilterBox, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                           wxTE_PROCESS_ENTER);
  filter_->SetHint(kFilterHint);
  listCtrl_ = new FunctionListCtrl(this, list_);
  tree_ = new wxTreeCtrl(this, kCallsTree, wxDefaultPosition, wxDefaultSize,
                         wxTR_DEFAULT_STYLE | wxTR_HIDE_ROOT | wxTR_SINGLE);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(filter_, 0, wxEXPAND | wxALL, 2);
  sizer->Add(listCtrl_, 3, wxEXPAND);
  sizer->Add(tree_, 2, wxEXPAND | wxTOP, 2);
  SetSizer(sizer);

  filter_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
    list_.SetFilter(FromWx(filter_->GetValue()));
    listCtrl_->SetItemCount(static_cast<long>(list_.rows()));
    if (list_.rows() > 0) listCtrl_->EnsureVisible(0);
    listCtrl_->Refresh();
  });
  // Enter takes the best match; Down goes into the list.
  filter_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { ChooseRow(0); });
  filter_->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_DOWN || list_.rows() == 0) {
      event.Skip();
      return;
    }
    listCtrl_->SetFocus();
    listCtrl_->SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
  });
  listCtrl_->Bind(wxEVT_LIST_ITEM_ACTIVATED,
                  [this](wxListEvent& event) { ChooseRow(event.GetIndex()); });
  listCtrl_->Bind(wxEVT_LIST_ITEM_SELECTED,
                  [this](wxListEvent& event) { ChooseRow(event.GetIndex()); });
  tree_->Bind(wxEVT_TREE_ITEM_EXPANDING, &FunctionPanel::OnExpanding, this);
  tree_->Bind(wxEVT_TREE_ITEM_ACTIVATED, &FunctionPanel::OnTreeActivated, this);
  listCtrl_->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK,
                  [this](wxListEvent& event) { ShowReachMenu(ReachNameOfRow(event.GetIndex())); });
  tree_->Bind(wxEVT_TREE_ITEM_MENU,
              [this](wxTreeEvent& event) { ShowReachMenu(ReachNameOfEntry(event.GetItem())); });
}

std::string FunctionPanel::ReachNameOfRow(long row) const {
  const std::optional<uint32_t> function = list_.FunctionAt(static_cast<size_t>(row));
  return function ? ReachNameOf(*list_.index(), *function) : std::string();
}

std::string FunctionPanel::ReachNameOfEntry(const wxTreeItemId& item) const {
  const CallsTreeNode* node = NodeOf(item);
  if (node == nullptr || list_.index() == nullptr) return {};
  const FunctionIndex& index = *list_.index();
  if (node->kind != CallsTreeNode::Kind::kCallee) return ReachNameOf(index, node->function);
  return std::string(index.model().NameOf(index.model().calls[node->call].callee));
}

void FunctionPanel::ShowReachMenu(const std::string& name) {
  if (name.empty() || !reach_) return;
  wxMenu menu;
  AppendReachItems(menu, true);
  const ReachQueryKind kind = ReachItemKind(GetPopupMenuSelectionFromUser(menu));
  if (kind != ReachQueryKind::kNone) reach_(kind, name);
}

void FunctionPanel::Reload() {
  tree_->DeleteAllItems();
  list_.SetFilter(FromWx(filter_->GetValue()));
  listCtrl_->SetItemCount(static_cast<long>(list_.rows()));
  listCtrl_->Refresh();
}

void FunctionPanel::ChooseRow(long row) {
  const std::optional<uint32_t> function = list_.FunctionAt(static_cast<size_t>(row));
  if (!function) return;
  ShowCallsOf(*function);
  if (chosen_) chosen_(*function);
}

const CallsTreeNode* FunctionPanel::NodeOf(const wxTreeItemId& item) const {
  const auto* data = item.IsOk() ? dynamic_cast<NodeData*>(tree_->GetItemData(item)) : nullptr;
  return data != nullptr ? &data->node : nullptr;
}

void FunctionPanel::ShowCallsOf(uint32_t function) {
  tree_->DeleteAllItems();
  const wxTreeItemId root = tree_->AddRoot(wxEmptyString);
  for (const CallsTreeNode& node : CallsTreeRoots(function)) AddTreeEntry(root, node);
}

void FunctionPanel::AddTreeEntry(const wxTreeItemId& parent, const CallsTreeNode& node) {
  const FunctionIndex& index = *list_.index();
  const wxTreeItemId item =
      tree_->AppendItem(parent, ToWx(CallsTreeLabel(index, node)), -1, -1, new NodeData(node));
  tree_->SetItemHasChildren(item, CallsTreeHasChildren(index, node));
}

void FunctionPanel::OnExpanding(wxTreeEvent& event) {
  auto* data = dynamic_cast<NodeData*>(tree_->GetItemData(event.GetItem()));
  if (data == nullptr || data->filled || list_.index() == nullptr) return;
  data->filled = true;
  for (const CallsTreeNode& child : CallsTreeChildren(*list_.index(), data->node)) {
    AddTreeEntry(event.GetItem(), child);
  }
}

void FunctionPanel::OnTreeActivated(wxTreeEvent& event) {
  const CallsTreeNode* node = NodeOf(event.GetItem());
  if (node == nullptr || list_.index() == nullptr) return;
  if (siteChosen_) siteChosen_(CallsTreeSite(*list_.index(), *node));
}

}  // namespace quillmap
