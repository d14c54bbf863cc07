#include "net/packet_channel.h"

#include "tds/byte_reader.h"
#include "tds/tds_constants.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <atomic>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tds {

namespace {

// The largest request this server reads: far above any EXEC line, far below
// what would hurt the process.
constexpr size_t kMaxMessageSize = 1 << 20;
// A client that reads nothing of its answer for this long is dropped.
constexpr std::chrono::seconds kWriteTimeout(60);

std::atomic<unsigned> stalledClients{0};
unsigned stalledLimit = 8;

int remainingMilliseconds(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 60000 ? 60000 : static_cast<int>(left);
}

std::string tlsError(const char* what) {
  unsigned long code = ERR_get_error();
  char text[256] = "";
  if (code) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return std::string(what) + (text[0] ? std::string(": ") + text : std::string());
}

// Most clients end a TLS connection by closing the socket, without TLS's
// own close: that is an ordinary close, not a failure.
bool closedWithoutNotify(int error) {
  if (error == SSL_ERROR_SYSCALL) return ERR_peek_error() == 0 && errno == 0;
  if (error != SSL_ERROR_SSL) return false;
  return ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

std::string packetBytes(std::uint8_t type, std::uint8_t status, std::uint8_t id, std::string_view payload) {
  std::string packet;
  packet.reserve(kHeaderSize + payload.size());
  const size_t length = kHeaderSize + payload.size();
  packet += static_cast<char>(type);
  packet += static_cast<char>(status);
  packet += static_cast<char>(length >> 8);
  packet += static_cast<char>(length & 0xFF);
  packet.append("\0\0", 2);  // session id
  packet += static_cast<char>(id);
  packet += '\0';  // window
  packet.append(payload.data(), payload.size());
  return packet;
}

}  // namespace

PacketChannel::PacketChannel(int socketFd, int stopFd, int abandonFd)
    : fd_(socketFd), stopFd_(stopFd), abandonFd_(abandonFd), assembler_(kMaxMessageSize) {}

void PacketChannel::setStalledLimit(unsigned limit) { stalledLimit = limit; }

bool PacketChannel::waitToWrite(short events, Clock::time_point deadline) {
  // A short wait is the network being slower than the server.
  if (waitFor(events, std::min(deadline, Clock::now() + kStallGrace), false)) return true;
  if (!stalled_) {
    unsigned now = stalledClients.load();
    do {
      if (now >= stalledLimit)
        throw ChannelClosed("the client does not read its answer, and " + std::to_string(now) +
                            " other clients are stalled already");
    } while (!stalledClients.compare_exchange_weak(now, now + 1));
    stalled_ = true;
  }
  return waitFor(events, deadline, false);
}

void PacketChannel::wroteSome() {
  if (!stalled_) return;
  stalled_ = false;
  --stalledClients;
}

PacketChannel::~PacketChannel() {
  wroteSome();
  if (ssl_) {
    if (tlsActive_) SSL_shutdown(ssl_);
    SSL_free(ssl_);
  }
  ::close(fd_);
}

bool PacketChannel::waitFor(short events, Clock::time_point deadline, bool stoppable) {
  while (true) {
    pollfd fds[3] = {{fd_, events, 0}, {abandonFd_, POLLIN, 0}, {stoppable ? stopFd_ : -1, POLLIN, 0}};
    int wait = remainingMilliseconds(deadline);
    int ready = ::poll(fds, 3, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) throw ChannelClosed("poll failed");
    if (fds[1].revents & POLLIN) throw ChannelClosed("the server stopped waiting for this connection");
    // A request already sent is still answered when the server stops.
    if (fds[0].revents) return true;
    if (fds[2].revents & POLLIN) throw ChannelClosed("the server is stopping");
    if (Clock::now() >= deadline) return false;
  }
}

size_t PacketChannel::readSome(char* buffer, size_t size, Clock::time_point deadline, bool stoppable) {
  while (true) {
    if (tlsActive_) {
      int n = SSL_read(ssl_, buffer, static_cast<int>(size));
      if (n > 0) return static_cast<size_t>(n);
      int error = SSL_get_error(ssl_, n);
      if (error == SSL_ERROR_ZERO_RETURN || closedWithoutNotify(error)) {
        ERR_clear_error();
        throw ChannelClosed("the client closed the connection");
      }
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
        throw ChannelClosed(tlsError("TLS read failed"));
      if (!waitFor(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, stoppable))
        throw ChannelClosed("the client went silent");
      continue;
    }
    ssize_t n = ::recv(fd_, buffer, size, 0);
    if (n > 0) return static_cast<size_t>(n);
    if (n == 0) throw ChannelClosed("the client closed the connection");
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) throw ChannelClosed("the connection failed");
    if (!waitFor(POLLIN, deadline, stoppable)) throw ChannelClosed("the client went silent");
  }
}

void PacketChannel::readExact(char* buffer, size_t size, Clock::time_point deadline, bool stoppable) {
  for (size_t done = 0; done < size;) done += readSome(buffer + done, size - done, deadline, stoppable);
}

Message PacketChannel::readMessageBefore(Clock::time_point deadline) {
  return readMessage(deadline, true, std::chrono::milliseconds::max());
}

