// Parameter intake: the four parameters by name or by position, checked and
// defaulted, and the scope keyword turned into the scope flags.
#include <cstring>

#include "entry/request.h"
#include "errors/failures.h"
#include "params/parameter_texts.h"
#include "params/scope_keyword.h"
#include "platform/host.h"

namespace {

constexpr const char* kParameterNames[] = {"@adspath", "@filter", "@field_names", "@scope"};
constexpr int kMaxValueLength = 512;  // 511 bytes are accepted, 512 are not
constexpr int kMaxPositionalParameters = 4;

bool isCharacterType(int type) {
  return type == SRVVARCHAR || type == SRVCHAR || type == SRVBIGVARCHAR || type == SRVBIGCHAR;
}

// The server pads a fixed-length value with blanks to its declared length.
bool isFixedLength(int type) { return type == SRVCHAR || type == SRVBIGCHAR; }

}  // namespace

bool Request::readParameters() {
  if (Host(srvproc).parameterCount() <= 0) {
    errorText = texts::kWrongCount;
    errorText += texts::kUsage;
    return false;
  }
  if (!bindParameters()) throw ErrorText{texts::kWrongParameters + errorText};
  if (!parseFieldNames()) throw ErrorText{errorText};
  return true;
}

bool Request::bindParameters() {
  const Host host(srvproc);
  const int count = host.parameterCount();

  int32_t named = 0;
  for (const char* name : kParameterNames) {
    const int32_t number = host.parameterNumber(name);
    paramNumbers.append(number);
    named += number;
  }
  // No parameter carries one of the four names: the call is positional,
  // whatever names its parameters have. A fifth value has no place: the
  // caller is told the count is wrong and how to call.
  if (named == 0 && count > 0) {
    if (count > kMaxPositionalParameters) throw ErrorText{std::string(texts::kWrongCount) + texts::kUsage};
    for (int i = 0; i < count; ++i) paramNumbers[static_cast<size_t>(i)] = i + 1;
  }

  if (paramNumbers[0] == 0) return false;

  if (!readParameter(paramNumbers[0], adsPath)) throw ErrorText{texts::kWrongAdsPath + errorText};

  if (paramNumbers[1] == 0)
    filter.clear();
  else if (!readParameter(paramNumbers[1], filter))
    throw ErrorText{texts::kWrongFilter + errorText};

  if (paramNumbers[2] == 0)
    fieldNames = "*";
  else if (!readParameter(paramNumbers[2], fieldNames))
    throw ErrorText{texts::kWrongFieldNames + errorText};

  childObjects = 0;
  groupMembers = 0;
  if (paramNumbers[3] != 0) {
    std::string scope;
    if (!readParameter(paramNumbers[3], scope)) throw ErrorText{texts::kWrongScope + errorText};
    if (!applyScopeKeyword(scope, childObjects, groupMembers)) errorText += texts::kUnknownScope;
  }
  return errorText.empty();
}

bool Request::readParameter(int number, std::string& target) {
  const Host host(srvproc);
  const int type = host.parameterType(number);
  const int length = host.parameterLength(number);
  if (!isCharacterType(type)) {
    errorText = texts::kWrongType;
    return false;
  }
  if (length >= kMaxValueLength) {
    errorText = texts::kTooLong;
    return false;
  }
  const char* data = host.parameterData(number);
  std::string text;
  if (data && length > 0) text.assign(data, strnlen(data, static_cast<size_t>(length)));
  if (isFixedLength(type)) text.erase(text.find_last_not_of(' ') + 1);
  if (text == " ") text.clear();
  target = text;
  return true;
}
