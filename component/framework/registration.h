// Registration of the server, carried out from the one registration record that the module
// carries: its type library, and per class a ProgID and an in-process server entry.
#pragma once

#include "component/framework/record.h"

#include <windows.h>

namespace component {

enum class Scope {
    Machine, // HKEY_LOCAL_MACHINE\Software\Classes, as regsvr32 does
    User     // HKEY_CURRENT_USER\Software\Classes, which needs no administrator
};

HRESULT RegisterServer(const RegistrationRecord& record, Scope scope);
HRESULT UnregisterServer(const RegistrationRecord& record, Scope scope);

} // namespace component
