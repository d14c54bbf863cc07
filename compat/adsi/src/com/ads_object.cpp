#include "com/ads_object.h"

#include <cstdio>

#include "adserr.h"
#include "com/members.h"
#include "com/object_enumerator.h"
#include "com/search_session.h"
#include "faults.h"
#include "mount.h"
#include "store/dn.h"
#include "text.h"

namespace adsi {
namespace {

HRESULT putString(const std::string& utf8, BSTR* retval) {
  if (!retval) return E_POINTER;
  *retval = allocBstr(utf8);
  return *retval ? S_OK : E_OUTOFMEMORY;
}

bool hasObjectClass(const EntryPtr& entry, std::initializer_list<const char*> classes) {
  if (!entry) return false;
  if (const Attribute* oc = entry->find("objectClass"))
    for (const std::string& v : oc->values)
      for (const char* c : classes)
        if (equalsIgnoreCase(v, c)) return true;
  return false;
}

}  // namespace

AdsObject::AdsObject(const BindContext& context, std::string dn, EntryPtr entry)
    : context_(context), dn_(std::move(dn)), entry_(std::move(entry)) {
  VariantInit(&filter_);
}

AdsObject::~AdsObject() { VariantClear(&filter_); }

AdsObject* AdsObject::create(const BindContext& context, std::string dn, EntryPtr entry) {
  return new AdsObject(context, std::move(dn), std::move(entry));
}

AdsObject* AdsObject::createRead(const BindContext& context, std::string dn, EntryPtr entry, HRESULT read) {
  AdsObject* object = create(context, std::move(dn), std::move(entry));
  object->justRead_ = true;
  object->readFailure_ = object->entry_ ? S_OK : (FAILED(read) ? read : kNoSuchObject);
  return object;
}

HRESULT AdsObject::bind(const AdsPath& path, REFIID riid, void** ppv) {
  BindContext context;
  HRESULT hr = storeFor(path, context.store);
  if (FAILED(hr)) return hr;
  context.provider = path.provider;
  context.server = path.server;
  std::string dn = path.dn.empty() && !path.rootDse ? context.store->namingContext() : path.dn;
  if (dn.empty() && !path.rootDse) return kNoSuchObject;
  EntryPtr entry;
  hr = path.rootDse ? context.store->readRootDse(entry) : context.store->readEntry(dn, entry);
  if (FAILED(hr)) return hr;
  // The entry just read with all its attributes is what a first GetInfo
  // would read again.
  AdsObject* object = createRead(context, std::move(dn), std::move(entry), S_OK);
  object->rootDse_ = path.rootDse;
  hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

bool AdsObject::isGroup() const { return hasObjectClass(entry_, {"group", "groupOfNames", "groupOfUniqueNames"}); }

HRESULT AdsObject::QueryInterface(REFIID riid, void** ppv) {
  IUnknown* answer = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IADs))
    answer = static_cast<IADs*>(this);
  else if (IsEqualIID(riid, IID_IADsGroup))
    answer = isGroup() ? static_cast<IADsGroup*>(this) : nullptr;
  else if (IsEqualIID(riid, IID_IADsContainer))
    answer = static_cast<IADsContainer*>(this);
  else if (IsEqualIID(riid, IID_IDirectorySearch))
    answer = static_cast<IDirectorySearch*>(this);
  else if (IsEqualIID(riid, IID_IADsPropertyList))
    answer = static_cast<IADsPropertyList*>(this);
  else if (IsEqualIID(riid, IID_IADsObjectOptions))
    answer = static_cast<IADsObjectOptions*>(this);
  return answerQuery("IADs", riid, ppv, answer);
}

// ---- IADs ----

HRESULT AdsObject::get_Name(BSTR* retval) {
  if (auto fault = faults::check("IADs::get_Name")) return *fault;
  std::vector<Rdn> rdns;
  parseDn(dn_, rdns);
  return putString(rdns.empty() ? std::string() : rdns[0].text, retval);
}

