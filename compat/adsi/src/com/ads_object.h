// A directory object as ADSI's LDAP provider hands it out: IADs with its
// property cache (IADsPropertyList), IADsContainer, IADsObjectOptions,
// IDirectorySearch, and IADsGroup when the object is a group.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "com/bind_context.h"
#include "com/com_object.h"
#include "iads.h"

namespace adsi {

class SearchSession;

class AdsObject final
    : public ComObject<IADsGroup, IADsContainer, IDirectorySearch, IADsPropertyList, IADsObjectOptions> {
 public:
  // A new object with one reference. `entry` may be null for a name that
  // does not resolve (a member DN pointing nowhere): its GetInfo fails.
  static AdsObject* create(const BindContext& context, std::string dn, EntryPtr entry);
  // The same for an object its enumeration has just read with all its
  // attributes (or failed to read, with `read`): its first GetInfo takes
  // that read instead of reading again, so that a walk of N objects costs
  // the reads of the walk and not N more.
  static AdsObject* createRead(const BindContext& context, std::string dn, EntryPtr entry, HRESULT read);

  // Binds `path`'s object and asks it for `riid` (ADsGetObject).
  static HRESULT bind(const AdsPath& path, REFIID riid, void** ppv);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

  // IADs
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_GUID(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE get_Schema(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE GetInfo() override;
  HRESULT STDMETHODCALLTYPE SetInfo() override;
  HRESULT STDMETHODCALLTYPE Get(BSTR name, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE Put(BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE GetEx(BSTR name, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE PutEx(LONG control, BSTR name, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT properties, LONG reserved) override;

  // IADsGroup
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* retval) override;
  HRESULT STDMETHODCALLTYPE put_Description(BSTR description) override;
  HRESULT STDMETHODCALLTYPE Members(IADsMembers** members) override;
  HRESULT STDMETHODCALLTYPE IsMember(BSTR member, VARIANT_BOOL* isMember) override;
  HRESULT STDMETHODCALLTYPE Add(BSTR item) override;
  HRESULT STDMETHODCALLTYPE Remove(BSTR item) override;

  // IADsContainer
  HRESULT STDMETHODCALLTYPE get_Count(LONG* retval) override;
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** retval) override;
  HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* filter) override;
  HRESULT STDMETHODCALLTYPE put_Filter(VARIANT filter) override;
  HRESULT STDMETHODCALLTYPE get_Hints(VARIANT* hints) override;
  HRESULT STDMETHODCALLTYPE put_Hints(VARIANT hints) override;
  HRESULT STDMETHODCALLTYPE GetObject(BSTR className, BSTR relativeName, IDispatch** object) override;
  HRESULT STDMETHODCALLTYPE Create(BSTR className, BSTR relativeName, IDispatch** object) override;
  HRESULT STDMETHODCALLTYPE Delete(BSTR className, BSTR relativeName) override;
  HRESULT STDMETHODCALLTYPE CopyHere(BSTR source, BSTR newName, IDispatch** object) override;
  HRESULT STDMETHODCALLTYPE MoveHere(BSTR source, BSTR newName, IDispatch** object) override;

  // IADsPropertyList
  HRESULT STDMETHODCALLTYPE get_PropertyCount(LONG* count) override;
  HRESULT STDMETHODCALLTYPE Next(VARIANT* entry) override;
  HRESULT STDMETHODCALLTYPE Skip(LONG elements) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Item(VARIANT index, VARIANT* entry) override;
  HRESULT STDMETHODCALLTYPE GetPropertyItem(BSTR name, LONG adsType, VARIANT* entry) override;
  HRESULT STDMETHODCALLTYPE PutPropertyItem(VARIANT data) override;
  HRESULT STDMETHODCALLTYPE ResetPropertyItem(VARIANT entry) override;
  HRESULT STDMETHODCALLTYPE PurgePropertyList() override;

  // IADsObjectOptions
  HRESULT STDMETHODCALLTYPE GetOption(LONG option, VARIANT* value) override;
  HRESULT STDMETHODCALLTYPE SetOption(LONG option, VARIANT value) override;

  // IDirectorySearch
  HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO prefs, DWORD count) override;
  HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR filter, LPWSTR* names, DWORD count,
                                          PADS_SEARCH_HANDLE handle) override;
  HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE handle) override;
  HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE handle) override;
  HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE handle) override;
  HRESULT STDMETHODCALLTYPE GetPreviousRow(ADS_SEARCH_HANDLE handle) override;
  HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE handle, LPWSTR* name) override;
  HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE handle, LPWSTR name, PADS_SEARCH_COLUMN column) override;
  HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN column) override;
  HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE handle) override;

 private:
  AdsObject(const BindContext& context, std::string dn, EntryPtr entry);
  ~AdsObject() override;

  bool isGroup() const;
  // The property cache, loaded on first use as ADSI does for Get.
  HRESULT ensureCache();
  const Attribute* cached(std::string_view name) const;
  SearchSession* session(ADS_SEARCH_HANDLE handle);
  // An IADsPropertyEntry of the cache's attribute.
  HRESULT propertyEntryVariant(const Attribute& attribute, VARIANT* out);
  // Get (one value alone, several as an array) and GetEx (always an array).
  HRESULT getValues(BSTR name, bool alwaysArray, VARIANT* out);

  BindContext context_;
  std::string dn_;
  EntryPtr entry_;         // as read when bound; decides class and group-ness
  EntryPtr cache_;         // the property cache: null until GetInfo
  bool rootDse_ = false;   // bound by a RootDSE path: reads the server's root DSE
  bool justRead_ = false;  // entry_ (or readFailure_) is what the first GetInfo loads
  HRESULT readFailure_ = S_OK;
  size_t cursor_ = 0;  // IADsPropertyList position
  std::vector<std::string> classFilter_;
  VARIANT filter_{};
  LONG pageSize_ = 0;  // IADsObjectOptions page size for enumeration
  LONG referrals_ = 0;
  LONG securityMask_ = 0;

  // IDirectorySearch preferences
  uint32_t searchPageSize_ = 0;
  SearchScope searchScope_ = SearchScope::Subtree;
  uint32_t sizeLimit_ = 0;
  std::vector<std::unique_ptr<SearchSession>> sessions_;
};

}  // namespace adsi
