#include "component/framework/error_info.h"

#include "base/Owners.h"

#include <oleauto.h>

namespace component {

HRESULT ReportError(HRESULT hr, std::wstring_view description, std::wstring_view progId,
                    REFIID iid) noexcept {
    // Runs where an allocation may just have failed, so nothing here throws: a text that cannot
    // be copied is left out, and without error information the HRESULT still says what failed.
    base::ComPtr<ICreateErrorInfo> created;
    if (FAILED(::CreateErrorInfo(created.put()))) {
        return hr;
    }
    base::UniqueBstr text, source;
    text.reset(::SysAllocStringLen(description.data(), static_cast<UINT>(description.size())));
    source.reset(::SysAllocStringLen(progId.data(), static_cast<UINT>(progId.size())));
    created->SetGUID(iid);
    created->SetSource(source.get());
    created->SetDescription(text.get());
    base::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(created.query(info))) {
        ::SetErrorInfo(0, info.get());
    }
    return hr;
}

void ClearErrorInfo() {
    ::SetErrorInfo(0, nullptr);
}

} // namespace component
