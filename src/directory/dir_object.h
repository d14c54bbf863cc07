// One directory object opened by its ADsPath: its IADs reference, once loaded
// its property list, and an error text of its own in which its operations
// record their failures. Operations return false when that text says why.
#pragma once

#include <string>

#include "errors/guarded.h"
#include "platform/com_ptr.h"
#include "platform/platform.h"
#include "platform/unique_bstr.h"
#include "platform/unique_variant.h"

class DirObject {
 public:
  // Opens the object. A failure leaves adsObject empty and errorText saying
  // "Cannot create object. HR: ..."; nothing is raised.
  explicit DirObject(UniqueBstr path);
  virtual ~DirObject();
  DirObject(const DirObject&) = delete;
  DirObject& operator=(const DirObject&) = delete;

  // Queries adsObject; true when the reference was set.
  bool getInterface(REFIID iid, void** reference);
  bool loadProperties();
  bool nextPropertyName(UniqueBstr& name);
  // Makes `object` (a reference the caller hands over) the wrapped object.
  bool attach(ComPtr<IADs> object);
  // The property's text: the six standard properties from the IADs getters,
  // every other from the property cache. False when it is not found, or when
  // its only value cannot be read.
  bool readProperty(BSTR name, UniqueBstr& text);
  // Joins the entry's values into `output`; returns the value count. When
  // `unreadable` is given it tells whether the entry's only value could not
  // be read: the property then has no text to show.
  int formatPropertyEntry(IADsPropertyEntry* entry, UniqueBstr& output, bool* unreadable = nullptr);

  ComPtr<IADsPropertyList> propertyList;
  ComPtr<IADs> adsObject;
  std::string errorText;
  // What ended the last step of a walk, and what kept the last element (or
  // the last load) from being read; nothing when it went through.
  BodyFailure stepFailure;
  BodyFailure readFailure;

 protected:
  // The walk shared by containers and groups.
  bool stepEnumeration(IEnumVARIANT* enumerator, UniqueVariant& current);
  bool attachElement(const VARIANT& element);
};
