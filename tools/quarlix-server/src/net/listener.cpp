#include "net/listener.h"

#include "main/malloc_tuning.h"
#include "main/session.h"

#include <openssl/crypto.h>

#include <optional>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

bool isLoopback(const sockaddr* address) {
  if (address->sa_family == AF_INET)
    return (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 24) == 127;
  if (address->sa_family == AF_INET6) {
    const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&a);
  }
  return false;
}

// The client's address without its port: what per-address limits count.
std::string hostOf(const sockaddr_storage& storage) {
  char host[INET6_ADDRSTRLEN] = "?";
  if (storage.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, host, sizeof host);
  else
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, host, sizeof host);
  return host;
}

// A refused client is told why within this time, or closed.
constexpr std::chrono::seconds kRefusalTimeout(5);

std::string describeAddress(const sockaddr_storage& storage) {
  char host[INET6_ADDRSTRLEN] = "?";
  unsigned port = 0;
  if (storage.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&storage);
    inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  const auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
  inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
  port = ntohs(a->sin6_port);
  return "[" + std::string(host) + "]:" + std::to_string(port);
}

}  // namespace

Listener::~Listener() {
  if (fd_ >= 0) ::close(fd_);
}

bool Listener::open(const std::string& host, unsigned port, bool loopbackOnly, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (status != 0) {
    error = "cannot resolve " + host + ": " + gai_strerror(status);
    return false;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> holder(found, &freeaddrinfo);
  for (addrinfo* a = found; a; a = a->ai_next) {
    if (loopbackOnly && !isLoopback(a->ai_addr)) {
      error = "without --tls-cert the server listens on loopback addresses only, and " + host + " is not one";
      continue;
    }
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 128) == 0) {
      fd_ = fd;
      return true;
    }
    error = "cannot listen on " + host + ":" + service + ": " + std::strerror(errno);
    ::close(fd);
  }
  if (error.empty()) error = "cannot listen on " + host + ":" + service;
  return false;
}

std::string Listener::boundAddress() const {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&storage), &length);
  return describeAddress(storage);
}

void Listener::threadStarted() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++threads_;
}

void Listener::threadEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  --threads_;
  ended_.notify_all();
}

void Listener::logRefusal(const ServerContext& context, const std::string& text) {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRefusalLog_ < std::chrono::seconds(1)) {
    ++refusalsNotLogged_;
    return;
  }
  std::string more =
      refusalsNotLogged_ ? " (and " + std::to_string(refusalsNotLogged_) + " refused since the last such line)" : "";
  context.log->line(text + more);
  lastRefusalLog_ = now;
  refusalsNotLogged_ = 0;
}

bool Listener::run(const ServerContext& context, const AdmissionLimits& limits, unsigned drainSeconds) {
  Admission admission(limits);
  std::uint32_t number = 0;
  while (true) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {context.stopFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents & POLLIN) break;
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors or a connection reset before accept: the next one may do.
      if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    const auto connected = tds::Clock::now();
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ++number;
    const std::string address = hostOf(peer);
    const Admission::Verdict verdict = admission.enter(address);
    const bool admitted = verdict == Admission::Verdict::Admit;
    if (!admitted) {
      const std::string text = admission.refusalText(verdict, address);
      logRefusal(context,
                 "refused connection " + std::to_string(number) + " from " + describeAddress(peer) + ": " + text);
      if (!admission.beginRefusal()) {
        ::close(fd);
        continue;
      }
    }
    SessionStart start;
    start.address = address;
    start.loginDeadline = connected + (admitted ? context.loginTimeout : std::chrono::milliseconds(kRefusalTimeout));
    if (!admitted) start.refusal = admission.refusalText(verdict, address);
    threadStarted();
    try {
      std::thread([this, fd, peer, number, &context, &admission, admitted, start]() mutable {
        {
          std::optional<AdmissionTicket> ticket;
          if (admitted) {
            ticket.emplace(admission, start.address);
            start.ticket = &*ticket;
          }
          const std::string peerText = describeAddress(peer);
          ServerLog::labelThread("connection " + std::to_string(number) + " from " + peerText);
          Session(fd, peerText, number, context, std::move(start)).run();
        }
        if (!admitted) admission.endRefusal();
        giveBackFreedMemory();
        // OpenSSL's state of this thread goes now, not at some point after
        // the server may have exited.
        OPENSSL_thread_stop();
        threadEnded();
      }).detach();
    } catch (const std::system_error&) {
      ::close(fd);
      if (admitted)
        admission.leave(address, false);
      else
        admission.endRefusal();
      threadEnded();
    }
  }
  ::close(fd_);
  fd_ = -1;
  std::unique_lock<std::mutex> lock(mutex_);
  if (ended_.wait_for(lock, std::chrono::seconds(drainSeconds), [this] { return threads_ == 0; })) return true;
  context.log->line(std::to_string(threads_) + " connections still running at exit");
  return false;
}
