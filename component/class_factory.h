// The class objects: one IClassFactory per class, found through the registration record.
#pragma once

#include "component/registration.h"

namespace component {

// The class object for clsid, or CLASS_E_CLASSNOTAVAILABLE with *object null.
HRESULT GetClassObject(const RegistrationRecord& record, REFCLSID clsid, REFIID iid, void** object);

} // namespace component
