#include "gui/reach_panel.h"

#include <wx/button.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/wrapsizer.h>

#include "dialog/scan_dialog.h"
#include "gui/wx_text.h"

namespace quillmap {

namespace {
constexpr const char* kNameHint = "function (a name, a pattern such as isr_*, or NAME@FILE)";
constexpr const char* kFromHint = "start of the chain";
constexpr const char* kReachesLabel = "What it reaches";
constexpr const char* kReachedByLabel = "What reaches it";
constexpr const char* kWhyLabel = "Why reachable from";
constexpr const char* kDeadLabel = "Dead functions";
constexpr const char* kDeadTip =
    "Functions that no entry point reaches: main, the patterns of [rules] entry, and every "
    "function that a call through a pointer may reach";
constexpr const char* kNothingAsked =
    "ask what a function reaches, what reaches it, why, or "
    "which functions are dead";
constexpr int kColumnWidths[] = {50, 180, 220, 260, 140};
constexpr ReachQueryKind kMenuKinds[] = {ReachQueryKind::kReaches, ReachQueryKind::kReachedBy,
                                         ReachQueryKind::kWhy};
constexpr const char* kMenuLabels[] = {kReachesLabel, kReachedByLabel, "Why reachable from..."};

// The list asks for the text of the rows in sight only.
class ReachListCtrl : public wxListCtrl {
 public:
  ReachListCtrl(wxWindow* parent, const ScanDialog& logic)
      : wxListCtrl(parent, ReachPanel::kReachListCtrl, wxDefaultPosition, wxDefaultSize,
                   wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL),
        logic_(logic) {
    for (size_t i = 0; i < std::size(kReachColumnTitles); ++i) {
      AppendColumn(kReachColumnTitles[i], i == 0 ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                   FromDIP(kColumnWidths[i]));
    }
  }

 protected:
  wxString OnGetItemText(long row, long column) const override {
    return ToWx(
        logic_.reachList().CellText(static_cast<size_t>(row), static_cast<ReachColumn>(column)));
  }

 private:
  const ScanDialog& logic_;
};
}  // namespace

void AppendReachItems(wxMenu& menu, bool enable) {
  for (size_t i = 0; i < std::size(kMenuKinds); ++i) {
    menu.Append(kReachItems + static_cast<int>(kMenuKinds[i]), kMenuLabels[i])->Enable(enable);
  }
}

ReachQueryKind ReachItemKind(int item) {
  for (const ReachQueryKind kind : kMenuKinds) {
    if (item == kReachItems + static_cast<int>(kind)) return kind;
  }
  return ReachQueryKind::kNone;
}

ReachPanel::ReachPanel(wxWindow* parent, ScanDialog& logic) : wxPanel(parent), logic_(logic) {
  name_ = new wxTextCtrl(this, kNameBox, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                         wxTE_PROCESS_ENTER);
  name_->SetHint(kNameHint);
  auto* reaches = new wxButton(this, kReachesButton, kReachesLabel);
  auto* reachedBy = new wxButton(this, kReachedByButton, kReachedByLabel);
  auto* why = new wxButton(this, kWhyButton, kWhyLabel);
  from_ = new wxTextCtrl(this, kFromBox, kDefaultFrom, wxDefaultPosition, wxDefaultSize,
                         wxTE_PROCESS_ENTER);
  from_->SetHint(kFromHint);
  auto* dead = new wxButton(this, kDeadButton, kDeadLabel);
  dead->SetToolTip(kDeadTip);
  heading_ = new wxStaticText(this, kHeadingText, kNothingAsked, wxDefaultPosition, wxDefaultSize,
                              wxST_ELLIPSIZE_END);
  listCtrl_ = new ReachListCtrl(this, logic_);

  // The buttons wrap onto more rows on a narrow page rather than being cut off.
  auto* buttons = new wxWrapSizer(wxHORIZONTAL);
  for (wxWindow* button : std::initializer_list<wxWindow*>{reaches, reachedBy, dead}) {
    buttons->Add(button, 0, wxRIGHT | wxBOTTOM, 4);
  }
  auto* whyRow = new wxBoxSizer(wxHORIZONTAL);
  whyRow->Add(why, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  whyRow->Add(from_, 1, wxALIGN_CENTER_VERTICAL);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(name_, 0, wxEXPAND | wxALL, 2);
  sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT, 2);
  sizer->Add(whyRow, 0, wxEXPAND | wxLEFT | wxRIGHT, 2);
  sizer->Add(heading_, 0, wxEXPAND | wxALL, 4);
  sizer->Add(listCtrl_, 1, wxEXPAND);
  SetSizer(sizer);

  const auto bindAsk = [this](wxWindow* button, ReachQueryKind kind) {
    button->Bind(wxEVT_BUTTON, [this, kind](wxCommandEvent&) { Ask(kind); });
  };
  bindAsk(reaches, ReachQueryKind::kReaches);
  bindAsk(reachedBy, ReachQueryKind::kReachedBy);
  bindAsk(why, ReachQueryKind::kWhy);
  bindAsk(dead, ReachQueryKind::kDead);
  name_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { Ask(ReachQueryKind::kReaches); });
  from_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { Ask(ReachQueryKind::kWhy); });
  listCtrl_->Bind(wxEVT_LIST_ITEM_ACTIVATED,
                  [this](wxListEvent& event) { ChooseRow(event.GetIndex()); });
}

void ReachPanel::Ask(ReachQueryKind kind, const std::string& name) {
  if (!name.empty()) name_->ChangeValue(ToWx(name));
  ReachQuery query;
  query.kind = kind;
  query.name = FromWx(name_->GetValue().Strip(wxString::both));
  query.from = FromWx(from_->GetValue().Strip(wxString::both));
  if (query.from.empty()) query.from = kDefaultFrom;
  logic_.AskReach(query);
  Reload();
}

void ReachPanel::Reload() {
  const ReachList& list = logic_.reachList();
  heading_->SetLabel(list.query().kind == ReachQueryKind::kNone && !list.failed()
                         ? wxString(kNothingAsked)
                         : ToWx(list.heading()));
  heading_->SetToolTip(heading_->GetLabel());
  listCtrl_->SetItemCount(static_cast<long>(list.rows()));
  if (list.rows() > 0) listCtrl_->EnsureVisible(0);
  listCtrl_->Refresh();
}

void ReachPanel::ChooseRow(long row) {
  const std::optional<SourceSite> site = logic_.reachList().SiteOf(static_cast<size_t>(row));
  if (site && siteChosen_) siteChosen_(*site);
}

std::string ReachPanel::heading() const { return FromWx(heading_->GetLabel()); }

}  // namespace quillmap
