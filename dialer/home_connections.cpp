/*
 * The names of the home-networking connections of a computer, read from the WMI class
 * HNet_Connection of its namespace root\microsoft\homenet through automation late binding.
 *
 * The listing never fails: a computer that cannot be reached, a namespace or class that the
 * system lacks (Wine has none), access denied or a property that cannot be read end it quietly
 * with the names gathered so far.
 */
#include "dialer/dialer.h"

#include <oleauto.h>

namespace dialer {

namespace {

DISPID IdOf(IDispatch* object, std::wstring_view name) {
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    DISPID id = DISPID_UNKNOWN;
    tools::ThrowIfFailed(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), text);
    return id;
}

// Calls a member late-bound with at most one argument, as a script host does.
tools::UniqueVariant Invoke(IDispatch* object, DISPID id, WORD flags, VARIANT* argument = nullptr) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    tools::UniqueVariant result;
    EXCEPINFO exception{};
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result,
                                &exception, nullptr);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    tools::ThrowIfFailed(hr, L"WMI call");
    return result;
}

// Reads a property as script hosts do, as a get that may also be a method call: the WMI
// objects of some systems answer only that form.
tools::UniqueVariant Property(IDispatch* object, std::wstring_view name) {
    return Invoke(object, IdOf(object, name), DISPATCH_METHOD | DISPATCH_PROPERTYGET);
}

tools::ComPtr<IDispatch> AsObject(tools::UniqueVariant value) {
    tools::ThrowIfFailed(::VariantChangeType(&value, &value, 0, VT_DISPATCH), L"WMI object");
    tools::ComPtr<IDispatch> object(value.pdispVal);
    return object;
}

void GatherNames(std::wstring_view moniker, std::wstring_view query, std::wstring_view flag,
                 bool wanted, std::vector<std::wstring>& names) {
    tools::ComPtr<IDispatch> service;
    tools::ThrowIfFailed(
        ::CoGetObject(std::wstring(moniker).c_str(), nullptr, IID_IDispatch, &service), moniker);
    tools::UniqueVariant queryText;
    queryText.vt = VT_BSTR;
    queryText.bstrVal = tools::UniqueBstr(query).release();
    tools::ComPtr<IDispatch> objects = AsObject(
        Invoke(service.Get(), IdOf(service.Get(), L"ExecQuery"), DISPATCH_METHOD, &queryText));

    tools::UniqueVariant enumerable =
        Invoke(objects.Get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    tools::ThrowIfFailed(::VariantChangeType(&enumerable, &enumerable, 0, VT_UNKNOWN),
                         L"WMI object set");
    tools::ComPtr<IEnumVARIANT> enumerator;
    tools::ThrowIfFailed(enumerable.punkVal->QueryInterface(IID_IEnumVARIANT, &enumerator),
                         L"WMI object set");

    tools::UniqueVariant wantedValue;
    wantedValue.vt = VT_BOOL;
    wantedValue.boolVal = wanted ? VARIANT_TRUE : VARIANT_FALSE;
    for (;;) {
        tools::UniqueVariant item;
        ULONG fetched = 0;
        HRESULT hr = enumerator->Next(1, &item, &fetched);
        tools::ThrowIfFailed(hr, L"WMI object set");
        if (hr != S_OK || fetched != 1) {
            return;
        }
        tools::ComPtr<IDispatch> object = AsObject(std::move(item));
        // Automation equality: a value of another type counts when it compares equal, and a
        // Null never does.
        tools::UniqueVariant value = Property(object.Get(), flag);
        HRESULT comparison = ::VarCmp(&value, &wantedValue, LOCALE_USER_DEFAULT, 0);
        tools::ThrowIfFailed(comparison, flag);
        if (comparison != VARCMP_EQ) {
            continue;
        }
        tools::UniqueVariant name = Property(object.Get(), L"Name");
        tools::ThrowIfFailed(::VariantChangeType(&name, &name, 0, VT_BSTR), L"Name");
        names.emplace_back(tools::BstrView(name.bstrVal));
    }
}

} // namespace

std::vector<std::wstring> SelectNames(std::wstring_view moniker, std::wstring_view query,
                                      std::wstring_view flag, bool wanted) {
    std::vector<std::wstring> names;
    try {
        GatherNames(moniker, query, flag, wanted, names);
    } catch (...) {
        // Whatever went wrong, the names gathered so far are the answer.
    }
    return names;
}

std::vector<std::wstring> Dialer::ListHomeConnections(const std::wstring& strComputer, bool bLAN) {
    return SelectNames(L"winmgmts:\\\\" + strComputer + L"\\root\\microsoft\\homenet",
                       L"Select * from HNet_Connection", L"IsLANConnection", bLAN);
}

} // namespace dialer