HRESULT AdsObject::get_Class(BSTR* retval) {
  if (auto fault = faults::check("IADs::get_Class")) return *fault;
  if (!entry_) return kNoSuchObject;
  // The structural class: what the directory says it is, or else the last
  // objectClass value (Active Directory lists the classes top first).
  std::string objectClass;
  if (const Attribute* s = entry_->find("structuralObjectClass"); s && !s->values.empty())
    objectClass = s->values[0];
  else if (const Attribute* oc = entry_->find("objectClass"); oc && !oc->values.empty())
    objectClass = oc->values.back();
  return putString(objectClass, retval);
}

HRESULT AdsObject::get_GUID(BSTR* retval) {
  if (auto fault = faults::check("IADs::get_GUID")) return *fault;
  if (!retval) return E_POINTER;
  *retval = nullptr;
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  const Attribute* guid = cached("objectGUID");
  if (!guid || guid->values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
  std::string hex;
  for (unsigned char c : guid->values[0]) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", c);
    hex += buf;
  }
  return putString(hex, retval);
}

HRESULT AdsObject::get_ADsPath(BSTR* retval) {
  if (auto fault = faults::check("IADs::get_ADsPath")) return *fault;
  return putString(context_.pathOf(rootDse_ ? "RootDSE" : dn_), retval);
}

HRESULT AdsObject::get_Parent(BSTR* retval) {
  if (auto fault = faults::check("IADs::get_Parent")) return *fault;
  std::vector<Rdn> rdns;
  parseDn(dn_, rdns);
  std::string parent = joinRdns(rdns, 1);
  if (parent.empty() && context_.server.empty()) return putString(context_.provider + ":", retval);
  return putString(context_.pathOf(parent), retval);
}

HRESULT AdsObject::get_Schema(BSTR* retval) {
  if (auto fault = faults::check("IADs::get_Schema")) return *fault;
  BSTR objectClass = nullptr;
  HRESULT hr = get_Class(&objectClass);
  if (FAILED(hr)) return hr;
  std::string schema = context_.provider + "://" + (context_.server.empty() ? "" : context_.server + "/") + "schema/" +
                       utf16ToUtf8(objectClass);
  SysFreeString(objectClass);
  return putString(schema, retval);
}

HRESULT AdsObject::GetInfo() {
  if (auto fault = faults::check("IADs::GetInfo")) return *fault;
  EntryPtr entry;
  HRESULT hr = S_OK;
  if (justRead_) {
    justRead_ = false;
    entry = entry_;
    hr = readFailure_;
  } else {
    hr = rootDse_ ? context_.store->readRootDse(entry) : context_.store->readEntry(dn_, entry);
  }
  if (FAILED(hr)) return hr;
  entry_ = entry;
  cache_ = std::move(entry);
  cursor_ = 0;
  return S_OK;
}

HRESULT AdsObject::ensureCache() {
  if (cache_) return S_OK;
  HRESULT hr = GetInfo();
  if (FAILED(hr)) return hr;
  // A GetInfo that reported success without loading (an injected S_OK or
  // S_FALSE) leaves nothing to read from.
  return cache_ ? S_OK : E_UNEXPECTED;
}

const Attribute* AdsObject::cached(std::string_view name) const { return cache_ ? cache_->find(name) : nullptr; }

HRESULT AdsObject::GetInfoEx(VARIANT, LONG) { return GetInfo(); }

// The stand-in's directories are read-only.
HRESULT AdsObject::SetInfo() { return E_NOTIMPL; }
HRESULT AdsObject::Put(BSTR, VARIANT) { return E_NOTIMPL; }
HRESULT AdsObject::PutEx(LONG, BSTR, VARIANT) { return E_NOTIMPL; }

// ---- IADsGroup ----

