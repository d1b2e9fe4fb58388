#include "testbed/automation.h"

namespace testbed {

base::UniqueVariant Arg(const wchar_t* text) {
    if (text) {
        return base::TextVariant(text);
    }
    base::UniqueVariant nullString;
    nullString.vt = VT_BSTR;
    nullString.bstrVal = nullptr;
    return nullString;
}

base::UniqueVariant Arg(long value) {
    base::UniqueVariant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

base::UniqueVariant ArgBool(bool value) {
    return base::BoolVariant(value);
}

DISPID DispIdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    return SUCCEEDED(base::GetDispatchId(object, name, id)) ? id : DISPID_UNKNOWN;
}

CallOutcome Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT*> args) {
    DISPID id = DispIdOf(object, name);
    if (id == DISPID_UNKNOWN) {
        CallOutcome outcome;
        outcome.hr = DISP_E_UNKNOWNNAME;
        return outcome;
    }
    return base::TryInvoke(object, id, flags, args);
}

CallOutcome Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args) {
    return Invoke(object, name, DISPATCH_METHOD, std::move(args));
}

CallOutcome Get(IDispatch* object, const wchar_t* name) {
    return Invoke(object, name, DISPATCH_PROPERTYGET);
}

CallOutcome Put(IDispatch* object, const wchar_t* name, VARIANT* value) {
    return Invoke(object, name, DISPATCH_PROPERTYPUT, {value});
}

std::wstring TextOf(const VARIANT& value) {
    base::UniqueVariant text;
    if (FAILED(::VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) {
        return L"<not text>";
    }
    return base::BstrView(text.bstrVal).data();
}

} // namespace testbed
