// The command line of quarlix-server.
#pragma once

#include "host_settings.h"

#include <optional>
#include <string>
#include <vector>

// The settings every host takes (library, directory, code page), then this
// host's own.
struct ServerOptions : HostSettings {
  static constexpr unsigned kDefaultCodePage = 1252;

  std::optional<std::string> printLogin;   // --print-login NAME
  std::optional<std::string> addLogin;     // --add-login NAME (with --logins FILE)
  std::optional<std::string> removeLogin;  // --remove-login NAME (with --logins FILE)
  std::string listenHost;
  unsigned listenPort = 0;
  bool listenGiven = false;
  std::string loginsFile;
  std::string tlsCertificate, tlsKey;
  unsigned maxConnections = 64;
  unsigned maxPending = 0;            // 0: half of maxConnections
  unsigned maxPendingPerAddress = 8;  // at most maxPending
  unsigned maxStalled = 8;            // clients stalled on their answer at once
  unsigned loginTimeoutSeconds = 30;
  unsigned idleTimeoutSeconds = 600;  // 0: none
  bool quiet = false;
  bool trace = false;  // the directory stand-in's operations in the log
  // Integrated (Kerberos) logins: the service's keytab, who may log in, and
  // whether calls read the directory as the caller.
  std::string keytab;
  std::vector<std::string> allowPrincipals;
  std::vector<std::string> allowGroups;
  bool delegate = false;
};

// False with a one-line reason.
bool parseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options, std::string& error);
std::string serverUsageText();
