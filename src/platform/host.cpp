#include "platform/host.h"

#include <string>

int Host::parameterCount() const { return srv_rpcparams(connection_); }

int Host::parameterNumber(const char* name) const {
  std::string writable(name);  // the host takes a non-const name
  return srv_paramnumber(connection_, &writable[0], SRV_NULLTERM);
}

int Host::parameterType(int number) const { return srv_paramtype(connection_, number); }

int Host::parameterLength(int number) const { return srv_paramlen(connection_, number); }

const char* Host::parameterData(int number) const {
  return static_cast<const char*>(srv_paramdata(connection_, number));
}

void Host::describeColumn(int column, const char* name, int type, int32_t maxLength) const {
  srv_describe(connection_, column, const_cast<char*>(name), SRV_NULLTERM, type, maxLength, type, 0, nullptr);
}

void Host::bindCell(int column, std::string_view bytes, int length) const {
  srv_setcoldata(connection_, column, const_cast<char*>(bytes.data()));
  srv_setcollen(connection_, column, length);
}

void Host::sendRow() const { srv_sendrow(connection_); }

void Host::sendErrorMessage(const char* text, int state) const {
  srv_sendmsg(connection_, SRV_MSG_ERROR, kMessageNumber, kMessageSeverity, static_cast<BYTE>(state), nullptr, 0, 0,
              const_cast<char*>(text), SRV_NULLTERM);
}

void Host::sendDone(USHORT status, int32_t count) const { srv_senddone(connection_, status, 0, count); }
