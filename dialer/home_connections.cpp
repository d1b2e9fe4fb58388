/*
 * The names of the home-networking connections of a computer, read from the WMI class
 * HNet_Connection of its namespace root\microsoft\homenet through automation late binding.
 *
 * The listing never fails: a computer that cannot be reached, a namespace or class that the
 * system lacks (Wine has none), access denied or a property that cannot be read end it quietly
 * with the names gathered so far.
 */
#include "dialer/dialer.h"

#include "base/Error.h"
#include "base/Owners.h"

#include <oleauto.h>

namespace dialer {

namespace {

DISPID IdOf(IDispatch* object, std::wstring_view name) {
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    DISPID id = DISPID_UNKNOWN;
    base::ThrowIfFailed(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), text);
    return id;
}

// Calls a member late-bound with at most one argument, as a script host does.
base::UniqueVariant Invoke(IDispatch* object, DISPID id, WORD flags, VARIANT* argument = nullptr) {
    DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
    base::UniqueVariant result;
    EXCEPINFO exception{};
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result,
                                &exception, nullptr);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    base::ThrowIfFailed(hr, L"WMI call");
    return result;
}

// Reads a property as script hosts do, as a get that may also be a method call: the WMI
// objects of some systems answer only that form.
base::UniqueVariant Property(IDispatch* object, std::wstring_view name) {
    return Invoke(object, IdOf(object, name), DISPATCH_METHOD | DISPATCH_PROPERTYGET);
}

base::ComPtr<IDispatch> AsObject(base::UniqueVariant value) {
    base::ThrowIfFailed(::VariantChangeType(&value, &value, 0, VT_DISPATCH), L"WMI object");
    base::ComPtr<IDispatch> object(value.pdispVal);
    return object;
}

void GatherNames(std::wstring_view moniker, std::wstring_view query, std::wstring_view flag,
                 bool wanted, std::vector<std::wstring>& names) {
    base::ComPtr<IDispatch> service;
    base::ThrowIfFailed(
        ::CoGetObject(std::wstring(moniker).c_str(), nullptr, IID_IDispatch, service.put_void()),
        moniker);
    base::UniqueVariant queryText;
    queryText.vt = VT_BSTR;
    queryText.bstrVal = base::UniqueBstr(query).release();
    base::ComPtr<IDispatch> objects = AsObject(
        Invoke(service.get(), IdOf(service.get(), L"ExecQuery"), DISPATCH_METHOD, &queryText));

    base::UniqueVariant enumerable =
        Invoke(objects.get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    base::ThrowIfFailed(::VariantChangeType(&enumerable, &enumerable, 0, VT_UNKNOWN),
                        L"WMI object set");
    base::ComPtr<IEnumVARIANT> enumerator;
    base::ThrowIfFailed(enumerable.punkVal->QueryInterface(IID_IEnumVARIANT, enumerator.put_void()),
                        L"WMI object set");

    base::UniqueVariant wantedValue;
    wantedValue.vt = VT_BOOL;
    wantedValue.boolVal = wanted ? VARIANT_TRUE : VARIANT_FALSE;
    for (;;) {
        base::UniqueVariant item;
        ULONG fetched = 0;
        HRESULT hr = enumerator->Next(1, &item, &fetched);
        base::ThrowIfFailed(hr, L"WMI object set");
        if (hr != S_OK || fetched != 1) {
            return;
        }
        base::ComPtr<IDispatch> object = AsObject(std::move(item));
        // Automation equality: a value of another type counts when it compares equal, and a
        // Null never does.
        base::UniqueVariant value = Property(object.get(), flag);
        HRESULT comparison = ::VarCmp(&value, &wantedValue, LOCALE_USER_DEFAULT, 0);
        base::ThrowIfFailed(comparison, flag);
        if (comparison != VARCMP_EQ) {
            continue;
        }
        base::UniqueVariant name = Property(object.get(), L"Name");
        base::ThrowIfFailed(::VariantChangeType(&name, &name, 0, VT_BSTR), L"Name");
        names.emplace_back(base::BstrView(name.bstrVal));
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
