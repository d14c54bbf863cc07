// quarlix-exec: calls the procedure once, the way a server does, and prints
// what it sent. Exit status: the procedure's result (0 or 1), 2 when the
// call could not be made.
#include "call_record.h"
#include "environment_setup.h"
#include "tsql/exec_query.h"
#include "formatters.h"
#include "library_loader.h"
#include "options.h"
#include "procedure_call.h"
#include "streaming_host.h"
#include "trace.h"

#include <exception>
#include <iostream>
#include <memory>
#include <optional>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kHostError = 2;

int hostError(const std::string& reason) {
  std::cerr << "quarlix-exec: " << reason << '\n';
  return kHostError;
}

bool collectParameters(const Options& options, std::vector<HostParameter>& parameters, std::string& error) {
  if (options.query) {
    ParsedExecQuery parsed = readExecQuery(*options.query);
    if (parsed.error) {
      error = "-Q: " + describe(*parsed.error);
      return false;
    }
    parameters = std::move(parsed.parameters);
    return true;
  }
  for (const std::string& value : options.values) parameters.push_back(HostParameter{std::nullopt, 0x27, value});
  return true;
}

int run(const std::vector<std::string>& arguments) {
  Options options;
  std::string error;
  if (!parseOptions(arguments, options, error)) return hostError(error);
  if (options.help) {
    std::cout << usageText();
    return 0;
  }
  if (options.version) {
    std::cout << "quarlix-exec " << QUARLIX_EXEC_VERSION << '\n';
    return 0;
  }
  if (options.listFaults) {
    if (!standInsMissing().empty()) return hostError(standInsMissing());
    for (const std::string& name : knownFaultOperations()) std::cout << name << '\n';
    return 0;
  }
  std::vector<HostParameter> parameters;
  if (!collectParameters(options, parameters, error)) return hostError(error);

  std::string here = executableDirectory();
  EnvironmentSetup environment;
  if (!environment.apply(options, here, error)) return hostError(error);

  opends::Connection connection;
  // Rows are shown as they are sent, not kept, unless the whole record is
  // wanted: the events format and --trace show every call.
  std::unique_ptr<RecordWriter> writer;
  std::optional<StreamingHost> streaming;
  if (!options.trace && options.format != OutputFormat::Events) {
    writer = makeWriter(options.format, std::cout, std::cerr);
    streaming.emplace(connection, *writer);
  }
  int returnValue = 0;
  if (!callProcedure(libraryToLoad(options, here), parameters, connection, returnValue, error)) return hostError(error);

  if (streaming) {
    streaming->finish(returnValue);
  } else {
    if (options.trace) writeTrace(connection, std::cerr);
    writeRecord(options.format, readCallRecord(connection, returnValue), std::cout, std::cerr);
  }
  std::cout.flush();
  return returnValue == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Cells are written byte for byte: no CRLF translation.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    return hostError(e.what());
  }
}
