// The module's registration record: the classes it serves and the type library it carries.
#pragma once

#include "component/framework/record.h"

namespace component {

extern const RegistrationRecord kModuleRecord;

} // namespace component
