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
#include "base/LateBinding.h"
#include "base/Owners.h"

#include <oleauto.h>

namespace dialer {

namespace {

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
    base::UniqueVariant queryText = base::TextVariant(query);
    base::ComPtr<IDispatch> objects = AsObject(
        base::Invoke(service.get(), base::DispatchId(service.get(), L"ExecQuery", L"ExecQuery"),
                     DISPATCH_METHOD, {&queryText}, L"ExecQuery"));

    base::UniqueVariant enumerable = base::Invoke(
        objects.get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, L"_NewEnum");
    base::ThrowIfFailed(::VariantChangeType(&enumerable, &enumerable, 0, VT_UNKNOWN),
                        L"WMI object set");
    base::ComPtr<IEnumVARIANT> enumerator;
    base::ThrowIfFailed(enumerable.punkVal->QueryInterface(IID_IEnumVARIANT, enumerator.put_void()),
                        L"WMI object set");

    base::UniqueVariant wantedValue = base::BoolVariant(wanted);
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
        base::UniqueVariant value = base::GetProperty(object.get(), flag);
        HRESULT comparison = ::VarCmp(&value, &wantedValue, LOCALE_USER_DEFAULT, 0);
        base::ThrowIfFailed(comparison, flag);
        if (comparison != VARCMP_EQ) {
            continue;
        }
        base::UniqueVariant name = base::GetProperty(object.get(), L"Name");
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
