// The registration record: each class's ProgID, CLSID and creation in one place, which the
// class objects, registration and error information all read.
#include "component/classes.h"

#include "cache/cache.h"
#include "dialer/dialer.h"

#include "ZUVezEradez3.h"
#include "typelib_version.h"

#include <array>

namespace component {

namespace {

constexpr std::array kClasses{
    ClassRecord{
        .progId = L"ZUVezEradez3.QKCache",
        .clsid = &CLSID_QKCache,
        .create = &cache::Cache::Create,
    },
    ClassRecord{
        .progId = L"ZUVezEradez3.QKDialer",
        .clsid = &CLSID_QKDialer,
        .create = &dialer::Dialer::Create,
    },
};

} // namespace

const RegistrationRecord kModuleRecord{
    .libid = &LIBID_ZUVezEradez3,
    .lcid = ZU_TYPELIB_LCID,
    .major = ZU_TYPELIB_MAJOR,
    .minor = ZU_TYPELIB_MINOR,
    .classes = kClasses,
};

} // namespace component
