#include "streaming_host.h"

StreamingHost::StreamingHost(opends::Connection& connection, RecordWriter& writer)
    : connection_(connection), writer_(writer) {
  OdsHostSetRowSink(connection_.get(), &StreamingHost::onRow, this);
}

StreamingHost::~StreamingHost() { OdsHostSetRowSink(connection_.get(), nullptr, nullptr); }

void __cdecl StreamingHost::onRow(void* context, const OdsCell* cells, int cellCount) {
  static_cast<StreamingHost*>(context)->showRow(cells, cellCount);
}

void StreamingHost::showRow(const OdsCell* cells, int cellCount) {
  if (failure_) return;
  try {
    readRecord();
    Row row;
    row.reserve(static_cast<size_t>(cellCount));
    for (int i = 0; i < cellCount; ++i) {
      if (cells[i].isNull)
        row.emplace_back(std::nullopt);
      else
        row.emplace_back(
            std::string(reinterpret_cast<const char*>(cells[i].data), static_cast<size_t>(cells[i].length)));
    }
    writer_.write(row);
  } catch (...) {
    failure_ = std::current_exception();
  }
}

void StreamingHost::readRecord() {
  const int count = OdsHostEventCount(connection_.get());
  for (; nextEvent_ < count; ++nextEvent_) {
    OdsEvent event{};
    OdsHostGetEvent(connection_.get(), nextEvent_, &event);
    if (std::optional<SentEvent> sent = sentEventAt(connection_, nextEvent_, event)) writer_.write(*sent);
  }
}

void StreamingHost::finish(int returnValue) {
  if (failure_) std::rethrow_exception(failure_);
  readRecord();
  writer_.finish(returnValue);
}
