// A whole call through the host stand-in: the input decodes into any number
// of parameters with any names, types, lengths and bytes (NULL too), and may
// arm one ADSI fault and a point after which BSTR and SAFEARRAY allocations
// fail. Whatever it holds, the client gets exactly one answer, COM is back
// where it was and nothing the call made is left alive. Paths may name any
// server, so it runs only without a network (network_isolation.h).
//
// Input: header byte (bit 0: an ADSI fault follows, bit 1: an allocation
// limit follows), [fault: name, result, skip], [limit: u16], parameter count,
// then per parameter: flags (1 named, 2 a known name, 4 own type byte,
// 8 SRVCHAR, 16 NULL, 32 upper-case name), [name], [type], [value: u16
// length and bytes].
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "adserr.h"
#include "adsi_compat.h"
#include "fuzz_check.h"
#include "fuzz_directory.h"
#include "fuzz_input.h"
#include "live_counters.h"
#include "network_isolation.h"
#include "recorded_call.h"
#include "win32_compat.h"

namespace {

const char* const kParameterNames[] = {"@adspath", "@filter", "@field_names", "@scope"};

const char* const kFaults[] = {
    "ADsGetObject",
    "IADs::GetInfo",
    "IADs::get_Name",
    "IADs::get_Class",
    "IADs::get_GUID",
    "IADs::get_ADsPath",
    "IADs::get_Parent",
    "IADs::get_Schema",
    "IADs::QueryInterface(IADsContainer)",
    "IADs::QueryInterface(IADsGroup)",
    "IADs::QueryInterface(IADsPropertyList)",
    "IADs::QueryInterface(IADsObjectOptions)",
    "IADs::QueryInterface(IDirectorySearch)",
    "IEnumVARIANT::QueryInterface(IEnumVARIANT)",
    "IADsPropertyEntry::QueryInterface(IADsPropertyEntry)",
    "IADsPropertyValue::QueryInterface(IADsPropertyValue)",
    "IADsLargeInteger::QueryInterface(IADsLargeInteger)",
    "IADsObjectOptions::SetOption",
    "IADsContainer::put_Filter",
    "IADsContainer::get__NewEnum",
    "IADsGroup::Members",
    "IADsMembers::get__NewEnum",
    "IEnumVARIANT::Next",
    "IEnumVARIANT::Next:notDispatch",
    "IADsPropertyList::Next",
    "IADsPropertyList::GetPropertyItem",
    "IADsPropertyEntry::get_Name",
    "IADsPropertyEntry::get_ADsType",
    "IADsPropertyEntry::get_Values",
    "IADsPropertyEntry::get_Values:notArray",
    "IADsPropertyEntry::get_Values:oddElement",
    "IADsPropertyValue::get_ADsType",
    "IADsPropertyValue::get_CaseIgnoreString",
    "IADsPropertyValue::get_DNString",
    "IADsPropertyValue::get_Boolean",
    "IADsPropertyValue::get_Integer",
    "IADsPropertyValue::get_OctetString",
    "IADsPropertyValue::get_LargeInteger",
    "IADsPropertyValue::get_UTCTime",
    "IDirectorySearch::SetSearchPreference",
    "IDirectorySearch::ExecuteSearch",
    "IDirectorySearch::GetNextRow",
    "IDirectorySearch::GetNextColumnName",
    "IDirectorySearch::GetColumn",
    "IDirectorySearch::CloseSearchHandle",
};

const HRESULT kResults[] = {
    S_OK,
    S_FALSE,
    E_FAIL,
    E_OUTOFMEMORY,
    E_POINTER,
    E_NOINTERFACE,
    static_cast<HRESULT>(0x80072030),  // no such object
    static_cast<HRESULT>(0x8007203A),  // server not operational
    static_cast<HRESULT>(0x80005000),  // bad path name
    static_cast<HRESULT>(0x80080005),  // facility 8
    S_ADS_NOMORE_ROWS,
    S_ADS_NOMORE_COLUMNS,
};

long g_calls = 0, g_faults = 0, g_allocationLimits = 0;

void printTotals() {
  std::fprintf(stderr, "procedure_call: %ld calls, %ld ADSI faults armed, %ld allocation limits set\n", g_calls,
               g_faults, g_allocationLimits);
}

template <class T, size_t N>
const T& pick(const T (&choices)[N], FuzzInput& in) {
  return choices[in.byte() % N];
}

std::vector<CallParameter> decodeParameters(FuzzInput& in) {
  std::vector<CallParameter> parameters(in.byte() % 8);
  for (CallParameter& p : parameters) {
    const uint8_t flags = in.byte();
    if (flags & 1) {
      p.name = flags & 2 ? std::string(pick(kParameterNames, in)) : in.sized(40);
      if (flags & 32)
        for (char& c : *p.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    p.type = flags & 4 ? in.byte() : flags & 8 ? SRVCHAR : SRVVARCHAR;
    if (!(flags & 16)) p.bytes = in.sized(700);
  }
  return parameters;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  requireNetworkIsolation("procedure_call_fuzzer");
  mountFuzzDirectory();
  std::atexit(printTotals);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t header = in.byte();
  if (header & 1) {
    const char* fault = pick(kFaults, in);
    HRESULT result = pick(kResults, in);
    // A search step that says S_OK without stepping never ends: no directory
    // can answer that way, so these two steps take S_FALSE instead.
    if (result == S_OK && std::strncmp(fault, "IDirectorySearch::GetNext", 25) == 0) result = S_FALSE;
    AdsCompatSetFaultAfter(fault, result, in.byte() % 8);
    ++g_faults;
  }
  LONG allocations = -1;
  if (header & 2) {
    allocations = in.u16() % 2048;
    ++g_allocationLimits;
  }
  const std::vector<CallParameter> parameters = decodeParameters(in);

  const LiveCounters before = LiveCounters::now();
  Win32CompatFailAllocationsAfter(allocations);
  const RecordedCall call = runRecordedCall(parameters);
  Win32CompatFailAllocationsAfter(-1);
  AdsCompatClearFaults();
  ++g_calls;

  const std::string violation = answerViolation(call);
  FUZZ_REQUIRE(violation.empty(), violation + "\n" + call.text());
  const std::string moved = counterChanges(before, LiveCounters::now());
  FUZZ_REQUIRE(moved.empty(), "the call left " + moved + "\n" + call.text());
  return 0;
}
