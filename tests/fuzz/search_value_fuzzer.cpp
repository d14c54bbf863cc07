// formatSearchValue over search columns built from the input: any type code
// (mostly 0..40), any value count, and values laid out as the published
// structures of the column's type, with valid pointers to strings, bytes,
// lists and structures made from the input (null where the layout allows).
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "format/search_value_format.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "live_counters.h"

namespace {

// Owns everything the column points into.
class ValueStorage {
 public:
  explicit ValueStorage(FuzzInput& in) : in_(in) {}

  // A UTF-16 string of any code units (lone surrogates too), or null.
  LPWSTR text() {
    if (in_.byte() % 8 == 0) return nullptr;
    texts_.push_back(in_.utf16(120));
    return const_cast<LPWSTR>(texts_.back().c_str());
  }

  // Bytes and their length; the pointer is null only for no bytes.
  LPBYTE bytes(DWORD& length) {
    bytes_.push_back(in_.sized(300));
    length = static_cast<DWORD>(bytes_.back().size());
    if (length == 0 && in_.flag()) return nullptr;
    return reinterpret_cast<LPBYTE>(bytes_.back().data());
  }

  template <class T>
  T* structure() {
    auto& holder = std::get<std::deque<T>>(structures_);
    holder.emplace_back();
    return &holder.back();
  }

  // Absent (null) in one case of eight, where the layout has a pointer.
  bool present() { return in_.byte() % 8 != 0; }

