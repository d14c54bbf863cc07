#include "connection.h"

#include <limits>
#include <cstring>

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringAsciiCase(const std::string& a, const char* b, int length) {
  if (static_cast<int>(a.size()) != length) return false;
  for (int i = 0; i < length; ++i)
    if (asciiLower(a[static_cast<size_t>(i)]) != asciiLower(b[i])) return false;
  return true;
}

bool isCharacterOrBinary(LONG type) {
  switch (type) {
    case SRVVARCHAR:
    case SRVCHAR:
    case SRVVARBINARY:
    case SRVBINARY:
    case SRVBIGVARCHAR:
    case SRVBIGCHAR:
    case SRVBIGVARBINARY:
    case SRVBIGBINARY: return true;
    default: return false;
  }
}

bool isTextOrImage(LONG type) { return type == SRVTEXT || type == SRVIMAGE; }

}  // namespace

bool widthAllowed(LONG type, LONG width) {
  if (isCharacterOrBinary(type)) return width >= 0 && width <= kMaxCharacterWidth;
  if (isTextOrImage(type)) return width >= 0;
  return true;  // fixed-length types ignore the width
}

LONG cellLimit(LONG type, LONG width) {
  return isCharacterOrBinary(type) || isTextOrImage(type) ? width : std::numeric_limits<LONG>::max();
}

bool resolveTextLength(const char* text, int length, int& resolved) {
  if (length == SRV_NULLTERM) {
    resolved = text ? static_cast<int>(std::strlen(text)) : 0;
    return true;
  }
  if (length < 0 || (length > 0 && !text)) return false;
  resolved = length;
  return true;
}

void CXPData::Event::setName(const char* bytes, int length) {
  if (!bytes) return;
  name.assign(bytes, static_cast<size_t>(length));
  view.name = name.c_str();
  view.nameLength = length;
}

void CXPData::Event::setText(const char* bytes, int length) {
  if (!bytes) return;
  text.assign(bytes, static_cast<size_t>(length));
  view.text = text.c_str();
  view.textLength = length;
}

CXPData::Event& CXPData::record(OdsEventKind kind, int result) {
  Event& event = events.emplace_back();
  event.view.kind = kind;
  event.view.result = result;
  return event;
}

const CXPData::Parameter* CXPData::parameter(int number) const {
  if (number < 1 || number > static_cast<int>(parameters.size())) return nullptr;
  return &parameters[static_cast<size_t>(number - 1)];
}

int CXPData::findParameter(const char* name, int length) {
  int resolved = 0;
  if (!name || !resolveTextLength(name, length, resolved)) return 0;
  for (size_t i = 0; i < parameters.size(); ++i)
    if (parameters[i].named && equalIgnoringAsciiCase(parameters[i].name, name, resolved))
      return static_cast<int>(i + 1);
  return 0;
}
