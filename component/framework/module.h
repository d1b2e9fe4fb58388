// Per-module state of the in-process server: the module handle, and the counts of live objects
// and class-object locks behind DllCanUnloadNow, shared by every apartment of the process.
#pragma once

#include "base/Owners.h"

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace component {

void SetModuleHandle(HMODULE module);

// Full path of this module: where its type library and registration point.
std::wstring ModulePath();

void ObjectCreated();
void ObjectDestroyed();
void LockServer(bool lock);

// True when no object (class objects included) is alive and no class object is locked.
bool CanUnloadNow();

// An interface as the module's embedded type library describes it: as published (for a dual
// interface, its dispatch description) and its vtable half, through which type-information
// dispatch calls the members.
struct InterfaceTypeInfo {
    base::ComPtr<ITypeInfo> published;
    base::ComPtr<ITypeInfo> vtable;
};
HRESULT LoadInterfaceTypeInfo(REFIID iid, InterfaceTypeInfo& info);

} // namespace component
