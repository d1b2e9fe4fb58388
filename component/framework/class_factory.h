// The class objects: one IClassFactory per class, found through the registration record.
#pragma once

#include "component/framework/record.h"

#include <windows.h>

namespace component {

// The record's entry for clsid, or null when the module does not serve that class.
const ClassRecord* FindClass(const RegistrationRecord& record, REFCLSID clsid);

// The class object for clsid, or CLASS_E_CLASSNOTAVAILABLE with *object null.
HRESULT GetClassObject(const RegistrationRecord& record, REFCLSID clsid, REFIID iid, void** object);

} // namespace component
