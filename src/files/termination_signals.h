/// Blocks the termination signals (SIGINT, SIGTERM, SIGHUP) on the calling thread for a scope.
#pragma once

#include <pthread.h>

#include <csignal>

namespace quillmap {

/// SIGINT, SIGTERM and SIGHUP blocked on this thread for the object's life; a thread started
/// meanwhile inherits the mask.
class TerminationSignalsBlocked {
 public:
  TerminationSignalsBlocked() {
    sigset_t termination;
    sigemptyset(&termination);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&termination, signal);
    pthread_sigmask(SIG_BLOCK, &termination, &previous_);
  }
  ~TerminationSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  TerminationSignalsBlocked(const TerminationSignalsBlocked&) = delete;
  TerminationSignalsBlocked& operator=(const TerminationSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace quillmap
