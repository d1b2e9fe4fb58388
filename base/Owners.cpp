#include "base/Owners.h"

#include <new>

namespace base {

UniqueBstr::UniqueBstr(std::wstring_view text)
    : UniqueResource(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!get()) {
        throw std::bad_alloc();
    }
}

} // namespace base
