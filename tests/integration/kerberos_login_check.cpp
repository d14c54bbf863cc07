// Kerberos logins end to end, as quarlix-server sees them: a client (MIT
// GSSAPI with a user's ticket cache) makes its token for an SPN and the
// acceptor takes it with a keytab; with --library the procedure then reads
// the directory through the ADSI stand-in as each caller
// (AdsCompatBindAsCaller, the delegated credential), callers on threads of
// their own at once. Prints
// what happened, one line each, for kerberos_login_test.py; the process's
// own ticket cache is the service's, so any fall back to it would show in
// what is read.
//
// kerberos_login_check --keytab K --client-cache C --spn SPN [--krb5]
// kerberos_login_check --keytab K --spn SPN --library LIB --path ADSPATH [--rounds N] [--hold S]
//                      --client-cache C [--client-cache C2 ...]
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "adsi_compat.h"
#include "login/kerberos_acceptor.h"
#include "procedure_call.h"

namespace {

const gss_OID_desc kSpnego = {6, const_cast<char*>("\x2b\x06\x01\x05\x05\x02")};

struct Client {
  GssCredential credential;
  GssName target;
  GssContext context;
  gss_OID mechanism;

  std::vector<unsigned char> step(const std::vector<unsigned char>& input) {
    gss_buffer_desc in = {input.size(), const_cast<unsigned char*>(input.data())};
    GssBuffer out;
    OM_uint32 minor = 0;
    OM_uint32 major =
        gss_init_sec_context(&minor, credential.get(), context.inout(), target.get(), mechanism,
                             GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG | GSS_C_SEQUENCE_FLAG, 0, GSS_C_NO_CHANNEL_BINDINGS,
                             input.empty() ? GSS_C_NO_BUFFER : &in, nullptr, out.put(), nullptr, nullptr);
    if (GSS_ERROR(major)) throw KerberosFailure(gssStatusText(major, minor));
    return {out.data(), out.data() + out.size()};
  }
};

// "spnego" or "krb5": the OID an initial context token (RFC 2743 3.1) starts with.
const char* tokenMechanism(const std::vector<unsigned char>& token) {
  size_t at = 1;
  if (token.size() < 2 || token[0] != 0x60) return "unknown";
  if (token[at] & 0x80) at += token[at] & 0x7f;
  ++at;
  if (at + 2 > token.size() || token[at] != 0x06) return "unknown";
  gss_OID_desc oid = {token[at + 1], const_cast<unsigned char*>(token.data() + at + 2)};
  if (at + 2 + oid.length > token.size()) return "unknown";
  return gss_oid_equal(&oid, &kSpnego) ? "spnego" : gss_oid_equal(&oid, gss_mech_krb5) ? "krb5" : "unknown";
}

Client makeClient(const std::string& cache, const std::string& spn, bool spnego) {
  Client client;
  client.mechanism = spnego ? const_cast<gss_OID>(&kSpnego) : gss_mech_krb5;
  gss_key_value_element_desc element = {"ccache", cache.c_str()};
  gss_key_value_set_desc store = {1, &element};
  OM_uint32 minor = 0;
  OM_uint32 major = gss_acquire_cred_from(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, GSS_C_NO_OID_SET, GSS_C_INITIATE,
                                          &store, client.credential.put(), nullptr, nullptr);
  if (GSS_ERROR(major)) throw KerberosFailure(gssStatusText(major, minor));
  gss_buffer_desc name = {spn.size(), const_cast<char*>(spn.data())};
  major = gss_import_name(&minor, &name, GSS_KRB5_NT_PRINCIPAL_NAME, client.target.put());
  if (GSS_ERROR(major)) throw KerberosFailure(gssStatusText(major, minor));
  return client;
}

// What one caller's calls of the procedure met, on the caller's own thread.
struct CallerRun {
  std::string principal;
  bool asCaller = false;  // false: as the process itself
  GssCredential credential;
  std::vector<std::vector<std::string>> rounds;  // the rows (ADsPath) of each call
  std::vector<std::string> messages;             // the procedure's messages, on one line each
  std::vector<std::string> lines;                // the stand-in's lines for the administrator
};

thread_local std::vector<std::string>* t_lines = nullptr;

// A message's lines joined with blanks, without the blank lines around it.
std::string oneLine(std::string_view text) {
  std::string line;
  for (char c : text) line += c == '\n' ? ' ' : c;
  const size_t first = line.find_first_not_of(' '), last = line.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

void keepLine(const char* line, void*) {
  if (t_lines) t_lines->push_back(line);
}

// One call of the procedure as a server makes it: the subtree of `path`,
// each object's ADsPath (which names it even where its attributes may not
// be read).
void callProcedure(const ProcedureEntry& procedure, const std::string& path, CallerRun& run) {
  opends::Connection connection;
  int returned = 0;
  std::string error;
  const std::vector<HostParameter> parameters = {{std::nullopt, 0x27, path},
                                                 {std::nullopt, 0x27, std::string("(objectClass=*)")},
                                                 {std::nullopt, 0x27, std::string("ADsPath")}};
  if (!procedure.call(parameters, connection, returned, error)) {
    run.messages.push_back(error);
    return;
  }
  std::vector<std::string> rows;
  const std::vector<OdsEvent> events = connection.events();
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].kind == ODS_EVENT_SENDROW) rows.push_back(connection.cells(static_cast<int>(i)).at(0).value_or(""));
    if (events[i].kind == ODS_EVENT_SENDMSG) run.messages.push_back(oneLine(opends::textOf(events[i])));
  }
  run.rounds.push_back(std::move(rows));
}

