// Asking an object for another of its interfaces, as a raising operation.
#pragma once

#include "errors/failures.h"
#include "platform/com_ptr.h"

// A failing result is raised as a failure code; so is a success that hands
// back no interface (a broken provider must not make the procedure use a null
// reference).
template <class T>
void queryInterface(IUnknown* from, REFIID iid, ComPtr<T>& into) {
  if (!from) throw FailureCode{E_POINTER};
  raiseOnFailure(from->QueryInterface(iid, into.putVoid()));
  if (!into) throw FailureCode{E_NOINTERFACE};
}

template <class From, class T>
void queryInterface(const ComPtr<From>& from, REFIID iid, ComPtr<T>& into) {
  queryInterface(static_cast<IUnknown*>(from.get()), iid, into);
}
