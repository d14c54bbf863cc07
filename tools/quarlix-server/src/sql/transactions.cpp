#include "sql/transactions.h"

#include "tds/byte_reader.h"
#include "tds/tds_constants.h"
#include "tds/transaction_request.h"

namespace {

constexpr std::int32_t kCommitWithoutBegin = 3902;
constexpr std::int32_t kRollbackWithoutBegin = 3903;
constexpr std::int32_t kSaveWithoutTransaction = 628;
constexpr std::int32_t kNotServed = 50000;

std::string descriptor(std::uint64_t id) {
  std::string bytes;
  for (int i = 0; i < 8; ++i) bytes += static_cast<char>(id >> (8 * i));
  return bytes;
}

}  // namespace

// The transaction ENVCHANGEs came with TDS 7.2; a 7.1 client keeps only the count.
void Transactions::begin() {
  // In implicit transaction mode BEGIN TRAN first begins the transaction
  // the mode would have begun, then its own: two levels.
  const int levels = state_.implicitTransactions && state_.tranCount == 0 ? 2 : 1;
  const bool opens = state_.tranCount == 0;
  state_.tranCount += levels;
  if (!opens) return;
  state_.transaction = ++state_.lastTransaction;
  if (tds::atLeast72(version_))
    writer_.envChangeBytes(tds::kEnvBeginTransaction, descriptor(state_.transaction), std::string());
}

bool Transactions::end(bool commit, std::uint32_t line) {
  if (state_.tranCount == 0) {
    if (commit)
      writer_.error(kCommitWithoutBegin, 16, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.",
                    line);
    else
      writer_.error(kRollbackWithoutBegin, 16,
                    "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.", line);
    return false;
  }
  // A commit ends the outermost level only; a rollback ends them all.
  state_.tranCount = commit ? state_.tranCount - 1 : 0;
  if (state_.tranCount > 0) return true;
  if (tds::atLeast72(version_))
    writer_.envChangeBytes(commit ? tds::kEnvCommitTransaction : tds::kEnvRollbackTransaction, std::string(),
                           descriptor(state_.transaction));
  state_.transaction = 0;
  return true;
}

void Transactions::runRequest(std::string_view payload) {
  tds::TransactionRequest request;
  try {
    request = tds::parseTransactionRequest(payload, version_);
  } catch (const tds::ProtocolError& e) {
    writer_.refuse(kNotServed, 16, std::string("The transaction request cannot be read: ") + e.what() + ".");
    return;
  }
  writer_.begin(tds::AnswerWriter::Request::Batch);
  bool ok = true;
  switch (request.kind) {
    case tds::TransactionRequest::Kind::Begin: begin(); break;
    case tds::TransactionRequest::Kind::Commit:
    case tds::TransactionRequest::Kind::Rollback:
      ok = end(request.kind == tds::TransactionRequest::Kind::Commit, 1);
      if (ok && request.beginAfter) begin();
      break;
    case tds::TransactionRequest::Kind::Save:
      if (state_.tranCount == 0) {
        writer_.error(kSaveWithoutTransaction, 16, "Cannot issue SAVE TRANSACTION when there is no active transaction.",
                      1);
        ok = false;
      }
      break;
    case tds::TransactionRequest::Kind::Other:
      writer_.error(kNotServed, 16,
                    "Transaction requests of type " + std::to_string(request.type) +
                        " (distributed transactions) are not served: this server holds no transactions.",
                    1);
      ok = false;
      break;
  }
  writer_.statementDone(ok ? 0 : tds::kDoneError, 0);
  writer_.endBatch();
}
