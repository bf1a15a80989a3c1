// SignalGuard: holds back SIGINT, SIGTERM and SIGHUP for the few steps that
// must not be cut in two (linking a finished file into place, appending a
// record to every Result file). A signal that arrives meanwhile is delivered
// when the guard ends, so the process still stops, just not halfway.
#pragma once

#include <pthread.h>
#include <signal.h>

namespace lumtra {

class SignalGuard {
 public:
  SignalGuard() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalGuard() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace lumtra
