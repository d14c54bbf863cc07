// The listener owns its connections' threads: on a stop it waits for them,
// past the drain time it gives up on those still running (their waits end at
// once), and no thread outlives the listener or what it serves with. Run
// under AddressSanitizer and ThreadSanitizer too (the presets' builds).
#include "login/login_file.h"
#include "login/logins.h"
#include "main/server_context.h"
#include "main/session.h"
#include "net/listener.h"
#include "tds/tds_constants.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

int connectTo(const std::string& bound) {
  const unsigned port = static_cast<unsigned>(std::stoul(bound.substr(bound.rfind(':') + 1)));
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

// Reads until the server closes the connection; false when it did not within 30 s.
bool closedByServer(int fd) {
  timeval timeout{30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
  }
  return n == 0 || errno == ECONNRESET;
}

TEST(Listener, PastTheDrainTimeItGivesUpOnConnectionsAndJoinsTheirThreads) {
  char folder[] = "/tmp/quarlix-listener-XXXXXX";
  ASSERT_TRUE(::mkdtemp(folder));
  const std::string loginsPath = std::string(folder) + "/logins";
  std::string error;
  {
    std::ofstream file(loginsPath);
    file << makeLoginLine("alice", "pw", error) << "\n";
  }
  std::optional<Logins> logins = Logins::load(loginsPath, error);
  ASSERT_TRUE(logins) << error;
  std::optional<CodePageText> text = CodePageText::choose(1252);
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);

  std::mutex linesMutex;
  std::vector<std::string> lines;
  {
    ServerLog log(false);
    ServerContext context;
    LoginBook book(std::move(*logins));
    context.logins = &book;
    context.sql.text = &*text;
    context.stopFd = stop[0];
    context.loginTimeout = std::chrono::seconds(60);
    context.messageTimeout = std::chrono::seconds(60);
    context.log = &log;
    AdmissionLimits limits;
    Listener listener(limits, [&](const std::string& line) {
      std::lock_guard<std::mutex> lock(linesMutex);
      lines.push_back(line);
    });
    ASSERT_TRUE(listener.open("127.0.0.1", 0, true, error)) << error;
    context.abandonFd = listener.abandonFd();
    std::atomic<bool> ran{false}, clean{false};
    std::thread server([&] {
      clean = listener.run(
          stop[0], context.loginTimeout, [&context](const Connection& c) { Session(c, context).run(); },
          std::chrono::milliseconds(300), std::chrono::seconds(20));
      ran = true;
    });
    // Two connections the stop cannot end by itself: each has sent half a
    // packet header, and waits for the rest (a minute) without regard to stops.
    const int half[2] = {connectTo(listener.boundAddress()), connectTo(listener.boundAddress())};
    for (int fd : half) ASSERT_EQ(::write(fd, "\x12\x01\x00", 3), 3);
    while (listener.running() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // both inside their wait
    ASSERT_EQ(::write(stop[1], "x", 1), 1);
    server.join();
    EXPECT_TRUE(ran);
    // Given up on at the drain time: their threads ended, the sockets closed.
    EXPECT_TRUE(clean);
    EXPECT_EQ(listener.running(), 0u);
    for (int fd : half) {
      EXPECT_TRUE(closedByServer(fd));
      ::close(fd);
    }
  }  // the listener, then what its threads used, go: nothing may touch them after
  ::close(stop[0]);
  ::close(stop[1]);
  std::remove(loginsPath.c_str());
  ::rmdir(folder);
}

}  // namespace
