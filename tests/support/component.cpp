#include "tests/support/component.h"

namespace testing_support {

HMODULE ComponentModule() {
    static HMODULE module = ::LoadLibraryW(L"ZUVezEradez3.dll");
    return module;
}

HRESULT CreateComponentObject(REFCLSID clsid, REFIID iid, void** object) {
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(::GetProcAddress(ComponentModule(), "DllGetClassObject")));
    if (!getClassObject) {
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) {
        return hr;
    }
    return factory->CreateInstance(nullptr, iid, object);
}

ComPtr<IDispatch> CreateDispatch(REFCLSID clsid) {
    ComPtr<IDispatch> object;
    HRESULT hr = CreateComponentObject(clsid, IID_IDispatch, object.put_void());
    EXPECT_EQ(hr, S_OK) << "creating the object";
    return object;
}

base::UniqueVariant Arg(const wchar_t* text) {
    base::UniqueVariant v;
    v.vt = VT_BSTR;
    v.bstrVal = text ? ::SysAllocString(text) : nullptr;
    return v;
}

base::UniqueVariant Arg(long value) {
    base::UniqueVariant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

base::UniqueVariant ArgBool(bool value) {
    base::UniqueVariant v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

DISPID DispIdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return SUCCEEDED(hr) ? id : DISPID_UNKNOWN;
}

CallOutcome Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT*> args) {
    CallOutcome outcome;
    DISPID id = DispIdOf(object, name);
    if (id == DISPID_UNKNOWN) {
        outcome.hr = DISP_E_UNKNOWNNAME;
        return outcome;
    }
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        reversed.push_back(**it);
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    UINT argError = 0;
    outcome.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &outcome.result,
                                &exception, &argError);
    if (outcome.hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) {
            exception.pfnDeferredFillIn(&exception);
        }
        outcome.scode = exception.scode;
        outcome.description = exception.bstrDescription ? exception.bstrDescription : L"";
        outcome.source = exception.bstrSource ? exception.bstrSource : L"";
    }
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrHelpFile);
    return outcome;
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

void ComponentTest::SetUp() {
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

void ComponentTest::TearDown() {
    for (const auto& path : tempFiles_) {
        ::DeleteFileW(path.c_str());
    }
    ::CoUninitialize();
}

std::wstring ComponentTest::TempPath(const std::wstring& suffix) {
    static unsigned counter = 0;
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + L"zu-" + std::to_wstring(::GetCurrentProcessId()) +
                        L"-" + std::to_wstring(++counter) + suffix;
    ::DeleteFileW(path.c_str());
    tempFiles_.push_back(path);
    return path;
}

} // namespace testing_support
