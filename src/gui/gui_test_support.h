/// Helpers for the tests that drive the real dialog on an X server: waiting for the toolkit,
/// simulated mouse and keyboard input, and modal boxes that fail a test instead of blocking it.
#pragma once

// Every wxTEST_DIALOG in the GUI tests uses this hook: its failures are test failures, and an
// unexpected box is dismissed instead of shown.
#define wxTEST_DIALOG_HOOK_CLASS ::quillmap::testing::TestDialogHook

#include <wx/modalhook.h>
#include <wx/testing.h>
#include <wx/window.h>

#include <chrono>
#include <functional>
#include <string>

namespace quillmap::testing {

class TestDialogHook : public wxTestingModalHook {
 public:
  TestDialogHook(const char* file, int line, const char* function);
  ~TestDialogHook() override;
  /// Whether a wxTEST_DIALOG block is running.
  static bool Active();

 protected:
  int Enter(wxDialog* dialog) override;
  void ReportFailure(const wxString& message) override;
};

/// Registered for the whole test run: a modal box outside any wxTEST_DIALOG block fails the
/// test and is answered with Cancel, so that no test hangs on a box nobody will close.
class UnexpectedDialogHook : public wxModalDialogHook {
 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog*) override {}
};

/// Expects a modal dialog of type T; `answer` inspects it and gives ShowModal's result.
template <class T>
class ExpectDialog : public wxModalExpectation {
 public:
  ExpectDialog(std::function<int(T&)> answer, const char* description)
      : answer_(std::move(answer)), description_(description) {}
  int Invoke(wxDialog* dialog) const override {
    T* expected = dynamic_cast<T*>(dialog);
    return expected != nullptr ? answer_(*expected) : wxID_NONE;
  }

 protected:
  wxString GetDefaultDescription() const override { return description_; }

 private:
  std::function<int(T&)> answer_;
  const char* description_;
};

/// Lets the toolkit work until `done` holds; false when `timeout` passed first.
bool YieldUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));
/// Lets the toolkit work for a short while, for round trips to the X server to land.
void Settle();

/// Moves the simulated mouse to the middle of `window` and clicks it.
void ClickOn(wxWindow& window);
/// Gives `window` the keyboard focus; false when it did not get it.
bool FocusOn(wxWindow& window);
/// Types `text` with the simulated keyboard into the focused control.
void TypeText(const std::string& text);
/// Presses and releases one key (a WXK_ code or a character).
void PressKey(int keyCode, int modifiers = wxMOD_NONE);

}  // namespace quillmap::testing
