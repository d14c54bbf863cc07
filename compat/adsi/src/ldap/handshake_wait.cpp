#include "ldap/handshake_wait.h"

#include <poll.h>

#include <cerrno>

namespace adsi {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until the socket is ready for `events` or the deadline passes;
// false (errno ETIMEDOUT) past the deadline.
bool waitReady(Sockbuf_IO_Desc* layer, short events) {
  auto* wait = static_cast<HandshakeWait*>(layer->sbiod_pvt);
  ber_socket_t descriptor = -1;
  ber_sockbuf_ctrl(layer->sbiod_sb, LBER_SB_OPT_GET_FD, &descriptor);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wait->deadline - Clock::now()).count();
    if (left <= 0 || descriptor < 0) {
      wait->expired = true;
      errno = ETIMEDOUT;
      return false;
    }
    pollfd fd{descriptor, events, 0};
    int ready = poll(&fd, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // the retried call reports the socket's fault
  }
}

template <class Step>
ber_slen_t waiting(Sockbuf_IO_Desc* layer, short events, Step step) {
  auto* wait = static_cast<HandshakeWait*>(layer->sbiod_pvt);
  for (;;) {
    ber_slen_t done = step();
    if (done >= 0 || !wait->armed || (errno != EAGAIN && errno != EWOULDBLOCK)) return done;
    if (!waitReady(layer, events)) return -1;
  }
}

int setup(Sockbuf_IO_Desc* layer, void* argument) {
  layer->sbiod_pvt = argument;
  return 0;
}
int remove(Sockbuf_IO_Desc*) { return 0; }
int control(Sockbuf_IO_Desc* layer, int option, void* argument) {
  return LBER_SBIOD_CTRL_NEXT(layer, option, argument);
}
ber_slen_t readLayer(Sockbuf_IO_Desc* layer, void* buffer, ber_len_t length) {
  return waiting(layer, POLLIN, [&] { return LBER_SBIOD_READ_NEXT(layer, buffer, length); });
}
ber_slen_t writeLayer(Sockbuf_IO_Desc* layer, void* buffer, ber_len_t length) {
  return waiting(layer, POLLOUT, [&] { return LBER_SBIOD_WRITE_NEXT(layer, buffer, length); });
}
int closeLayer(Sockbuf_IO_Desc*) { return 0; }

Sockbuf_IO kHandshakeWaitIo = {setup, remove, control, readLayer, writeLayer, closeLayer};

}  // namespace

// libldap adds the socket's own layer after the connect callbacks, at the
// provider level, and TLS at the transport level: one level above the
// provider keeps this layer between the two whatever the order.
int addHandshakeWait(Sockbuf* socket, HandshakeWait* wait) {
  return ber_sockbuf_add_io(socket, &kHandshakeWaitIo, LBER_SBIOD_LEVEL_PROVIDER + 1, wait);
}

}  // namespace adsi
