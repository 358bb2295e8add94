/// The program's desktop front end: opens the main dialog and returns when it has ended.
/// Free of toolkit headers, so that main() can choose between this and the batch mode.
#pragma once

namespace quillmap {

/// Runs the main dialog modally; the program's arguments are taken as its start-up command
/// line. Without a display it says so on standard error and returns kExitUsage, without
/// starting the toolkit.
int RunDialogWindow(int argc, char** argv);

/// What the program says when there is no display to open the dialog on.
const char* NoDisplayMessage();

}  // namespace quillmap