void runCalls(const ProcedureEntry& procedure, const std::string& path, int rounds, CallerRun& run) {
  t_lines = &run.lines;
  // Without a credential too: the bind as the caller then fails, as it must.
  if (run.asCaller) AdsCompatBindAsCaller(run.credential.get(), run.principal.c_str());
  for (int i = 0; i < rounds; ++i) callProcedure(procedure, path, run);
  AdsCompatClearCaller();
  t_lines = nullptr;
}

void print(const CallerRun& run) {
  const char* who = run.principal.c_str();
  for (const std::string& dn : run.rounds.empty() ? std::vector<std::string>() : run.rounds.front())
    std::printf("entry %s: %s\n", who, dn.c_str());
  for (const auto& rows : run.rounds) std::printf("rows %s: %zu\n", who, rows.size());
  for (const std::string& m : run.messages) std::printf("message %s: %s\n", who, m.c_str());
  for (const std::string& l : run.lines) std::printf("line %s: %s\n", who, l.c_str());
}

// The procedure's calls through the ADSI stand-in: first as the process
// itself (its own ticket cache), then for each client at once, each on a
// thread of its own with the credential its login yielded, `rounds` calls
// each (QUARLIX_ADSI_TRACE=1 shows the pool's connections in the lines).
int callAsCallers(const KerberosAcceptor& acceptor, const std::vector<std::string>& clientCaches,
                  const std::string& spn, const std::string& library, const std::string& path, int rounds,
                  unsigned holdSeconds) {
  std::string error;
  std::unique_ptr<ProcedureEntry> procedure = ProcedureEntry::open(library, error);
  if (!procedure) return std::printf("library: %s\n", error.c_str()), 5;
  AdsCompatSetLineSink(keepLine, nullptr);
  std::vector<CallerRun> runs(clientCaches.size() + 1);
  runs[0].principal = "process";
  runCalls(*procedure, path, 1, runs[0]);
  for (size_t i = 0; i < clientCaches.size(); ++i) {
    Client client = makeClient(clientCaches[i], spn, true);
    std::vector<unsigned char> token = client.step({});
    KerberosLogin login = acceptor.beginLogin();
    for (;;) {
      KerberosLogin::Step step = login.accept(token.data(), token.size());
      if (!step.reply.empty()) token = client.step(step.reply);
      if (step.complete) break;
    }
    runs[i + 1].principal = login.principal();
    runs[i + 1].asCaller = true;
    runs[i + 1].credential = login.takeDelegatedCredential();
    if (!runs[i + 1].credential) std::printf("no delegated credential: %s\n", login.principal().c_str());
  }
  std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));  // the logins' tickets may run out meanwhile
  std::vector<std::thread> threads;
  for (size_t i = 1; i < runs.size(); ++i)
    threads.emplace_back([&, i] { runCalls(*procedure, path, rounds, runs[i]); });
  for (std::thread& t : threads) t.join();
  AdsCompatSetLineSink(nullptr, nullptr);
  for (const CallerRun& run : runs) print(run);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options;
  std::vector<std::string> clientCaches;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--krb5") {
      options[name] = "1";
    } else if (i + 1 < argc) {
      options[name] = argv[++i];
      if (name == "--client-cache") clientCaches.push_back(options[name]);
    }
  }
  bool delegate = options.count("--library") > 0;
  try {
    KerberosAcceptor acceptor(options["--keytab"], delegate);
    if (delegate) std::printf("service: %s\n", acceptor.serviceName().c_str());
    if (options.count("--library")) {
      return callAsCallers(acceptor, clientCaches, options["--spn"], options["--library"], options["--path"],
                           std::stoi(options.count("--rounds") ? options["--rounds"] : "1"),
                           static_cast<unsigned>(std::stoul(options.count("--hold") ? options["--hold"] : "0")));
    }
    Client client = makeClient(options["--client-cache"], options["--spn"], options.count("--krb5") == 0);
    std::vector<unsigned char> token;
    try {
      token = client.step({});
    } catch (const KerberosFailure& failure) {
      return std::printf("client failed: %s\n", failure.what()), 3;
    }
    std::printf("token: %s, %zu bytes\n", tokenMechanism(token), token.size());
    KerberosLogin login = acceptor.beginLogin();
    for (;;) {
      KerberosLogin::Step step = login.accept(token.data(), token.size());
      if (!step.reply.empty()) token = client.step(step.reply);
      if (step.complete) break;
    }
    std::printf("accepted: %s\n", login.principal().c_str());
    return 0;
  } catch (const KerberosFailure& failure) {
    std::printf("refused: %s\n", failure.what());
    return 4;
  }
}
