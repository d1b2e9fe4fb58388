#include "component/framework/error_info.h"

#include "base/Owners.h"

#include <oleauto.h>
#include <string>

namespace component {

HRESULT ReportError(HRESULT hr, std::wstring_view description, std::wstring_view progId,
                    REFIID iid) {
    base::ComPtr<ICreateErrorInfo> created;
    if (FAILED(::CreateErrorInfo(created.put()))) {
        return hr;
    }
    std::wstring text(description), source(progId);
    created->SetGUID(iid);
    created->SetSource(source.data());
    created->SetDescription(text.data());
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
