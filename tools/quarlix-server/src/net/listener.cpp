#include "net/listener.h"

#include "net/malloc_tuning.h"

#include <openssl/crypto.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A client being refused sends its LOGIN7 within this time, or is closed.
constexpr std::chrono::seconds kRefusalTimeout(5);
// A client on probation sends its LOGIN7 within this time, or is closed: room
// for a pool's connections on a loaded machine, long before the login time-out.
constexpr std::chrono::seconds kProbationTimeout(10);

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

std::string describeAddress(const sockaddr_storage& storage) {
  if (storage.ss_family == AF_INET)
    return hostOf(storage) + ":" + std::to_string(ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port));
  return "[" + hostOf(storage) +
         "]:" + std::to_string(ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port));
}

}  // namespace

Listener::Listener(const AdmissionLimits& limits, std::function<void(const std::string&)> logLine)
    : admission_(limits, std::move(logLine)) {
  if (::pipe2(abandon_, O_CLOEXEC) != 0) abandon_[0] = abandon_[1] = -1;
}

Listener::~Listener() {
  if (fd_ >= 0) ::close(fd_);
  abandonAll();
  std::unique_lock<std::mutex> lock(mutex_);
  for (Worker& worker : workers_) {
    lock.unlock();
    if (worker.thread.joinable()) worker.thread.join();
    lock.lock();
  }
  lock.unlock();
  for (int fd : abandon_)
    if (fd >= 0) ::close(fd);
}

bool Listener::open(const std::string& host, unsigned port, bool loopbackOnly, std::string& error) {
  if (abandon_[0] < 0) {
    error = "cannot create the listener's pipe";
    return false;
  }
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

unsigned Listener::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void Listener::joinFinished() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (!it->done) {
      ++it;
      continue;
    }
    std::thread finished = std::move(it->thread);
    it = workers_.erase(it);
    lock.unlock();
    finished.join();
    lock.lock();
  }
}

void Listener::start(Connection connection, Admission::Verdict verdict) {
  std::lock_guard<std::mutex> lock(mutex_);
  workers_.emplace_back();
  Worker* worker = &workers_.back();
  ++running_;
  try {
    worker->thread = std::thread([this, worker, connection, verdict]() mutable {
      {
        AdmissionTicket ticket(admission_, connection.address, verdict);
        connection.ticket = &ticket;
        serve_(connection);
        // A connection on probation that never sent its LOGIN7 was refused in effect.
        if (ticket.onProbation())
          admission_.logRefusal("refused connection " + std::to_string(connection.number) + " from " + connection.peer +
                                ": " + ticket.refusal());
      }
      giveBackFreedMemory();
      // OpenSSL's state of this thread goes now, not at some point after
      // the server may have exited.
      OPENSSL_thread_stop();
      std::lock_guard<std::mutex> done(mutex_);
      worker->done = true;
      --running_;
      ended_.notify_all();
    });
  } catch (const std::system_error&) {
    // No thread: the connection closes, and its ticket gives its place back at once.
    ::close(connection.fd);
    workers_.pop_back();
    --running_;
    AdmissionTicket unused(admission_, connection.address, verdict);
  }
}

bool Listener::run(int stopFd, std::chrono::milliseconds loginTimeout, Serve serve, std::chrono::milliseconds drain,
                   std::chrono::milliseconds grace) {
  serve_ = std::move(serve);
  const auto refusalTime = std::min<std::chrono::milliseconds>(loginTimeout, kRefusalTimeout);
  const auto probationTime = std::min<std::chrono::milliseconds>(loginTimeout, kProbationTimeout);
  std::uint32_t number = 0;
  while (true) {
    joinFinished();
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(fds, 2, 1000) < 0) {
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
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Connection connection;
    connection.fd = fd;
    connection.number = ++number;
    connection.peer = describeAddress(peer);
    connection.address = hostOf(peer);
    const Admission::Verdict verdict = admission_.enter(connection.address);
    // A client on probation or being refused sends its LOGIN7 soon, or is closed.
    const auto connected = Admission::Clock::now();
    connection.loginDeadline =
        connected +
        (verdict == Admission::Verdict::Admit || verdict == Admission::Verdict::Probation ? loginTimeout : refusalTime);
    connection.firstDeadline = verdict == Admission::Verdict::Admit       ? connection.loginDeadline
                               : verdict == Admission::Verdict::Probation ? connected + probationTime
                                                                          : connected + refusalTime;
    if (verdict != Admission::Verdict::Admit && verdict != Admission::Verdict::Probation) {
      admission_.logRefusal("refused connection " + std::to_string(connection.number) + " from " + connection.peer +
                            ": " + admission_.refusalText(verdict, connection.address));
      if (!admission_.beginRefusal()) {
        ::close(fd);
        continue;
      }
    }
    start(std::move(connection), verdict);
  }
  ::close(fd_);
  fd_ = -1;
  admission_.stop();
  if (waitForWorkers(drain)) return true;
  abandonAll();
  return waitForWorkers(grace);
}

bool Listener::waitForWorkers(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool ended = ended_.wait_for(lock, limit, [this] { return running_ == 0; });
  lock.unlock();
  joinFinished();
  return ended;
}

void Listener::abandonAll() {
  if (abandon_[1] < 0) return;
  const char byte = 1;
  ssize_t ignored = ::write(abandon_[1], &byte, 1);
  (void)ignored;
}
