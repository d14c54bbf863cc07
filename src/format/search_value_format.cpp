#include "format/search_value_format.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "errors/error_text.h"
#include "errors/failures.h"
#include "format/utc_time_text.h"
#include "platform/text_conversion.h"

namespace {

// A provider's linked list that never ends must not hang the server.
constexpr size_t kMaxListElements = 1 << 20;

struct UnreadableValue {};

std::string converted(const WCHAR* text) { return toNarrow(text); }

void appendBytes(std::string& text, const BYTE* bytes, DWORD length) {
  if (length == 0) return;
  if (!bytes) throw UnreadableValue{};
  text.append(reinterpret_cast<const char*>(bytes), length);
}

std::string bytes(const BYTE* data, DWORD length) {
  std::string text;
  appendBytes(text, data, length);
  return text;
}

int asSigned(DWORD value) { return static_cast<int>(static_cast<int32_t>(value)); }

std::string decimal(DWORD value) {
  std::string text;
  formatText(text, "%d", asSigned(value));
  return text;
}

// The first 16 bytes as a GUID in registry form; fewer bytes are written as
// upper-case hexadecimal digits, since no bytes beyond the value may be read.
std::string binaryPart(const BYTE* data, DWORD length) {
  if (length == 0) return std::string();
  if (!data) throw UnreadableValue{};
  if (length < 16) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (DWORD i = 0; i < length; ++i) {
      hex += kDigits[data[i] >> 4];
      hex += kDigits[data[i] & 15];
    }
    return hex;
  }
  GUID guid;
  guid.Data1 = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
               static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
  guid.Data2 = static_cast<uint16_t>(data[4] | data[5] << 8);
  guid.Data3 = static_cast<uint16_t>(data[6] | data[7] << 8);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = data[8 + i];
  WCHAR text[39];
  if (StringFromGUID2(guid, text, 39) == 0) throw UnreadableValue{};
  return converted(text);
}

std::string caseIgnoreList(const ADS_CASEIGNORE_LIST* element) {
  std::string text;
  for (size_t count = 0; element; element = element->Next) {
    if (++count > kMaxListElements) throw UnreadableValue{};
    text += converted(element->String);
    text += ';';
  }
  return text;
}

std::string octetList(const ADS_OCTET_LIST* element) {
  std::string text;
  for (size_t count = 0; element; element = element->Next) {
    if (++count > kMaxListElements) throw UnreadableValue{};
    appendBytes(text, element->Data, element->Length);
    text += ';';
  }
  return text;
}

std::string postalAddress(const ADS_POSTALADDRESS* address) {
  std::string text;
  if (!address) return text;
  for (const WCHAR* line : address->PostalAddress) {
    if (!line) continue;
    text += converted(line);
    text += "\r\n";
  }
  return text;
}