 private:
  FuzzInput& in_;
  std::deque<std::u16string> texts_;
  std::deque<std::string> bytes_;
  std::tuple<std::deque<ADS_CASEIGNORE_LIST>, std::deque<ADS_OCTET_LIST>, std::deque<ADS_PATH>,
             std::deque<ADS_POSTALADDRESS>, std::deque<ADS_TYPEDNAME>, std::deque<ADS_NETADDRESS>,
             std::deque<ADS_REPLICAPOINTER>, std::deque<ADS_FAXNUMBER>, std::deque<ADS_DN_WITH_BINARY>,
             std::deque<ADS_DN_WITH_STRING>>
      structures_;
};

void fillValue(DWORD code, FuzzInput& in, ValueStorage& s, ADSVALUE& v) {
  switch (code) {
    case ADSTYPE_DN_STRING:
    case ADSTYPE_CASE_EXACT_STRING:
    case ADSTYPE_CASE_IGNORE_STRING:
    case ADSTYPE_PRINTABLE_STRING:
    case ADSTYPE_NUMERIC_STRING: v.CaseIgnoreString = s.text(); break;
    case ADSTYPE_BOOLEAN: v.Boolean = in.u32(); break;
    case ADSTYPE_INTEGER: v.Integer = in.u32(); break;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_PROV_SPECIFIC:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:  // the three share one layout
      v.OctetString.lpValue = s.bytes(v.OctetString.dwLength);
      break;
    case ADSTYPE_UTC_TIME:
      v.UTCTime = SYSTEMTIME{in.u16(), in.u16(), in.u16(), in.u16(), in.u16(), in.u16(), in.u16(), in.u16()};
      break;
    case ADSTYPE_LARGE_INTEGER: v.LargeInteger.QuadPart = static_cast<LONGLONG>(in.u64()); break;
    case ADSTYPE_CASEIGNORE_LIST: {
      ADS_CASEIGNORE_LIST** link = &v.pCaseIgnoreList;
      for (int n = in.byte() % 6; n > 0; --n) {
        *link = s.structure<ADS_CASEIGNORE_LIST>();
        (*link)->String = s.text();
        link = &(*link)->Next;
      }
      break;
    }
    case ADSTYPE_OCTET_LIST: {
      ADS_OCTET_LIST** link = &v.pOctetList;
      for (int n = in.byte() % 6; n > 0; --n) {
        *link = s.structure<ADS_OCTET_LIST>();
        (*link)->Data = s.bytes((*link)->Length);
        link = &(*link)->Next;
      }
      break;
    }
    case ADSTYPE_PATH:
      if (s.present()) {
        v.pPath = s.structure<ADS_PATH>();
        v.pPath->Type = in.u32();
        v.pPath->VolumeName = s.text();
        v.pPath->Path = s.text();
      }
      break;
    case ADSTYPE_POSTALADDRESS:
      if (s.present()) {
        v.pPostalAddress = s.structure<ADS_POSTALADDRESS>();
        for (LPWSTR& line : v.pPostalAddress->PostalAddress) line = s.text();
      }
      break;
    case ADSTYPE_TIMESTAMP:
      v.Timestamp.WholeSeconds = in.u32();
      v.Timestamp.EventID = in.u32();
      break;
    case ADSTYPE_BACKLINK:
      v.BackLink.RemoteID = in.u32();
      v.BackLink.ObjectName = s.text();
      break;
    case ADSTYPE_TYPEDNAME:
      if (s.present()) {
        v.pTypedName = s.structure<ADS_TYPEDNAME>();
        v.pTypedName->ObjectName = s.text();
        v.pTypedName->Level = in.u32();
        v.pTypedName->Interval = in.u32();
      }
      break;
    case ADSTYPE_HOLD:
      v.Hold.ObjectName = s.text();
      v.Hold.Amount = in.u32();
      break;
    case ADSTYPE_NETADDRESS:
      if (s.present()) {
        v.pNetAddress = s.structure<ADS_NETADDRESS>();
        v.pNetAddress->AddressType = in.u32();
        v.pNetAddress->Address = s.bytes(v.pNetAddress->AddressLength);
      }
      break;
    case ADSTYPE_REPLICAPOINTER:
      if (s.present()) {
        v.pReplicaPointer = s.structure<ADS_REPLICAPOINTER>();
        v.pReplicaPointer->ServerName = s.text();
        v.pReplicaPointer->ReplicaType = in.u32();
        v.pReplicaPointer->ReplicaNumber = in.u32();
        v.pReplicaPointer->Count = in.u32();
        if (s.present()) {
          ADS_NETADDRESS* hint = s.structure<ADS_NETADDRESS>();
          hint->AddressType = in.u32();
          hint->Address = s.bytes(hint->AddressLength);
          v.pReplicaPointer->ReplicaAddressHints = hint;
        }
      }
      break;
    case ADSTYPE_FAXNUMBER:
      if (s.present()) {
        v.pFaxNumber = s.structure<ADS_FAXNUMBER>();
        v.pFaxNumber->TelephoneNumber = s.text();
        DWORD length = 0;
        v.pFaxNumber->Parameters = s.bytes(length);
        v.pFaxNumber->NumberOfBits = length * 8;
      }
      break;
    case ADSTYPE_EMAIL:
      v.Email.Address = s.text();
      v.Email.Type = in.u32();
      break;
    case ADSTYPE_DN_WITH_BINARY:
      if (s.present()) {
        v.pDNWithBinary = s.structure<ADS_DN_WITH_BINARY>();
        v.pDNWithBinary->lpBinaryValue = s.bytes(v.pDNWithBinary->dwLength);
        v.pDNWithBinary->pszDNString = s.text();
      }
      break;
    case ADSTYPE_DN_WITH_STRING:
      if (s.present()) {
        v.pDNWithString = s.structure<ADS_DN_WITH_STRING>();
        v.pDNWithString->pszDNString = s.text();
        v.pDNWithString->pszStringValue = s.text();
      }
      break;
    default: {  // no rule reads the value: any bytes
      const std::string raw = in.bytes(sizeof v - offsetof(ADSVALUE, Integer));
      std::memcpy(reinterpret_cast<char*>(&v) + offsetof(ADSVALUE, Integer), raw.data(), raw.size());
      break;
    }
  }
}

std::string octets(const LPBYTE data, DWORD length) {
  return length ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
}

// The C library's own reading of the fields as UTC (timegm normalises them
// as the rule says), within the range the rule accepts; absent outside it.
std::optional<std::string> expectedTime(const SYSTEMTIME& t) {
  if (t.wYear < 1900) return "1970-01-01 00:00:00";
  std::tm fields{};
  fields.tm_year = t.wYear - 1900;
  fields.tm_mon = t.wMonth - 1;
  fields.tm_mday = t.wDay;
  fields.tm_hour = t.wHour;
  fields.tm_min = t.wMinute;
  fields.tm_sec = t.wSecond;
  const time_t instant = timegm(&fields);
  if (instant < 0 || instant > 32535215999) return std::nullopt;  // up to 3000-12-31 23:59:59
  std::tm broken{};
  gmtime_r(&instant, &broken);
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &broken));
}

