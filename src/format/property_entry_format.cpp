// The text of one property entry: every value by its own type, joined with
// "|" when there are several (a|b|c|).
#include <cstdint>
#include <string>

#include "directory/dir_object.h"
#include "errors/guarded.h"
#include "format/property_value_format.h"
#include "platform/safe_array_access.h"
#include "platform/query_interface.h"

int DirObject::formatPropertyEntry(IADsPropertyEntry* entry, UniqueBstr& output, bool* unreadable) {
  output = UniqueBstr::empty();
  bool lastUnreadable = false;
  std::basic_string<WCHAR> joined;  // built once: BSTR concatenation per value is quadratic
  int count = 0;
  UniqueVariant values;
  SafeArrayAccess access;

  guarded(errorText, [&] {
    raiseOnFailure(entry->get_Values(values.put()));
    const VARIANT& list = values.get();
    if (list.vt != (VT_ARRAY | VT_VARIANT) || !list.parray) return true;
    SAFEARRAY* array = list.parray;
    raiseOnFailure(access.access(array));
    LONG lower = 0, upper = 0;
    raiseOnFailure(SafeArrayGetLBound(array, 1, &lower));
    raiseOnFailure(SafeArrayGetUBound(array, 1, &upper));
    const int64_t span = static_cast<int64_t>(upper) - lower + 1;
    // Never read past the storage the array really has.
    if (array->cbElements != sizeof(VARIANT) || span > array->rgsabound[0].cElements)
      throw FailureCode{DISP_E_BADINDEX};
    count = static_cast<int>(span);

    const VARIANT* elements = static_cast<const VARIANT*>(access.data());
    for (int i = 0; i < count; ++i) {
      const VARIANT& element = elements[i];
      if (element.vt == VT_BSTR) {
        if (element.bstrVal) joined.append(element.bstrVal, SysStringLen(element.bstrVal));
      } else if (element.vt == VT_DISPATCH) {
        if (!element.pdispVal) throw FailureCode{E_POINTER};
        ComPtr<IADsPropertyValue> value;
        queryInterface(element.pdispVal, IID_IADsPropertyValue, value);
        UniqueBstr text;
        lastUnreadable = !formatPropertyValue(value.get(), text);
        if (text) joined.append(text.get(), text.length());
      }
      if (count > 1) joined += QX_WIDE('|');
    }
    return true;
  });

  // What was appended before a failure is kept.
  if (!joined.empty()) output = UniqueBstr::copyOf(joined.data(), joined.size());
  if (unreadable) *unreadable = count == 1 && lastUnreadable;
  return count;
}