HRESULT AdsObject::get_Description(BSTR* retval) {
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  const Attribute* d = cached("description");
  if (!d || d->values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
  return putString(d->values[0], retval);
}

HRESULT AdsObject::Members(IADsMembers** members) {
  if (auto fault = faults::check("IADsGroup::Members")) return *fault;
  if (!members) return E_POINTER;
  *members = nullptr;
  HRESULT hr = ensureCache();
  if (FAILED(hr)) return hr;
  const Attribute* member = cached("member");
  const Attribute* uniqueMember = cached("uniqueMember");
  std::shared_ptr<const std::vector<std::string>> dns;
  if (member && !uniqueMember)  // the cache's own values: a group of thousands is not copied
    dns = std::shared_ptr<const std::vector<std::string>>(cache_, &member->values);
  else if (uniqueMember && !member)
    dns = std::shared_ptr<const std::vector<std::string>>(cache_, &uniqueMember->values);
  else {
    auto both = std::make_shared<std::vector<std::string>>();
    for (const Attribute* a : {member, uniqueMember})
      if (a) both->insert(both->end(), a->values.begin(), a->values.end());
    dns = std::move(both);
  }
  *members = Members::create(context_, std::move(dns));
  return S_OK;
}

HRESULT AdsObject::IsMember(BSTR member, VARIANT_BOOL* isMember) {
  if (!member || !isMember) return E_POINTER;
  *isMember = VARIANT_FALSE;
  AdsPath path;
  HRESULT hr = parseAdsPath(member, path);
  if (FAILED(hr)) return hr;
  std::string wanted;
  if (!normalizeDn(path.dn, wanted)) return kInvalidDnSyntax;
  hr = ensureCache();
  if (FAILED(hr)) return hr;
  for (const char* name : {"member", "uniqueMember"}) {
    if (const Attribute* a = cached(name)) {
      for (const std::string& v : a->values) {
        std::string key;
        if (normalizeDn(v, key) && key == wanted) *isMember = VARIANT_TRUE;
      }
    }
  }
  return S_OK;
}

HRESULT AdsObject::put_Description(BSTR) { return E_NOTIMPL; }
HRESULT AdsObject::Add(BSTR) { return E_NOTIMPL; }
HRESULT AdsObject::Remove(BSTR) { return E_NOTIMPL; }

// ---- IADsContainer ----

HRESULT AdsObject::get_Count(LONG* retval) {
  if (retval) *retval = 0;
  return E_NOTIMPL;  // as ADSI's LDAP provider
}

HRESULT AdsObject::get__NewEnum(IUnknown** retval) {
  if (auto fault = faults::check("IADsContainer::get__NewEnum")) return *fault;
  if (!retval) return E_POINTER;
  *retval = nullptr;
  std::shared_ptr<DirectoryStore> store = context_.store;
  std::string dn = dn_;
  std::vector<std::string> classes = classFilter_;
  uint32_t pageSize = static_cast<uint32_t>(pageSize_);
  IEnumVARIANT* enumerator = nullptr;
  HRESULT hr = ObjectEnumerator::create(
      context_,
      [store, dn, classes, pageSize](std::unique_ptr<ElementSource>& source) {
        std::unique_ptr<SearchCursor> cursor;
        HRESULT result = store->listChildren(dn, classes, pageSize, cursor);
        if (SUCCEEDED(result)) source = cursorSource(std::move(cursor));
        return result;
      },
      &enumerator);
  *retval = enumerator;
  return hr;
}

HRESULT AdsObject::get_Filter(VARIANT* filter) {
  if (!filter) return E_POINTER;
  VariantInit(filter);
  return VariantCopy(filter, &filter_);
}

HRESULT AdsObject::put_Filter(VARIANT filter) {
  if (auto fault = faults::check("IADsContainer::put_Filter")) return *fault;
  std::vector<std::string> classes;
  if (filter.vt == (VT_ARRAY | VT_VARIANT) || filter.vt == (VT_ARRAY | VT_BSTR)) {
    SAFEARRAY* array = filter.parray;
    LONG lower = 0, upper = -1;
    if (!array || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
      return E_INVALIDARG;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) return hr;
    for (LONG i = 0; i <= upper - lower; ++i) {
      BSTR name = nullptr;
      if (filter.vt == (VT_ARRAY | VT_BSTR)) {
        name = static_cast<BSTR*>(data)[i];
      } else {
        const VARIANT& element = static_cast<VARIANT*>(data)[i];
        if (element.vt != VT_BSTR) {
          SafeArrayUnaccessData(array);
          return E_INVALIDARG;
        }
        name = element.bstrVal;
      }
      classes.push_back(utf16ToUtf8(name));
    }
    SafeArrayUnaccessData(array);
  } else if (filter.vt != VT_EMPTY) {
    return E_INVALIDARG;  // a filter is an array of class names
  }
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopy(&copy, &filter);
  if (FAILED(hr)) return hr;
  VariantClear(&filter_);
  filter_ = copy;
  classFilter_ = std::move(classes);
  return S_OK;
}

HRESULT AdsObject::GetObject(BSTR className, BSTR relativeName, IDispatch** object) {
  if (!relativeName || !object) return E_POINTER;
  *object = nullptr;
  std::string dn = utf16ToUtf8(relativeName) + "," + dn_;
  EntryPtr entry;
  HRESULT hr = context_.store->readEntry(dn, entry);
  if (FAILED(hr)) return hr;
  std::string wanted = utf16ToUtf8(className);
  if (!wanted.empty() && !hasObjectClass(entry, {wanted.c_str()})) return kNoSuchObject;
  *object = static_cast<IADs*>(create(context_, std::move(dn), std::move(entry)));
  return S_OK;
}

HRESULT AdsObject::get_Hints(VARIANT* hints) {
  if (hints) VariantInit(hints);
  return E_NOTIMPL;
}
HRESULT AdsObject::put_Hints(VARIANT) { return E_NOTIMPL; }
HRESULT AdsObject::Create(BSTR, BSTR, IDispatch** object) {
  if (object) *object = nullptr;
  return E_NOTIMPL;
}
HRESULT AdsObject::Delete(BSTR, BSTR) { return E_NOTIMPL; }
HRESULT AdsObject::CopyHere(BSTR, BSTR, IDispatch** object) {
  if (object) *object = nullptr;
  return E_NOTIMPL;
}
HRESULT AdsObject::MoveHere(BSTR, BSTR, IDispatch** object) {
  if (object) *object = nullptr;
  return E_NOTIMPL;
}

// ---- IADsObjectOptions ----

HRESULT AdsObject::GetOption(LONG option, VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  switch (option) {
    case ADS_OPTION_SERVERNAME:
      value->vt = VT_BSTR;
      value->bstrVal = allocBstr(context_.server.empty() ? context_.store->serverName() : context_.server);
      return value->bstrVal ? S_OK : E_OUTOFMEMORY;
    case ADS_OPTION_PAGE_SIZE:
      value->vt = VT_I4;
      value->lVal = pageSize_;
      return S_OK;
    case ADS_OPTION_REFERRALS:
      value->vt = VT_I4;
      value->lVal = referrals_;
      return S_OK;
    case ADS_OPTION_SECURITY_MASK:
      value->vt = VT_I4;
      value->lVal = securityMask_;
      return S_OK;
    default: return E_NOTIMPL;
  }
}

HRESULT AdsObject::SetOption(LONG option, VARIANT value) {
  if (auto fault = faults::check("IADsObjectOptions::SetOption")) return *fault;
  LONG* target = option == ADS_OPTION_PAGE_SIZE       ? &pageSize_
                 : option == ADS_OPTION_REFERRALS     ? &referrals_
                 : option == ADS_OPTION_SECURITY_MASK ? &securityMask_
                                                      : nullptr;
  if (!target) return E_NOTIMPL;
  if (value.vt != VT_I4) return E_INVALIDARG;
  if (option == ADS_OPTION_PAGE_SIZE && value.lVal < 0) return E_INVALIDARG;
  *target = value.lVal;
  return S_OK;
}

}  // namespace adsi
