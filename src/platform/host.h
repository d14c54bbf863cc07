// The narrow layer over the host's extended-procedure interface: the srv_*
// operations a call uses, with the call's connection bound once.
#pragma once

#include <string_view>

#include "platform/platform.h"

class Host {
 public:
  explicit Host(SRV_PROC* connection) : connection_(connection) {}

  int parameterCount() const;
  // 1-based number of the parameter of that name, 0 when there is none.
  int parameterNumber(const char* name) const;
  int parameterType(int number) const;
  int parameterLength(int number) const;
  const char* parameterData(int number) const;  // null for a NULL value

  void describeColumn(int column, const char* name, int type, int32_t maxLength) const;
  // The bytes must stay alive until the row is sent; length 0 sends NULL.
  void bindCell(int column, std::string_view bytes, int length) const;
  void sendRow() const;
  void sendErrorMessage(const char* text, int state) const;
  void sendDone(USHORT status, int32_t count) const;

 private:
  SRV_PROC* connection_;
};

// Message number and severity of every message the procedure sends.
constexpr LONG kMessageNumber = 20001;
constexpr BYTE kMessageSeverity = 16;
