#include "com/com_object.h"

#include <string>
#include <vector>

#include "faults.h"
#include "iads.h"

// The published identifiers of the interfaces.
extern "C" {
const IID IID_IADs = {0xFD8256D0, 0xFD15, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
const IID IID_IADsContainer = {0x001677D0, 0xFD16, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
const IID IID_IADsGroup = {0x27636B00, 0x410F, 0x11CF, {0xB1, 0xFF, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};
const IID IID_IADsMembers = {0x451A0030, 0x72EC, 0x11CF, {0xB0, 0x3B, 0x00, 0xAA, 0x00, 0x6E, 0x09, 0x75}};
const IID IID_IADsPropertyList = {0xC6F602B6, 0x8F69, 0x11D0, {0x85, 0x28, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0x03}};
const IID IID_IADsPropertyEntry = {0x05792C8E, 0x941F, 0x11D0, {0x85, 0x29, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0x03}};
const IID IID_IADsPropertyValue = {0x79FA9AD0, 0xA97C, 0x11D0, {0x85, 0x34, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0x03}};
const IID IID_IADsLargeInteger = {0x9068270B, 0x0939, 0x11D1, {0x8B, 0xE1, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0x03}};
const IID IID_IADsObjectOptions = {0x46F14FDA, 0x232B, 0x11D1, {0xA8, 0x08, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0xA8}};
const IID IID_IDirectorySearch = {0x109BA8EC, 0x92F0, 0x11D0, {0xA7, 0x90, 0x00, 0xC0, 0x4F, 0xD8, 0xD5, 0xA8}};
}

namespace adsi {

namespace detail {
std::atomic<long> g_liveObjects{0};
}

long liveObjects() { return detail::g_liveObjects.load(); }

namespace {

struct NamedInterface {
  const IID* iid;
  const char* name;
};

const NamedInterface kInterfaces[] = {
    {&IID_IUnknown, "IUnknown"},
    {&IID_IDispatch, "IDispatch"},
    {&IID_IEnumVARIANT, "IEnumVARIANT"},
    {&IID_IADs, "IADs"},
    {&IID_IADsContainer, "IADsContainer"},
    {&IID_IADsGroup, "IADsGroup"},
    {&IID_IADsMembers, "IADsMembers"},
    {&IID_IADsPropertyList, "IADsPropertyList"},
    {&IID_IADsPropertyEntry, "IADsPropertyEntry"},
    {&IID_IADsPropertyValue, "IADsPropertyValue"},
    {&IID_IADsLargeInteger, "IADsLargeInteger"},
    {&IID_IADsObjectOptions, "IADsObjectOptions"},
    {&IID_IDirectorySearch, "IDirectorySearch"},
};

}  // namespace

const char* interfaceName(REFIID riid) {
  for (const NamedInterface& n : kInterfaces)
    if (IsEqualIID(riid, *n.iid)) return n.name;
  return "?";
}

std::vector<const char*> interfaceNames() {
  std::vector<const char*> names;
  for (const NamedInterface& n : kInterfaces) names.push_back(n.name);
  return names;
}

HRESULT answerQuery(const char* object, REFIID riid, void** ppv, IUnknown* answer) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (faults::armed()) {
    std::string suffix = std::string("::QueryInterface(") + interfaceName(riid) + ")";
    // COM lets QueryInterface succeed only with an interface in hand: a fault
    // armed with a success code fails all the same.
    if (auto fault = faults::check(object, suffix.c_str())) return FAILED(*fault) ? *fault : E_NOINTERFACE;
  }
  if (!answer) return E_NOINTERFACE;
  answer->AddRef();
  *ppv = answer;
  return S_OK;
}

}  // namespace adsi
