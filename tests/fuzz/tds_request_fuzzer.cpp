// What a client sends, read as the server reads it: the first byte chooses
// the protocol version (7.1 or 7.4) and the packet size limit, the rest is a
// byte stream cut into packets by their headers and joined into messages,
// each handed to the reader of its type and on to the procedure's
// parameters. Malformed input may only be refused (ProtocolError,
// UnsupportedRequest, an error text); and whatever a reader accepts keeps
// its own invariants: a login's names are UTF-8, a parameter list never
// mixes a positional value after a named one.
#include <cstdint>
#include <string>
#include <string_view>

#include "batch_statement.h"
#include "call_parameters.h"
#include "code_page_text.h"
#include "fuzz_check.h"
#include "login7.h"
#include "message_assembler.h"
#include "prelogin.h"
#include "rpc_request.h"
#include "tds_constants.h"
#include "utf8.h"

namespace {

const CodePageText *g_text = nullptr;

bool validUtf8(std::string_view text) {
  std::string ignored;
  return utf8ToUtf16le(text, ignored);
}

void checkParameters(const CallParameters &call) {
  if (!call.error.empty()) {
    FUZZ_REQUIRE(call.parameters.empty(), "an error comes with no parameters");
    return;
  }
  bool named = false;
  for (const HostParameter &p : call.parameters) {
    FUZZ_REQUIRE(!(named && !p.name), "a positional value after a named one");
    named = named || p.name.has_value();
  }
}

void readMessage(const tds::Message &message, std::uint32_t version) {
  try {
    switch (message.type) {
      case tds::kPrelogin:
        tds::parsePrelogin(message.payload);
        break;
      case tds::kLogin7: {
        tds::Login7 login = tds::parseLogin7(message.payload);
        FUZZ_REQUIRE(validUtf8(login.userName) && validUtf8(login.password), "login texts are UTF-8");
        break;
      }
      case tds::kSqlBatch: {
        std::string text = tds::parseSqlBatch(message.payload, version);
        FUZZ_REQUIRE(validUtf8(text), "the batch is UTF-8");
        if (classifyBatch(text) == BatchKind::Exec) checkParameters(parametersOfBatch(text, *g_text));
        break;
      }
      case tds::kRpc: {
        tds::RpcRequest request = tds::parseRpcRequest(message.payload, version);
        if (namesExecuteSql(request))
          checkParameters(parametersOfExecuteSql(request, *g_text));
        else
          checkParameters(parametersOfRpc(request));
        break;
      }
      default:
        break;
    }
  } catch (const tds::ProtocolError &) {
  } catch (const tds::UnsupportedRequest &) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static std::optional<CodePageText> text = CodePageText::choose(1252);
  g_text = &*text;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const std::uint32_t version = (data[0] & 1) ? tds::kVersion74 : tds::kVersion71;
  const std::uint32_t packetLimit = (data[0] & 2) ? 512 : tds::kMaxPacketSize + 1;
  std::string_view stream(reinterpret_cast<const char *>(data) + 1, size - 1);
  tds::MessageAssembler assembler(64 * 1024);
  while (stream.size() >= tds::kHeaderSize) {
    tds::PacketHeader header;
    try {
      header = tds::parseHeader(stream.substr(0, tds::kHeaderSize), packetLimit);
    } catch (const tds::ProtocolError &) {
      return 0;  // the connection closes here
    }
    if (header.length > stream.size()) return 0;  // half-sent: the time-out closes it
    std::string_view payload = stream.substr(tds::kHeaderSize, header.length - tds::kHeaderSize);
    stream.remove_prefix(header.length);
    try {
      if (assembler.add(header, payload)) readMessage(assembler.message(), version);
    } catch (const tds::ProtocolError &) {
      return 0;
    }
  }
  return 0;
}
