// The parameter operations of srv.h: what the procedure asks about its call.
#include "connection.h"

#include <cstring>

using Lock = std::lock_guard<std::mutex>;

extern "C" {

OPENDS_API int __cdecl srv_rpcparams(SRV_PROC* srvproc) {
  if (!srvproc) return -1;
  Lock lock(srvproc->mutex);
  int count = static_cast<int>(srvproc->parameters.size());
  srvproc->record(ODS_EVENT_RPCPARAMS, count);
  return count;
}

OPENDS_API int __cdecl srv_paramnumber(SRV_PROC* srvproc, char* name, int namelen) {
  if (!srvproc) return 0;
  Lock lock(srvproc->mutex);
  int number = srvproc->findParameter(name, namelen);
  CXPData::Event& event = srvproc->record(ODS_EVENT_PARAMNUMBER, number);
  event.view.lengthArgument = namelen;
  int resolved = 0;
  if (resolveTextLength(name, namelen, resolved)) event.setName(name, resolved);
  return number;
}

OPENDS_API char* __cdecl srv_paramname(SRV_PROC* srvproc, int n, int* len) {
  if (len) *len = -1;
  if (!srvproc) return nullptr;
  Lock lock(srvproc->mutex);
  const CXPData::Parameter* parameter = srvproc->parameter(n);
  char* name = nullptr;
  if (parameter) {
    // An unnamed parameter has the empty name.
    name = const_cast<char*>(parameter->name.c_str());
    if (len) *len = static_cast<int>(parameter->name.size());
  }
  srvproc->record(ODS_EVENT_PARAMNAME, name ? 1 : 0).view.number = n;
  return name;
}

OPENDS_API int __cdecl srv_paramtype(SRV_PROC* srvproc, int n) {
  if (!srvproc) return -1;
  Lock lock(srvproc->mutex);
  const CXPData::Parameter* parameter = srvproc->parameter(n);
  int type = parameter ? parameter->type : -1;
  srvproc->record(ODS_EVENT_PARAMTYPE, type).view.number = n;
  return type;
}

OPENDS_API int __cdecl srv_paramlen(SRV_PROC* srvproc, int n) {
  if (!srvproc) return -1;
  Lock lock(srvproc->mutex);
  const CXPData::Parameter* parameter = srvproc->parameter(n);
  int length = parameter ? static_cast<int>(parameter->bytes.size()) : -1;
  srvproc->record(ODS_EVENT_PARAMLEN, length).view.number = n;
  return length;
}

OPENDS_API void* __cdecl srv_paramdata(SRV_PROC* srvproc, int n) {
  if (!srvproc) return nullptr;
  Lock lock(srvproc->mutex);
  const CXPData::Parameter* parameter = srvproc->parameter(n);
  void* data = nullptr;
  if (parameter && !parameter->isNull) data = const_cast<char*>(parameter->bytes.data());
  srvproc->record(ODS_EVENT_PARAMDATA, data ? 1 : 0).view.number = n;
  return data;
}

}  // extern "C"