std::string formatValue(DWORD type, const ADSVALUE& value) {
  std::string text;
  switch (type) {
    case ADSTYPE_DN_STRING: return converted(value.DNString);
    case ADSTYPE_CASE_EXACT_STRING: return converted(value.CaseExactString);
    case ADSTYPE_CASE_IGNORE_STRING: return converted(value.CaseIgnoreString);
    case ADSTYPE_PRINTABLE_STRING: return converted(value.PrintableString);
    case ADSTYPE_NUMERIC_STRING: return converted(value.NumericString);
    case ADSTYPE_BOOLEAN: return value.Boolean ? "1" : "0";
    case ADSTYPE_INTEGER: return decimal(value.Integer);
    case ADSTYPE_OCTET_STRING: return bytes(value.OctetString.lpValue, value.OctetString.dwLength);
    case ADSTYPE_UTC_TIME: return utcTimeText(value.UTCTime);
    case ADSTYPE_LARGE_INTEGER: return std::to_string(static_cast<long long>(value.LargeInteger.QuadPart));
    case ADSTYPE_PROV_SPECIFIC: return bytes(value.ProviderSpecific.lpValue, value.ProviderSpecific.dwLength);
    case ADSTYPE_CASEIGNORE_LIST: return caseIgnoreList(value.pCaseIgnoreList);
    case ADSTYPE_OCTET_LIST: return octetList(value.pOctetList);
    case ADSTYPE_PATH:
      if (value.pPath)
        formatText(text, "Type:%d, Vol:%s, Path:%s", asSigned(value.pPath->Type),
                   converted(value.pPath->VolumeName).c_str(), converted(value.pPath->Path).c_str());
      return text;
    case ADSTYPE_POSTALADDRESS: return postalAddress(value.pPostalAddress);
    case ADSTYPE_TIMESTAMP: return decimal(value.Timestamp.WholeSeconds);
    case ADSTYPE_BACKLINK: return converted(value.BackLink.ObjectName);
    case ADSTYPE_TYPEDNAME:
      if (value.pTypedName)
        formatText(text, "%s, Lev:%d, Int:%d", converted(value.pTypedName->ObjectName).c_str(),
                   asSigned(value.pTypedName->Level), asSigned(value.pTypedName->Interval));
      return text;
    case ADSTYPE_HOLD:
      formatText(text, "%s, Amt:%d", converted(value.Hold.ObjectName).c_str(), asSigned(value.Hold.Amount));
      return text;
    case ADSTYPE_NETADDRESS:
      if (value.pNetAddress) appendBytes(text, value.pNetAddress->Address, value.pNetAddress->AddressLength);
      return text;
    case ADSTYPE_REPLICAPOINTER:
      if (value.pReplicaPointer)
        formatText(text, "%s, Type:%d, Num:%d, Cnt:%d", converted(value.pReplicaPointer->ServerName).c_str(),
                   asSigned(value.pReplicaPointer->ReplicaType), asSigned(value.pReplicaPointer->ReplicaNumber),
                   asSigned(value.pReplicaPointer->Count));
      return text;
    case ADSTYPE_FAXNUMBER: return value.pFaxNumber ? converted(value.pFaxNumber->TelephoneNumber) : text;
    case ADSTYPE_EMAIL: return converted(value.Email.Address);
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
      return bytes(value.SecurityDescriptor.lpValue, value.SecurityDescriptor.dwLength);
    case ADSTYPE_UNKNOWN: return "Undefined type";
    case ADSTYPE_DN_WITH_BINARY:
      if (value.pDNWithBinary)
        formatText(text, "%s:%s", converted(value.pDNWithBinary->pszDNString).c_str(),
                   binaryPart(value.pDNWithBinary->lpBinaryValue, value.pDNWithBinary->dwLength).c_str());
      return text;
    case ADSTYPE_DN_WITH_STRING:
      if (value.pDNWithString)
        formatText(text, "%s:%s", converted(value.pDNWithString->pszDNString).c_str(),
                   converted(value.pDNWithString->pszStringValue).c_str());
      return text;
    default:  // ADSTYPE_INVALID, ADSTYPE_OBJECT_CLASS and codes above 28
      return "Unknown type.";
  }
}

}  // namespace

DWORD typeCode(const ADS_SEARCH_COLUMN& column) {
  // Read as the 32-bit number it is on the wire: a provider may send codes
  // the enumeration does not name.
  DWORD code;
  static_assert(sizeof code == sizeof column.dwADsType, "ADSTYPE is 32 bits");
  std::memcpy(&code, &column.dwADsType, sizeof code);
  return code;
}

std::optional<std::string> formatSearchValue(const ADS_SEARCH_COLUMN& column) noexcept {
  try {
    if (!column.pADsValues || column.dwNumValues == 0) return std::nullopt;
    return formatValue(typeCode(column), column.pADsValues[0]);
  } catch (...) {
    return std::nullopt;
  }
}

bool isBinarySearchType(DWORD adsType) {
  return adsType == ADSTYPE_OCTET_STRING || adsType == ADSTYPE_NETADDRESS || adsType == ADSTYPE_NT_SECURITY_DESCRIPTOR;
}
