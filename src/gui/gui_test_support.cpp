#include "gui/gui_test_support.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include "gui/wx_text.h"

namespace quillmap::testing {

namespace {
int activeTestDialogHooks = 0;
constexpr int kSettleMilliseconds = 50;
constexpr int kPollMilliseconds = 5;
}  // namespace

TestDialogHook::TestDialogHook(const char* file, int line, const char* function)
    : wxTestingModalHook(file, line, function) {
  ++activeTestDialogHooks;
}

TestDialogHook::~TestDialogHook() { --activeTestDialogHooks; }

bool TestDialogHook::Active() { return activeTestDialogHooks > 0; }

int TestDialogHook::Enter(wxDialog* dialog) {
  const int answer = wxTestingModalHook::Enter(dialog);
  return answer == wxID_NONE ? wxID_CANCEL : answer;
}

void TestDialogHook::ReportFailure(const wxString& message) { ADD_FAILURE() << FromWx(message); }

int UnexpectedDialogHook::Enter(wxDialog* dialog) {
  if (TestDialogHook::Active()) return wxID_NONE;
  ADD_FAILURE() << "unexpected modal dialog \"" << FromWx(dialog->GetTitle()) << "\"";
  return wxID_CANCEL;
}

bool YieldUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    wxYield();
    wxMilliSleep(kPollMilliseconds);
  }
  return true;
}

void Settle() {
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kSettleMilliseconds);
  while (std::chrono::steady_clock::now() < end) {
    wxYield();
    wxMilliSleep(kPollMilliseconds);
  }
}

void ClickOn(wxWindow& window) {
  wxUIActionSimulator simulator;
  const wxRect rect = window.GetScreenRect();
  simulator.MouseMove(rect.GetLeft() + rect.GetWidth() / 2, rect.GetTop() + rect.GetHeight() / 2);
  Settle();
  simulator.MouseClick();
  Settle();
}

bool FocusOn(wxWindow& window) {
  wxGetTopLevelParent(&window)->Raise();
  window.SetFocus();
  return YieldUntil([&window] { return wxWindow::FindFocus() == &window; });
}

void TypeText(const std::string& text) {
  wxUIActionSimulator simulator;
  simulator.Text(text.c_str());
  Settle();
}

void PressKey(int keyCode, int modifiers) {
  wxUIActionSimulator simulator;
  simulator.Char(keyCode, modifiers);
  Settle();
}

}  // namespace quillmap::testing
