// The module's exports. Each hands its request, with the registration record, to the framework
// that serves both classes.
#include "component/classes.h"
#include "component/framework/class_factory.h"
#include "component/framework/module.h"
#include "component/framework/registration.h"
#include "component/framework/unwind_tables.h"

#include <windows.h>

namespace {

using component::kModuleRecord;

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
        component::RegisterOwnUnwindTables(instance);
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return component::GetClassObject(kModuleRecord, clsid, iid, object);
}

HRESULT WINAPI DllCanUnloadNow() {
    return component::CanUnloadNow() ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() {
    return component::RegisterServer(kModuleRecord, component::Scope::Machine);
}

HRESULT WINAPI DllUnregisterServer() {
    return component::UnregisterServer(kModuleRecord, component::Scope::Machine);
}

// regsvr32 /n /i:user registers for the current user alone; /u /n /i:user removes that.
HRESULT WINAPI DllInstall(BOOL install, const wchar_t* commandLine) {
    component::Scope scope = ScopeFromCommandLine(commandLine);
    return install ? component::RegisterServer(kModuleRecord, scope)
                   : component::UnregisterServer(kModuleRecord, scope);
}

} // extern "C"