Message PacketChannel::readMessage(Clock::time_point idleDeadline, bool stoppable,
                                   std::chrono::milliseconds messageTimeout) {
  bool first = true;
  Clock::time_point deadline = idleDeadline;
  while (true) {
    char head[kHeaderSize];
    readSome(head, 1, deadline, first && stoppable);
    // The rest within messageTimeout; milliseconds::max() keeps the first deadline.
    if (first && messageTimeout != std::chrono::milliseconds::max()) deadline = Clock::now() + messageTimeout;
    first = false;
    readExact(head + 1, kHeaderSize - 1, deadline, false);
    PacketHeader header;
    try {
      header = parseHeader(std::string_view(head, kHeaderSize), kMaxPacketSize + 1);
    } catch (const ProtocolError& e) {
      throw ChannelClosed(e.what());
    }
    std::string payload(header.length - kHeaderSize, '\0');
    readExact(payload.data(), payload.size(), deadline, false);
    try {
      if (assembler_.add(header, payload)) return std::move(assembler_.message());
    } catch (const ProtocolError& e) {
      throw ChannelClosed(e.what());
    }
  }
}

bool PacketChannel::stopping() const {
  pollfd fd = {stopFd_, POLLIN, 0};
  return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);
}

bool PacketChannel::inputWaiting() {
  if (tlsActive_ && SSL_pending(ssl_) > 0) return true;
  pollfd fd = {fd_, POLLIN, 0};
  return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR));
}

void PacketChannel::writeRaw(std::string_view bytes, Clock::time_point deadline) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
      wroteSome();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw ChannelClosed("the client went away");
    if (!waitToWrite(POLLOUT, deadline)) throw ChannelClosed("the client does not read its answer");
  }
}

void PacketChannel::writeAll(std::string_view bytes) {
  const Clock::time_point deadline = Clock::now() + kWriteTimeout;
  if (!tlsActive_) return writeRaw(bytes, deadline);
  for (size_t done = 0; done < bytes.size();) {
    int n = SSL_write(ssl_, bytes.data() + done, static_cast<int>(bytes.size() - done));
    if (n > 0) {
      done += static_cast<size_t>(n);
      wroteSome();
      continue;
    }
    int error = SSL_get_error(ssl_, n);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      ERR_clear_error();
      throw ChannelClosed("TLS write failed");
    }
    if (!waitToWrite(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
      throw ChannelClosed("the client does not read its answer");
  }
}

void PacketChannel::sendPacket(std::uint8_t type, std::uint8_t status, std::string_view payload) {
  writeAll(packetBytes(type, status, packetId_++, payload));
}

void PacketChannel::sendPart(std::uint8_t type, std::string_view payload, bool last) {
  const size_t room = packetSize_ - kHeaderSize;
  do {
    std::string_view piece = payload.substr(0, room);
    payload.remove_prefix(piece.size());
    sendPacket(type, last && payload.empty() ? kEndOfMessage : 0, piece);
  } while (!payload.empty());
}

void PacketChannel::send(std::uint8_t type, std::string_view payload) { sendPart(type, payload, true); }

void PacketChannel::startTls(SSL_CTX* context, Clock::time_point deadline) {
  ssl_ = SSL_new(context);
  if (!ssl_) throw ChannelClosed(tlsError("TLS set-up failed"));
  BIO* input = BIO_new(BIO_s_mem());
  BIO* output = BIO_new(BIO_s_mem());
  if (!input || !output) {
    BIO_free(input);
    BIO_free(output);
    throw ChannelClosed("out of memory");
  }
  SSL_set_bio(ssl_, input, output);
  SSL_set_accept_state(ssl_);
  auto flushHandshake = [&] {
    std::string out;
    char buffer[16384];
    int n;
    while ((n = BIO_read(output, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    if (!out.empty()) {
      // The handshake goes out in PRELOGIN packets, before any packet size is agreed.
      const size_t room = kDefaultPacketSize - kHeaderSize;
      for (size_t at = 0; at < out.size(); at += room) {
        std::string_view piece = std::string_view(out).substr(at, room);
        writeRaw(packetBytes(kPrelogin, at + room >= out.size() ? kEndOfMessage : 0, packetId_++, piece), deadline);
      }
    }
  };
  while (true) {
    int result = SSL_do_handshake(ssl_);
    flushHandshake();
    if (result == 1) break;
    if (SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ) throw ChannelClosed(tlsError("TLS handshake failed"));
    // The client's next handshake bytes, one PRELOGIN packet at a time.
    char head[kHeaderSize];
    readExact(head, kHeaderSize, deadline, false);
    PacketHeader header;
    try {
      header = parseHeader(std::string_view(head, kHeaderSize), kMaxPacketSize + 1);
    } catch (const ProtocolError& e) {
      throw ChannelClosed(e.what());
    }
    if (header.type != kPrelogin) throw ChannelClosed("expected the TLS handshake in a PRELOGIN packet");
    std::string payload(header.length - kHeaderSize, '\0');
    readExact(payload.data(), payload.size(), deadline, false);
    if (BIO_write(input, payload.data(), static_cast<int>(payload.size())) != static_cast<int>(payload.size()))
      throw ChannelClosed("out of memory");
  }
  if (BIO_ctrl_pending(input) != 0) throw ChannelClosed("the client sent data inside the TLS handshake");
  // From now on TLS records travel on the socket itself.
  BIO* socket = BIO_new_socket(fd_, BIO_NOCLOSE);
  if (!socket) throw ChannelClosed("out of memory");
  SSL_set_bio(ssl_, socket, socket);
  tlsActive_ = true;
}

}  // namespace tds
