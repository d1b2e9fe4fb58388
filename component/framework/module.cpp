#include "component/framework/module.h"

#include "base/Owners.h"

#include <oleauto.h>

#include <atomic>
#include <vector>

namespace component {

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

} // namespace

void SetModuleHandle(HMODULE module) {
    g_module = module;
}

std::wstring ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length =
            ::GetModuleFileNameW(g_module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

void ObjectCreated() {
    ++g_objects;
}
void ObjectDestroyed() {
    --g_objects;
}

void LockServer(bool lock) {
    if (lock) {
        ++g_locks;
    } else {
        --g_locks;
    }
}

bool CanUnloadNow() {
    return g_objects == 0 && g_locks == 0;
}

HRESULT LoadInterfaceTypeInfo(REFIID iid, InterfaceTypeInfo& info) {
    base::ComPtr<ITypeLib> library;
    // The platform keeps a loaded type library cached, so objects share one copy.
    HRESULT hr = ::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) {
        return hr;
    }
    hr = library->GetTypeInfoOfGuid(iid, info.published.put());
    if (FAILED(hr)) {
        return hr;
    }
    HREFTYPE vtableHalf = 0;
    if (SUCCEEDED(info.published->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf))) {
        return info.published->GetRefTypeInfo(vtableHalf, info.vtable.put());
    }
    info.vtable = info.published;
    return S_OK;
}

} // namespace component
