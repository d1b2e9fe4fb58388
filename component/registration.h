// Registration of the server, carried out from the one registration record that the module
// carries: its type library, and per class a ProgID and an in-process server entry.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <span>

namespace component {

struct ClassRecord {
    const wchar_t* name; // QKDialer; the ProgID is the project name, a dot and this name
    const CLSID* clsid;
    const IID* defaultInterface;
    HRESULT (*create)(IUnknown* outer, REFIID iid, void** object);
};

struct RegistrationRecord {
    const wchar_t* projectName; // the type library's name
    const GUID* libid;
    LCID lcid;
    WORD major;
    WORD minor;
    std::span<const ClassRecord> classes;
};

enum class Scope {
    Machine, // HKEY_LOCAL_MACHINE\Software\Classes, as regsvr32 does
    User     // HKEY_CURRENT_USER\Software\Classes, which needs no administrator
};

HRESULT RegisterServer(const RegistrationRecord& record, Scope scope);
HRESULT UnregisterServer(const RegistrationRecord& record, Scope scope);

} // namespace component
