#include "base/Owners.h"

#include <new>

namespace base {

UniqueBstr::UniqueBstr(std::wstring_view text)
    : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!value_) {
        throw std::bad_alloc();
    }
}

} // namespace base
