#include "testbed/component.h"

namespace testbed {

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

} // namespace

HMODULE ComponentModule() {
    static HMODULE module = ::LoadLibraryW(L"ZUVezEradez3.dll");
    return module;
}

HRESULT GetComponentClassObject(REFCLSID clsid, REFIID iid, void** object) {
    auto getClassObject = ComponentExport<GetClassObjectFn>("DllGetClassObject");
    return getClassObject ? getClassObject(clsid, iid, object)
                          : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

HRESULT ComponentCanUnloadNow() {
    auto canUnloadNow = ComponentExport<CanUnloadNowFn>("DllCanUnloadNow");
    return canUnloadNow ? canUnloadNow() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

HRESULT CreateComponentObject(REFCLSID clsid, REFIID iid, void** object) {
    base::ComPtr<IClassFactory> factory;
    HRESULT hr = GetComponentClassObject(clsid, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) {
        return hr;
    }
    return factory->CreateInstance(nullptr, iid, object);
}

} // namespace testbed
