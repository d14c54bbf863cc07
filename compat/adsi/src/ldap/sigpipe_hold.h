// libldap writes to its sockets with write(2), so a write to a connection
// the server has closed raises SIGPIPE, whose default action ends the whole
// host process. While a SigpipeHold lives, SIGPIPE is blocked on the calling
// thread; one that an operation raised meanwhile is taken off before the
// thread's mask is restored, and the write fails with EPIPE instead.
#pragma once

#include <signal.h>

namespace adsi {

class SigpipeHold {
 public:
  SigpipeHold();
  ~SigpipeHold();
  SigpipeHold(const SigpipeHold&) = delete;
  SigpipeHold& operator=(const SigpipeHold&) = delete;

 private:
  sigset_t previous_;
  bool held_ = false;
  bool pendingBefore_ = false;  // the host's own SIGPIPE, left as it was
};

}  // namespace adsi
