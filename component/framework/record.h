// The registration record: what the module serves and registers, one entry per class. The
// class objects create objects from it and registration writes the registry from it, so each
// class's identity lives in this one place.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <span>

namespace component {

struct ClassRecord {
    // <Project>.<Class>: the ProgID that registration writes and that error information
    // names as its source; <Class> is the class's name in the registry.
    const wchar_t* progId;
    const CLSID* clsid;
    // The class object's CreateInstance; the new object keeps its class record.
    HRESULT (*create)(const ClassRecord& cls, IUnknown* outer, REFIID iid, void** object);
};

struct RegistrationRecord {
    // The type library that the module carries.
    const GUID* libid;
    LCID lcid;
    WORD major;
    WORD minor;
    std::span<const ClassRecord> classes;
};

} // namespace component
