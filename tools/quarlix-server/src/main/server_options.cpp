#include "main/server_options.h"

#include <algorithm>

namespace {

const char kOptions[] = "Options";
const char kKerberos[] = "Kerberos logins (integrated security)";
const char kLogins[] = "Logins (the password is read on standard input, hidden on a terminal)";

// "127.0.0.1:1433", "[::1]:1433", "localhost:1433".
bool parseListen(const std::string& text, ServerOptions& options) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  std::optional<std::uint32_t> port = parseWholeNumber(text.substr(colon + 1));
  if (!port || *port > 65535) return false;
  options.listenHost = host;
  options.listenPort = *port;
  options.listenGiven = true;
  return true;
}

// A row that may be given more than once, each value added to `into`.
HostOption listOption(std::string name, std::string valueName, std::string section, std::string help,
                      std::vector<std::string>& into) {
  HostOption row = option(std::move(name), std::move(valueName), std::move(section), std::move(help), OptionKind::Text,
                          [&into](const std::string& text, std::uint32_t, std::string&) {
                            into.push_back(text);
                            return true;
                          });
  row.repeatable = true;
  return row;
}

// The table of quarlix-server's options, storing into `options`.
OptionTable optionTable(ServerOptions& options) {
  OptionTable table("quarlix-server", false);
  table.add(option("--listen", "HOST:PORT", kOptions, "address to listen on; port 0 picks a free one (printed)",
                   OptionKind::Text, [&options](const std::string& text, std::uint32_t, std::string& error) {
                     if (parseListen(text, options)) return true;
                     error = "--listen takes HOST:PORT such as 127.0.0.1:1433, not '" + text + "'";
                     return false;
                   }));
  table.add(textOption("--logins", "FILE", kOptions, "logins file: lines written by --add-login or --print-login",
                       options.loginsFile));
  addHostSettings(
      table, options,
      {kOptions, " (default: samples/corp.ldif beside the program, when present)", "", ": 1252 (default) or 65001"});
  table.add(textOption("--tls-cert", "PEM", kOptions,
                       "the certificate chain; with --tls-key, encrypt every connection (required of clients); "
                       "without them the server listens on loopback addresses only",
                       options.tlsCertificate));
  table.add(textOption("--tls-key", "PEM", kOptions, "the private key of --tls-cert", options.tlsKey));
  table.add(numberOption("--max-connections", "N", kOptions, "connections at once (default 64)", 1, 10000,
                         options.maxConnections));
  table.add(numberOption("--max-pending", "N", kOptions,
                         "connections not logged in yet, at once (default: half of --max-connections)", 1, 10000,
                         options.maxPending));
  table.add(numberOption("--max-pending-per-address", "N", kOptions,
                         "connections from one address that have not sent their login yet, once half of "
                         "--max-pending are taken (default 8); more wait their turn if they send it within 10 s; "
                         "a client past a limit is told so and closed",
                         1, 10000, options.maxPendingPerAddress));
  table.add(numberOption("--max-stalled", "N", kOptions,
                         "clients that have taken none of their answer for 2 s, each holding it in memory, at "
                         "once (default 8); one more is closed; a stalled client is closed after 60 s",
                         1, 10000, options.maxStalled));
  table.add(numberOption("--login-timeout", "S", kOptions,
                         "seconds from connect to the end of the login (default 30); failed logins delay the "
                         "next ones of their address and name, from 0.25 s doubling up to 8 s",
                         1, 3600, options.loginTimeoutSeconds));
  table.add(numberOption("--idle-timeout", "S", kOptions,
                         "seconds a logged-in connection may wait idle (default 600, 0: no limit)", 0, 86400 * 7,
                         options.idleTimeoutSeconds));
  table.add(
      flagOption("--quiet", kOptions, "log failures only (failed logins and refusals among them)", options.quiet));
  table.add(flagOption("--trace", kOptions,
                       "log each directory connection (made or reused), bind and search the calls send, "
                       "each line naming its connection",
                       options.trace));
  table.add(textOption("--keytab", "FILE", kKerberos,
                       "the service's keytab, with the keys of its SPNs (MSSQLSvc/host:port, MSSQLSvc/host): "
                       "clients log in with their Kerberos tickets; NTLM is refused",
                       options.keytab));
  table.add(listOption("--allow-principal", "P", kKerberos,
                       "with --keytab: the principal P (dave@CORP.EXAMPLE.COM) may log in; repeatable",
                       options.allowPrincipals));
  table.add(listOption("--allow-group", "DN", kKerberos,
                       "with --keytab: members of the group DN may log in, nested groups included (read from the "
                       "directory as the server's own identity); repeatable",
                       options.allowGroups));
  table.add(flagOption("--delegate", kKerberos,
                       "with --keytab: each call reads the directory as the logged-in principal (constrained "
                       "delegation of the service's account); a call that cannot fails, never reading as the "
                       "server's own identity (logins of --logins FILE bring no ticket: they read as the server)",
                       options.delegate));
  table.add(textOption("--add-login", "NAME", kLogins,
                       "with --logins FILE: add the login NAME to FILE, or replace its password; the file is "
                       "replaced whole, and made readable by its owner and group only when it is new",
                       options.addLogin));
  table.add(textOption("--remove-login", "NAME", kLogins,
                       "with --logins FILE: remove the login NAME from FILE (replaced whole)", options.removeLogin));
  table.add(
      textOption("--print-login", "NAME", kLogins, "print the login's line on standard output", options.printLogin));
  addProgramOptions(table, options, kOptions);
  return table;
}

}  // namespace

