// The module's exports. Each hands its request, with the registration record, to the hosting
// layer that serves both classes.
#include "component/class_factory.h"
#include "component/module.h"
#include "component/registration.h"

#include "cache/cache.h"
#include "dialer/dialer.h"

#include <array>

namespace {

constexpr std::array kClasses{
    component::ClassRecord{L"QKCache", &CLSID_QKCache, &IID__QKCache, &cache::Cache::Create},
    component::ClassRecord{L"QKDialer", &CLSID_QKDialer, &IID__QKDialer, &dialer::Dialer::Create},
};

const component::RegistrationRecord kRecord{
    L"ZUVezEradez3", &LIBID_ZUVezEradez3, 0, 1, 0, kClasses,
};

// "user" (any letter case) selects the current user's registration.
component::Scope ScopeFromCommandLine(const wchar_t* commandLine) {
    return commandLine && ::lstrcmpiW(commandLine, L"user") == 0 ? component::Scope::User
                                                                 : component::Scope::Machine;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        component::SetModuleHandle(instance);
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return component::GetClassObject(kRecord, clsid, iid, object);
}

HRESULT WINAPI DllCanUnloadNow() {
    return component::CanUnloadNow() ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() {
    return component::RegisterServer(kRecord, component::Scope::Machine);
}

HRESULT WINAPI DllUnregisterServer() {
    return component::UnregisterServer(kRecord, component::Scope::Machine);
}

// regsvr32 /n /i:user registers for the current user alone; /u /n /i:user removes that.
HRESULT WINAPI DllInstall(BOOL install, const wchar_t* commandLine) {
    component::Scope scope = ScopeFromCommandLine(commandLine);
    return install ? component::RegisterServer(kRecord, scope)
                   : component::UnregisterServer(kRecord, scope);
}

} // extern "C"
