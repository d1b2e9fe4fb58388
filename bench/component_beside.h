// An object of the component that lies beside the benchmark program, made through the module's
// class object without registration.
#pragma once

#include "base/Owners.h"

#include <windows.h>
#include <objbase.h>

namespace bench {

// The object's interface I (with its IID), or nothing when the module or the class is missing.
template <class I> base::ComPtr<I> CreateBeside(REFCLSID clsid, REFIID iid) {
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    HMODULE module = ::LoadLibraryW(L"ZUVezEradez3.dll");
    auto getClassObject = module ? reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(
                                       ::GetProcAddress(module, "DllGetClassObject")))
                                 : nullptr;
    base::ComPtr<IClassFactory> factory;
    base::ComPtr<I> object;
    if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, factory.put_void()))) {
        factory->CreateInstance(nullptr, iid, object.put_void());
    }
    return object;
}

} // namespace bench
