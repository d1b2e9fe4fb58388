#include "component/framework/dispatch.h"

#include "base/Owners.h"

#include <vector>

namespace component {

namespace {

bool IsMissing(const VARIANT& argument) {
    return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
}

// Which parameters of a member of `paramCount` parameters the caller supplied. Positional
// arguments come last-first in rgvarg; a named argument carries the parameter's position, and
// the value of a property put is the last parameter.
std::vector<bool> SuppliedParameters(const DISPPARAMS& params, UINT paramCount) {
    std::vector<bool> supplied(paramCount, false);
    UINT named = params.cNamedArgs;
    UINT positional = params.cArgs > named ? params.cArgs - named : 0;
    for (UINT i = 0; i < positional && i < paramCount; ++i) {
        supplied[i] = !IsMissing(params.rgvarg[params.cArgs - 1 - i]);
    }
    for (UINT i = 0; i < named && params.rgdispidNamedArgs; ++i) {
        DISPID position = params.rgdispidNamedArgs[i];
        if (position == DISPID_PROPERTYPUT && paramCount > 0) {
            position = static_cast<DISPID>(paramCount - 1);
        }
        if (position >= 0 && static_cast<UINT>(position) < paramCount) {
            supplied[position] = !IsMissing(params.rgvarg[i]);
        }
    }
    return supplied;
}

// Counts and pointers that agree with each other; a caller may pass anything.
HRESULT CheckDispParams(const DISPPARAMS* params) {
    if (!params) {
        return E_INVALIDARG;
    }
    if (params->cNamedArgs > params->cArgs || (params->cArgs > 0 && !params->rgvarg) ||
        (params->cNamedArgs > 0 && !params->rgdispidNamedArgs)) {
        return E_INVALIDARG;
    }
    return S_OK;
}

// CheckRequiredArguments' answer for DISPPARAMS whose counts and pointers agree; the list of
// supplied parameters that it builds may throw std::bad_alloc.
HRESULT RequiredArgumentsVerdict(ITypeInfo* vtable, DISPID member, WORD flags,
                                 const DISPPARAMS* params) {
    if (!vtable) {
        return S_OK;
    }
    base::UniqueTypeAttr attr(vtable);
    if (FAILED(vtable->GetTypeAttr(attr.put()))) {
        return S_OK;
    }
    const DISPPARAMS& given = *params;

    for (UINT i = 0; i < attr->cFuncs; ++i) {
        base::UniqueFuncDesc func(vtable);
        if (FAILED(vtable->GetFuncDesc(i, func.put()))) {
            continue;
        }
        if (func->memid != member || !(func->invkind & flags)) {
            continue;
        }
        UINT count = static_cast<UINT>(func->cParams);
        std::vector<bool> supplied = SuppliedParameters(given, count);
        for (UINT p = 0; p < count; ++p) {
            USHORT paramFlags = func->lprgelemdescParam[p].paramdesc.wParamFlags;
            bool required = !(paramFlags & (PARAMFLAG_FOPT | PARAMFLAG_FRETVAL | PARAMFLAG_FLCID));
            if (required && !supplied[p]) {
                return DISP_E_PARAMNOTOPTIONAL;
            }
        }
        return S_OK;
    }
    return S_OK;
}

} // namespace

HRESULT CheckRequiredArguments(ITypeInfo* vtable, DISPID member, WORD flags,
                               const DISPPARAMS* params) noexcept {
    if (HRESULT hr = CheckDispParams(params); FAILED(hr)) {
        return hr;
    }
    HRESULT verdict = S_OK;
    HRESULT hr = CatchAtBoundary(
        [&] { verdict = RequiredArgumentsVerdict(vtable, member, flags, params); }, ResultOnly);
    return FAILED(hr) ? hr : verdict;
}

} // namespace component