bool parseServerOptions(const std::vector<std::string>& arguments, ServerOptions& options, std::string& error) {
  std::vector<std::string> none;
  if (!optionTable(options).parse(arguments, none, error)) return false;
  if (options.help || options.version || options.printLogin) return true;
  if (options.addLogin && options.removeLogin) {
    error = "give one of --add-login or --remove-login";
    return false;
  }
  if (options.addLogin || options.removeLogin) {
    if (!options.loginsFile.empty()) return true;
    error = options.addLogin ? "--add-login NAME needs --logins FILE, the file to add the login to"
                             : "--remove-login NAME needs --logins FILE, the file to remove the login from";
    return false;
  }
  if (!options.listenGiven) {
    error = "--listen HOST:PORT is required";
    return false;
  }
  if (options.loginsFile.empty() && options.keytab.empty()) {
    error =
        "--logins FILE or --keytab FILE is required: nobody could log in (quarlix-server --add-login NAME --logins "
        "FILE adds a login to a file)";
    return false;
  }
  if (options.keytab.empty() &&
      (!options.allowPrincipals.empty() || !options.allowGroups.empty() || options.delegate)) {
    error = "--allow-principal, --allow-group and --delegate go with --keytab FILE";
    return false;
  }
  if (!options.keytab.empty() && options.allowPrincipals.empty() && options.allowGroups.empty()) {
    error = "--keytab needs --allow-principal P or --allow-group DN: who may log in with a ticket";
    return false;
  }
  if (options.maxPending == 0) options.maxPending = std::max(1u, options.maxConnections / 2);
  if (options.maxPending > options.maxConnections) {
    error = "--max-pending must not exceed --max-connections (" + std::to_string(options.maxConnections) + ")";
    return false;
  }
  options.maxPendingPerAddress = std::min(options.maxPendingPerAddress, options.maxPending);
  if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
    error = "--tls-cert and --tls-key go together";
    return false;
  }
  return true;
}

std::string serverUsageText() {
  ServerOptions unused;
  return optionTable(unused).usage(
      "Usage: quarlix-server --listen HOST:PORT --logins FILE [options]\n"
      "  or:  quarlix-server --listen HOST:PORT --keytab FILE --allow-principal P [options]\n"
      "  or:  quarlix-server --add-login NAME --logins FILE\n"
      "  or:  quarlix-server --remove-login NAME --logins FILE\n"
      "  or:  quarlix-server --print-login NAME\n"
      "Serves the procedure quarlix over TDS 7.1-7.4 to SQL clients. An option's\n"
      "value follows it as the next argument or after '=' (flags take none).\n"
      "SIGHUP reads the logins file again; connections already logged in stay.\n",
      "");
}
