// The GUI tests' main: GoogleTest inside a running wxWidgets application on the display that
// tests/run-with-xvfb.sh provides.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/memconf.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "gui/gui_test_support.h"
#include "gui/wx_text.h"

namespace {
// A failed wx assertion is a failed test, not a message box.
void FailOnAssert(const wxString& file, int line, const wxString& function, const wxString& cond,
                  const wxString& message) {
  ADD_FAILURE_AT(quillmap::FromWx(file).c_str(), line)
      << "wx assertion " << quillmap::FromWx(cond) << " in " << quillmap::FromWx(function) << ": "
      << quillmap::FromWx(message);
}
}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    std::cerr << "gui_test: no DISPLAY; run it through tests/run-with-xvfb.sh\n";
    return 1;
  }
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) {
    std::cerr << "gui_test: cannot start wxWidgets on " << display << '\n';
    return 1;
  }
  // A queued wx error would otherwise become a modal box at exit.
  delete wxLog::SetActiveTarget(new wxLogStderr);
  wxSetAssertHandler(FailOnAssert);
  // The window's place and recent configurations stay in memory, out of the user's settings.
  delete wxConfigBase::Set(new wxMemoryConfig);
  quillmap::testing::UnexpectedDialogHook unexpectedDialogs;
  unexpectedDialogs.Register();

  int status = 0;
  {
    wxGUIEventLoop loop;
    wxEventLoopActivator activate(&loop);
    status = RUN_ALL_TESTS();
  }
  unexpectedDialogs.Unregister();
  wxEntryCleanup();
  return status;
}
