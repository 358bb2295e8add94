/// The language server on a pair of file descriptors (standard input and output): one thread
/// reads and frames the client's messages, the whole scan runs on another, and the messages are
/// handled in order on the calling thread, which sleeps while there is nothing to do.
#pragma once

namespace quillmap::lsp {

/// Serves until "exit" or the end of the input; returns the exit status (0 after shutdown and
/// exit, 1 otherwise).
int RunLanguageServer(int inputFd, int outputFd);

}  // namespace quillmap::lsp
