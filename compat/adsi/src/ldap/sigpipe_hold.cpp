#include "ldap/sigpipe_hold.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace adsi {
namespace {

sigset_t pipeOnly() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool pipePending() {
  sigset_t pending;
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeHold::SigpipeHold() {
  const sigset_t pipe = pipeOnly();
  held_ = pthread_sigmask(SIG_BLOCK, &pipe, &previous_) == 0;
  pendingBefore_ = held_ && pipePending();
}

SigpipeHold::~SigpipeHold() {
  if (!held_) return;
  const int savedErrno = errno;
  if (!pendingBefore_ && pipePending()) {
    const sigset_t pipe = pipeOnly();
    const timespec now{0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  errno = savedErrno;
}

}  // namespace adsi
