// The host-side controls of adsi_compat.h.
#include "adsi_compat.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "com/com_object.h"
#include "embedded/embedded_store.h"
#include "fault_names.h"
#include "faults.h"
#include "mount.h"

namespace {

void writeError(const std::string& text, char* out, size_t size) {
  if (!out || size == 0) return;
  std::snprintf(out, size, "%s", text.c_str());
}

HRESULT mountText(const std::string& source, std::string_view text, char* errorText, size_t errorTextSize) {
  std::string error;
  auto store = adsi::EmbeddedStore::load(text, source, error);
  if (!store) {
    writeError(error, errorText, errorTextSize);
    return E_INVALIDARG;
  }
  adsi::setDefaultStore(std::move(store));
  writeError("", errorText, errorTextSize);
  return S_OK;
}

}  // namespace

HRESULT AdsCompatMountLdif(const char* path, char* errorText, size_t errorTextSize) {
  if (!path) return E_POINTER;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    writeError(std::string(path) + ":0: cannot open the file: " + std::strerror(errno), errorText, errorTextSize);
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  std::ostringstream text;
  text << file.rdbuf();
  return mountText(path, text.str(), errorText, errorTextSize);
}

HRESULT AdsCompatMountLdifBuffer(const char* sourceName, const char* data, size_t size, char* errorText,
                                 size_t errorTextSize) {
  if (!data && size) return E_POINTER;
  return mountText(sourceName ? sourceName : "(buffer)", std::string_view(data ? data : "", size), errorText,
                   errorTextSize);
}

void AdsCompatUnmount(void) { adsi::setDefaultStore(nullptr); }

BOOL AdsCompatAddServerName(const char* name) {
  std::shared_ptr<adsi::EmbeddedStore> store = adsi::defaultStore();
  if (!store || !name || !*name) return FALSE;
  store->addServerName(name);
  return TRUE;
}

BOOL AdsCompatSetFault(const char* operation, HRESULT result) { return AdsCompatSetFaultAfter(operation, result, 0); }

BOOL AdsCompatSetFaultAfter(const char* operation, HRESULT result, LONG skipCalls) {
  if (!operation || !adsi::faults::isKnownOperation(operation)) return FALSE;
  adsi::faults::set(operation, result, skipCalls);
  return TRUE;
}

void AdsCompatClearFaults(void) { adsi::faults::clear(); }

const char* AdsCompatFaultOperation(size_t index) {
  const std::vector<std::string>& names = adsi::faults::knownOperations();
  return index < names.size() ? names[index].c_str() : nullptr;
}

LONG AdsCompatLiveObjects(void) { return static_cast<LONG>(adsi::liveObjects()); }

LONG AdsCompatPagesFetched(void) { return static_cast<LONG>(adsi::EmbeddedStore::pagesFetched()); }

size_t AdsCompatDescribeServerlessPaths(char* text, size_t size) {
  const std::string line = adsi::describeServerlessPaths();
  writeError(line, text, size);
  return line.size();
}
