// What a client sends, read as the server reads it: the first byte chooses
// the protocol version (7.1 or 7.4) and the packet size limit, the rest is a
// byte stream cut into packets by their headers and joined into messages,
// each handed to the reader of its type, through the statement grammar and
// on to the procedure's parameters and the values of SELECT. Malformed input
// may only be refused (ProtocolError, UnsupportedRequest, an error text);
// and whatever a reader accepts keeps its own invariants: a login's names
// are UTF-8, a parameter list never mixes a positional value after a named
// one, a batch that cannot be read has no statements.
#include <cctype>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "answer/code_page_text.h"
#include "fuzz_check.h"
#include "net/message_assembler.h"
#include "sql/call_parameters.h"
#include "sql/catalog.h"
#include "sql/select_values.h"
#include "tds/login7.h"
#include "tds/prelogin.h"
#include "tds/rpc_request.h"
#include "tds/tds_constants.h"
#include "tds/transaction_request.h"
#include "tsql/parser.h"
#include "tsql/procedure_names.h"
#include "utf8.h"

namespace {

const CodePageText* g_text = nullptr;

bool validUtf8(std::string_view text) {
  std::string ignored;
  return utf8ToUtf16le(text, ignored);
}

void checkParameters(const std::vector<HostParameter>& parameters) {
  bool named = false;
  for (const HostParameter& p : parameters) {
    FUZZ_REQUIRE(!(named && !p.name), "a positional value after a named one");
    named = named || p.name.has_value();
  }
}

void checkStatements(const tsql::Batch& batch, const Variables* variables) {
  if (batch.error) {
    FUZZ_REQUIRE(batch.statements.empty(), "a batch that cannot be read has no statements");
    FUZZ_REQUIRE(!batch.error->message.empty(), "an error has its text");
    return;
  }
  sql::Facts facts;
  facts.text = g_text;
  facts.versionText = "version";
  std::vector<const tsql::Statement*> pending;
  for (const tsql::Statement& s : batch.statements) pending.push_back(&s);
  while (!pending.empty()) {
    const tsql::Statement& s = *pending.back();
    pending.pop_back();
    if (s.kind == tsql::Statement::Kind::Exec) {
      FUZZ_REQUIRE(!s.procedure.empty() && !s.procedure.back().empty(), "an EXEC names a procedure");
      if (tsql::namesTheProcedure(s.procedure)) {
        const tsql::BoundParameters bound = tsql::bindExecValues(s.values, execBindingRules(*g_text, variables));
        FUZZ_REQUIRE(!bound.error || bound.parameters.empty(), "an error comes with no parameters");
        checkParameters(bound.parameters);
      }
    }
    for (const tsql::SelectItem& item : s.items) {
      try {
        sql::valueOf(item.value, facts);
      } catch (const sql::ValueError&) {
      }
    }
    for (const tsql::Statement& inner : s.body) pending.push_back(&inner);
  }
}

// sp_executesql and sp_prepexec: their statement, and the values bound to it.
void checkStatementCall(const tds::RpcRequest& request, size_t statementAt, size_t declarationsAt, size_t firstValue) {
  const std::vector<tds::RpcParameter>& all = request.parameters;
  if (all.size() <= statementAt) return;
  std::optional<std::string> statement = textOf(all[statementAt], *g_text);
  if (!statement) return;
  FUZZ_REQUIRE(validUtf8(*statement), "a statement is UTF-8");
  tsql::Declarations declared;
  if (all.size() > declarationsAt)
    if (std::optional<std::string> declarations = textOf(all[declarationsAt], *g_text))
      declared = tsql::parseDeclarations(*declarations);
  if (declared.error) return;
  Variables values;
  if (!bindValues(declared, all, std::min(firstValue, all.size()), *g_text, values).empty()) return;
  checkStatements(tsql::parseBatch(*statement, sql::Catalog::instance(), &declared), &values);
}

void readMessage(const tds::Message& message, std::uint32_t version) {
  try {
    switch (message.type) {
      case tds::kPrelogin: tds::parsePrelogin(message.payload); break;
      case tds::kLogin7: {
        tds::Login7 login = tds::parseLogin7(message.payload);
        FUZZ_REQUIRE(validUtf8(login.userName) && validUtf8(login.password), "login texts are UTF-8");
        break;
      }
      case tds::kSqlBatch: {
        std::string text = tds::parseSqlBatch(message.payload, version);
        FUZZ_REQUIRE(validUtf8(text), "the batch is UTF-8");
        checkStatements(tsql::parseBatch(text, sql::Catalog::instance()), nullptr);
        break;
      }
      case tds::kRpc: {
        tds::RpcRequest request = tds::parseRpcRequest(message.payload, version);
        const sql::SystemProcedure* system = request.procId
                                                 ? sql::Catalog::instance().systemProcedure(*request.procId)
                                                 : sql::Catalog::instance().systemProcedure(request.procedureName);
        const std::uint16_t number = system ? system->number : 0;
        if (number == 10) {
          checkStatementCall(request, 0, 1, 2);
        } else if (number == 11 || number == 13) {
          checkStatementCall(request, 2, 1, 3);
        } else {
          const CallParameters call = parametersOfRpc(request, *g_text);
          FUZZ_REQUIRE(call.error.empty() || call.parameters.empty(), "an error comes with no parameters");
          checkParameters(call.parameters);
        }
        break;
      }
      case tds::kTransactionManager: {
        tds::TransactionRequest request = tds::parseTransactionRequest(message.payload, version);
        const bool known = request.type == 5 || request.type == 7 || request.type == 8 || request.type == 9;
        FUZZ_REQUIRE(known == (request.kind != tds::TransactionRequest::Kind::Other), "a request's kind is its type");
        FUZZ_REQUIRE(!request.beginAfter || request.type == 7 || request.type == 8,
                     "only commit and rollback begin again");
        break;
      }
      default: break;
    }
  } catch (const tds::ProtocolError&) {
  } catch (const tds::UnsupportedRequest&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::optional<CodePageText> text = CodePageText::choose(1252);
  g_text = &*text;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::uint32_t version = (data[0] & 1) ? tds::kVersion74 : tds::kVersion71;
  const std::uint32_t packetLimit = (data[0] & 2) ? 512 : tds::kMaxPacketSize + 1;
  std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  tds::MessageAssembler assembler(64 * 1024);
  while (stream.size() >= tds::kHeaderSize) {
    tds::PacketHeader header;
    try {
      header = tds::parseHeader(stream.substr(0, tds::kHeaderSize), packetLimit);
    } catch (const tds::ProtocolError&) {
      return 0;  // the connection closes here
    }
    if (header.length > stream.size()) return 0;  // half-sent: the time-out closes it
    std::string_view payload = stream.substr(tds::kHeaderSize, header.length - tds::kHeaderSize);
    stream.remove_prefix(header.length);
    try {
      if (assembler.add(header, payload)) readMessage(assembler.message(), version);
    } catch (const tds::ProtocolError&) {
      return 0;
    }
  }
  return 0;
}
