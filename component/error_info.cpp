#include "component/error_info.h"

#include "tools/Owners.h"

#include <oleauto.h>
#include <string>

namespace component {

HRESULT ReportError(HRESULT hr, std::wstring_view description, std::wstring_view progId,
                    REFIID iid) {
    if (description.empty()) {
        return hr;
    }
    tools::ComPtr<ICreateErrorInfo> created;
    if (FAILED(::CreateErrorInfo(&created))) {
        return hr;
    }
    std::wstring text(description), source(progId);
    created->SetGUID(iid);
    created->SetSource(source.data());
    created->SetDescription(text.data());
    tools::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(created.As(&info))) {
        ::SetErrorInfo(0, info.Get());
    }
    return hr;
}

void ClearErrorInfo() {
    ::SetErrorInfo(0, nullptr);
}

} // namespace component
