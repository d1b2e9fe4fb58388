// The component as the tests and the benchmarks load it: the module that lies beside the
// program, found without registration, its exports, and objects made through its class objects.
#pragma once

#include "base/Owners.h"

#include <windows.h>
#include <objbase.h>

namespace testbed {

// The component module beside this program, loaded once per process; null when it is missing.
HMODULE ComponentModule();

// The module's export `name` as a function of type Fn, or null when there is no such export.
template <class Fn> Fn ComponentExport(const char* name) {
    HMODULE module = ComponentModule();
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                  : nullptr;
}

// The module's DllGetClassObject and DllCanUnloadNow; a missing export is ERROR_PROC_NOT_FOUND.
HRESULT GetComponentClassObject(REFCLSID clsid, REFIID iid, void** object);
HRESULT ComponentCanUnloadNow();

// A new object of the class, made through the module's class object, or a failure of the
// creation.
HRESULT CreateComponentObject(REFCLSID clsid, REFIID iid, void** object);

// A new object's interface I, or nothing when the module or the class is missing.
template <class I> base::ComPtr<I> CreateComponent(REFCLSID clsid) {
    base::ComPtr<I> object;
    if (FAILED(CreateComponentObject(clsid, __uuidof(I), object.put_void()))) {
        object.reset();
    }
    return object;
}

} // namespace testbed
