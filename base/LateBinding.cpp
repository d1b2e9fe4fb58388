#include "base/LateBinding.h"

#include "base/Error.h"

namespace base {

UniqueVariant BoolVariant(bool value) {
    UniqueVariant variant;
    variant.vt = VT_BOOL;
    variant.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return variant;
}

UniqueVariant TextVariant(std::wstring_view text) {
    UniqueVariant variant;
    variant.vt = VT_BSTR;
    variant.bstrVal = UniqueBstr(text).release();
    return variant;
}

HRESULT GetDispatchId(IDispatch* object, std::wstring_view name, DISPID& id) {
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    id = DISPID_UNKNOWN;
    return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

DISPID DispatchId(IDispatch* object, std::wstring_view name, std::wstring_view context) {
    DISPID id = DISPID_UNKNOWN;
    ThrowIfFailed(GetDispatchId(object, name, id), context);
    return id;
}

Invocation TryInvoke(IDispatch* object, DISPID id, WORD flags, const std::vector<VARIANT*>& args) {
    // DISPPARAMS lists the arguments last first.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        reversed.push_back(**it);
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    const bool put = flags & DISPATCH_PROPERTYPUT;
    if (put) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    Invocation outcome;
    UniqueExcepInfo info;
    UINT argumentError = 0;
    outcome.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                put ? nullptr : &outcome.result, info.put(), &argumentError);
    if (outcome.hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) {
            info.pfnDeferredFillIn(&info);
        }
        outcome.scode =
            info.scode ? info.scode : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode);
        outcome.description = BstrView(info.bstrDescription);
        outcome.source = BstrView(info.bstrSource);
    }
    return outcome;
}

UniqueVariant Invoke(IDispatch* object, DISPID id, WORD flags, const std::vector<VARIANT*>& args,
                     std::wstring_view context) {
    Invocation outcome = TryInvoke(object, id, flags, args);
    if (SUCCEEDED(outcome.hr)) {
        return std::move(outcome.result);
    }
    HRESULT hr = outcome.hr == DISP_E_EXCEPTION ? outcome.scode : outcome.hr;
    std::wstring detail = outcome.description.empty() ? SystemMessage(hr) : outcome.description;
    std::wstring description(context);
    if (!detail.empty()) {
        description += L": " + detail;
    }
    throw Error(hr, std::move(description));
}

UniqueVariant GetProperty(IDispatch* object, std::wstring_view name) {
    return Invoke(object, DispatchId(object, name, name), DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                  {}, name);
}

} // namespace base
