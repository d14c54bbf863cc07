// The command line of quarlix-server.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ServerOptions {
  bool help = false;
  bool version = false;
  std::optional<std::string> printLogin;  // --print-login NAME
  std::optional<std::string> addLogin;    // --add-login NAME (with --logins FILE)
  std::string listenHost;
  unsigned listenPort = 0;
  bool listenGiven = false;
  std::string loginsFile;
  std::optional<std::string> directoryFile;
  bool noDirectory = false;
  std::string tlsCertificate, tlsKey;
  unsigned maxConnections = 64;
  unsigned maxPending = 0;            // 0: half of maxConnections
  unsigned maxPendingPerAddress = 8;  // at most maxPending
  unsigned maxStalled = 8;  // clients stalled on their answer at once
  unsigned loginTimeoutSeconds = 30;
  unsigned idleTimeoutSeconds = 600;  // 0: none
  unsigned codePage = 1252;
  std::optional<std::string> library;
  bool quiet = false;
};

// False with a one-line reason.
bool parseServerOptions(const std::vector<std::string> &arguments, ServerOptions &options, std::string &error);
const char *serverUsageText();
