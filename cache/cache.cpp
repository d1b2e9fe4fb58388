#include "cache/cache.h"

namespace cache {

STDMETHODIMP Cache::DelCache(QKCACHE_TYPE, BSTR, VARIANT_BOOL) {
    return Call([&] {
        throw tools::Error(E_NOTIMPL,
                           L"Cache sweeping is not available in this build of the component");
    });
}

} // namespace cache
