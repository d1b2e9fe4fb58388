/*
 * QKCache: sweeps the WinINet URL cache. DelCache lists the entries whose type has any of the
 * requested type bits, then deletes those whose source URL matches a literal or regular
 * expression pattern. The class keeps no state.
 */
#pragma once

#include "component/dispatch.h"

#include "ZUVezEradez3.h"

namespace cache {

class Cache final : public component::DispatchObject<Cache, _QKCache> {
public:
    static constexpr wchar_t kProgId[] = L"ZUVezEradez3.QKCache";

    STDMETHODIMP DelCache(QKCACHE_TYPE eType, BSTR strURLPattern, VARIANT_BOOL bRegExp) override;
};

} // namespace cache