std::string shown(const std::optional<std::string>& cell) { return cell ? "'" + *cell + "'" : "no value"; }

// Bytes that a rule copies as they are: with a length but no data they
// cannot be read and the cell is absent.
std::optional<std::string> expectedOctets(const LPBYTE data, DWORD length) {
  if (length && !data) return std::nullopt;
  return octets(data, length);
}

// What the rules fix exactly, for the codes whose text follows from the
// value alone. Absence is a flag of the cell, never a text: the four letters
// NULL among the bytes of a value are data.
void checkText(DWORD code, const ADS_SEARCH_COLUMN& column, const std::optional<std::string>& text) {
  if (!column.pADsValues || column.dwNumValues == 0) {
    FUZZ_REQUIRE(!text, "a column without values gave " + shown(text));
    return;
  }
  const ADSVALUE& v = column.pADsValues[0];
  std::optional<std::string> expected;
  switch (code) {
    case ADSTYPE_BOOLEAN: expected = v.Boolean ? "1" : "0"; break;
    case ADSTYPE_INTEGER: expected = std::to_string(static_cast<int32_t>(v.Integer)); break;
    case ADSTYPE_LARGE_INTEGER: expected = std::to_string(v.LargeInteger.QuadPart); break;
    case ADSTYPE_OCTET_STRING:
    case ADSTYPE_PROV_SPECIFIC:
    case ADSTYPE_NT_SECURITY_DESCRIPTOR:
      expected = expectedOctets(v.OctetString.lpValue, v.OctetString.dwLength);
      break;
    case ADSTYPE_UNKNOWN: expected = "Undefined type"; break;
    case ADSTYPE_UTC_TIME: expected = expectedTime(v.UTCTime); break;
    default:
      if (code == ADSTYPE_INVALID || code == ADSTYPE_OBJECT_CLASS || code > ADSTYPE_DN_WITH_STRING)
        expected = "Unknown type.";
      else
        return;  // converted strings and composed texts: no crash is the check
  }
  FUZZ_REQUIRE(text == expected,
               "code " + std::to_string(code) + " gave " + shown(text) + ", expected " + shown(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t choice = in.byte();
  const DWORD code = choice < 0xF0 ? choice % 41 : in.u32();
  const DWORD count = in.byte() % 4;
  const bool ownTypes = in.flag();  // values whose own type code differs from the column's

  const LiveCounters before = LiveCounters::now();
  {
    ValueStorage storage(in);
    std::vector<ADSVALUE> values(count ? count : 1);
    for (ADSVALUE& value : values) {
      value = ADSVALUE();
      const DWORD own = ownTypes ? in.byte() % 41 : code;
      std::memcpy(&value.dwType, &own, sizeof own);
      fillValue(code, in, storage, value);
    }
    ADS_SEARCH_COLUMN column{};
    column.pszAttrName = storage.text();
    std::memcpy(&column.dwADsType, &code, sizeof code);  // codes the enumeration does not name
    column.pADsValues = count || in.flag() ? values.data() : nullptr;
    column.dwNumValues = count;

    const std::optional<std::string> text = formatSearchValue(column);
    checkText(code, column, text);
  }
  const std::string moved = counterChanges(before, LiveCounters::now());
  FUZZ_REQUIRE(moved.empty(), "formatting left " + moved);
  return 0;
}
