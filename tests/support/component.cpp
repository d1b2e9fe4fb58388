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
