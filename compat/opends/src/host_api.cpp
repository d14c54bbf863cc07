// The host side: building a connection and reading back its record.
#include "connection.h"

#include <new>

using Lock = std::lock_guard<std::mutex>;

extern "C" {

OPENDS_API SRV_PROC* __cdecl OdsHostCreate(void) { return new (std::nothrow) CXPData(); }

OPENDS_API void __cdecl OdsHostDestroy(SRV_PROC* connection) { delete connection; }

OPENDS_API BOOL __cdecl OdsHostAddParam(SRV_PROC* connection, const char* name, BYTE type, const void* data,
                                        int length) {
  if (!connection || length < 0 || (!data && length != 0)) return FALSE;
  try {
    CXPData::Parameter parameter;
    parameter.named = name != nullptr;
    if (name) parameter.name = name;
    parameter.type = type;
    parameter.isNull = data == nullptr;
    if (data) parameter.bytes.assign(static_cast<const char*>(data), static_cast<size_t>(length));
    Lock lock(connection->mutex);
    connection->parameters.push_back(std::move(parameter));
    return TRUE;
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
}

OPENDS_API BOOL __cdecl OdsHostSetRowSink(SRV_PROC* connection, OdsRowSink sink, void* context) {
  if (!connection) return FALSE;
  Lock lock(connection->mutex);
  connection->rowSink = sink;
  connection->sinkContext = sink ? context : nullptr;
  return TRUE;
}

OPENDS_API int __cdecl OdsHostEventCount(SRV_PROC* connection) {
  if (!connection) return 0;
  Lock lock(connection->mutex);
  return static_cast<int>(connection->events.size());
}

OPENDS_API BOOL __cdecl OdsHostGetEvent(SRV_PROC* connection, int index, OdsEvent* event) {
  if (!connection || !event) return FALSE;
  Lock lock(connection->mutex);
  if (index < 0 || index >= static_cast<int>(connection->events.size())) return FALSE;
  *event = connection->events[static_cast<size_t>(index)].view;
  return TRUE;
}

OPENDS_API BOOL __cdecl OdsHostGetCell(SRV_PROC* connection, int index, int cell, OdsCell* out) {
  if (!connection || !out) return FALSE;
  Lock lock(connection->mutex);
  if (index < 0 || index >= static_cast<int>(connection->events.size())) return FALSE;
  const CXPData::Event& event = connection->events[static_cast<size_t>(index)];
  if (cell < 0 || cell >= static_cast<int>(event.cells.size())) return FALSE;
  const CXPData::Cell& value = event.cells[static_cast<size_t>(cell)];
  out->isNull = value.isNull;
  out->data = value.isNull ? nullptr : reinterpret_cast<const BYTE*>(value.bytes.data());
  out->length = static_cast<int>(value.bytes.size());
  return TRUE;
}

}  // extern "C"
