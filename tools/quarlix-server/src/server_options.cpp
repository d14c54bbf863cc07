#include "server_options.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool parseNumber(const std::string &text, unsigned long minimum, unsigned long maximum, unsigned &out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return false;
  unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
  if (value < minimum || value > maximum) return false;
  out = static_cast<unsigned>(value);
  return true;
}

// "127.0.0.1:1433", "[::1]:1433", "localhost:1433".
bool parseListen(const std::string &text, ServerOptions &options) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (!parseNumber(text.substr(colon + 1), 0, 65535, options.listenPort)) return false;
  options.listenHost = host;
  options.listenGiven = true;
  return true;
}

}  // namespace

bool parseServerOptions(const std::vector<std::string> &arguments, ServerOptions &options, std::string &error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string &name = arguments[i];
    auto value = [&](std::string &out) {
      if (i + 1 >= arguments.size()) {
        error = name + " needs a value";
        return false;
      }
      out = arguments[++i];
      return true;
    };
    auto number = [&](unsigned long minimum, unsigned long maximum, unsigned &out) {
      std::string text;
      if (!value(text)) return false;
      if (parseNumber(text, minimum, maximum, out)) return true;
      error = name + " takes a number from " + std::to_string(minimum) + " to " + std::to_string(maximum) + ", not '" + text + "'";
      return false;
    };
    std::string text;
    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (name == "--print-login") {
      if (!value(text)) return false;
      options.printLogin = text;
    } else if (name == "--add-login") {
      if (!value(text)) return false;
      options.addLogin = text;
    } else if (name == "--listen") {
      if (!value(text)) return false;
      if (!parseListen(text, options)) {
        error = "--listen takes HOST:PORT such as 127.0.0.1:1433, not '" + text + "'";
        return false;
      }
    } else if (name == "--logins") {
      if (!value(options.loginsFile)) return false;
    } else if (name == "--directory") {
      if (!value(text)) return false;
      options.directoryFile = text;
    } else if (name == "--no-directory") {
      options.noDirectory = true;
    } else if (name == "--tls-cert") {
      if (!value(options.tlsCertificate)) return false;
    } else if (name == "--tls-key") {
      if (!value(options.tlsKey)) return false;
    } else if (name == "--max-connections") {
      if (!number(1, 10000, options.maxConnections)) return false;
    } else if (name == "--max-pending") {
      if (!number(1, 10000, options.maxPending)) return false;
    } else if (name == "--max-pending-per-address") {
      if (!number(1, 10000, options.maxPendingPerAddress)) return false;
    } else if (name == "--max-stalled") {
      if (!number(1, 10000, options.maxStalled)) return false;
    } else if (name == "--login-timeout") {
      if (!number(1, 3600, options.loginTimeoutSeconds)) return false;
    } else if (name == "--idle-timeout") {
      if (!number(0, 86400 * 7, options.idleTimeoutSeconds)) return false;
    } else if (name == "--codepage") {
      if (!number(1, 65535, options.codePage)) return false;
    } else if (name == "--library") {
      if (!value(text)) return false;
      options.library = text;
    } else if (name == "--quiet") {
      options.quiet = true;
    } else {
      error = "unknown option '" + name + "' (quarlix-server --help lists them)";
      return false;
    }
  }
  if (options.help || options.version || options.printLogin) return true;
  if (options.addLogin) {
    if (!options.loginsFile.empty()) return true;
    error = "--add-login NAME needs --logins FILE, the file to add the login to";
    return false;
  }
  if (!options.listenGiven) {
    error = "--listen HOST:PORT is required";
    return false;
  }
  if (options.loginsFile.empty()) {
    error = "--logins FILE is required (quarlix-server --add-login NAME --logins FILE adds a login to it)";
    return false;
  }
  if (options.maxPending == 0) options.maxPending = std::max(1u, options.maxConnections / 2);
  if (options.maxPending > options.maxConnections) {
    error = "--max-pending must not exceed --max-connections (" + std::to_string(options.maxConnections) + ")";
    return false;
  }
  options.maxPendingPerAddress = std::min(options.maxPendingPerAddress, options.maxPending);
  if (options.directoryFile && options.noDirectory) {
    error = "--directory and --no-directory exclude each other";
    return false;
  }
  if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
    error = "--tls-cert and --tls-key go together";
    return false;
  }
  return true;
}

const char *serverUsageText() {
  return "Usage: quarlix-server --listen HOST:PORT --logins FILE [options]\n"
         "  or:  quarlix-server --add-login NAME --logins FILE\n"
         "  or:  quarlix-server --print-login NAME\n"
         "Serves the procedure quarlix over TDS 7.1-7.4 to SQL clients.\n"
         "  --listen HOST:PORT      address to listen on; port 0 picks a free one (printed)\n"
         "  --logins FILE           logins file: lines written by --add-login or --print-login\n"
         "  --directory FILE.ldif   the embedded directory (default: samples/corp.ldif beside\n"
         "                          the program, when present)\n"
         "  --no-directory          no embedded directory: LDAP paths go to real servers\n"
         "  --tls-cert PEM --tls-key PEM\n"
         "                          encrypt every connection (required of clients); without\n"
         "                          them the server listens on loopback addresses only\n"
         "  --max-connections N     connections at once (default 64)\n"
         "  --max-pending N         connections not logged in yet, at once (default: half\n"
         "                          of --max-connections)\n"
         "  --max-pending-per-address N\n"
         "                          connections not logged in yet from one address once\n"
         "                          half of --max-pending are taken (default 8); a client\n"
         "                          past a limit is told so and closed\n"
         "  --max-stalled N         clients that have taken none of their answer for 2 s,\n"
         "                          each holding it in memory, at once (default 8); one more\n"
         "                          is closed; a stalled client is closed after 60 s\n"
         "  --login-timeout S       seconds from connect to the end of the login (default 30);\n"
         "                          failed logins delay the next ones of their address and\n"
         "                          name, from 0.25 s doubling up to 8 s\n"
         "  --idle-timeout S        seconds a logged-in connection may wait idle (default 600,\n"
         "                          0: no limit)\n"
         "  --codepage N            the procedure's code page: 1252 (default) or 65001\n"
         "  --library PATH          the procedure library (default: beside the program)\n"
         "  --quiet                 log failures only (failed logins and refusals among them)\n"
         "Logins (the password is read on standard input, hidden on a terminal):\n"
         "  --add-login NAME --logins FILE\n"
         "                          add the login NAME to FILE, or replace its password;\n"
         "                          the file is replaced whole, and made readable by its\n"
         "                          owner and group only when it is new\n"
         "  --print-login NAME      print the login's line on standard output\n"
         "  --version, --help\n";
}
