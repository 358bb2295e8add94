#include "outputs/output_replacement.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace quillmap {
namespace {

using testing::TempDir;

// The child's work while it waits for the signal: threads that allocate and free without
// pause (a handler that allocated on one of them would break the allocator) and a main thread
// that makes and drops temporary outputs (a handler on another thread reads their list while it
// changes). Never returns.
[[noreturn]] void AllocateAndReplaceUntilStopped(const std::string& folder) {
  RemoveTemporaryOutputsOnTermination();
  for (int i = 0; i < 2; ++i) {
    std::thread([] {
      std::vector<void*> blocks(64);
      for (size_t n = 0;; ++n) {
        void*& block = blocks[n % blocks.size()];
        std::free(block);
        block = std::malloc(16 + n % 512);
      }
    }).detach();
  }
  for (int n = 0;; ++n) {
    OutputTarget target;
    if (!PrepareOutput(folder + "/out" + std::to_string(n % 5) + ".dot", false, target)) {
      _exit(3);
    }
    if (n % 3 != 0) DiscardOutput(target);
  }
}

// A termination signal at any moment ends the process by that signal, with none of its
// temporary files left, whichever thread takes it and whatever that thread was doing.
TEST(TerminationSignals, EndTheRunByTheSignalAndLeaveNoTemporaryFileAtAnyMoment) {
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) AllocateAndReplaceUntilStopped(dir.path());
    std::this_thread::sleep_for(std::chrono::microseconds(500 + round * 300));
    const int signal = round % 3 == 0 ? SIGINT : round % 3 == 1 ? SIGTERM : SIGHUP;
    kill(child, signal);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (ended == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      FAIL() << "the stopped process hangs";
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal) << strsignal(WTERMSIG(status));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      left.push_back(entry.path().filename());
    }
    EXPECT_EQ(left, std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace quillmap
