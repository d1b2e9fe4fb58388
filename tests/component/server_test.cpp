// The module's exports: class objects, unloading, creation rules and identity.
#include "testbed/component_test.h"

#include "ZUVezEradez3.h"
#include "version.h"

namespace {

using namespace testbed;
using base::ComPtr;

class ServerTest : public ComponentTest {};

TEST_F(ServerTest, ExportsAreUndecorated) {
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer",
                             "DllUnregisterServer", "DllInstall"}) {
        EXPECT_NE(ComponentExport<FARPROC>(name), nullptr) << name;
    }
}

TEST_F(ServerTest, UnknownClassIsNotAvailable) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetComponentClassObject(IID__QKDialer, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ServerTest, AggregationIsRefused) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(GetComponentClassObject(CLSID_QKCache, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<IUnknown> object;
    ComPtr<IUnknown> outer = CreateDispatch(CLSID_QKCache);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, object.put_void()),
              CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(object);
}

TEST_F(ServerTest, CanUnloadOnlyWhenNoObjectAndNoLock) {
    ASSERT_EQ(ComponentCanUnloadNow(), S_OK);
    {
        ComPtr<IDispatch> dialer = CreateDispatch(CLSID_QKDialer);
        ComPtr<IDispatch> cache = CreateDispatch(CLSID_QKCache);
        EXPECT_EQ(ComponentCanUnloadNow(), S_FALSE);
        dialer.reset();
        EXPECT_EQ(ComponentCanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(ComponentCanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(GetComponentClassObject(CLSID_QKDialer, IID_IClassFactory, factory.put_void()), S_OK);
    // A held class object keeps the module: CoFreeUnusedLibraries would otherwise unload the
    // code under it, and the host's next CreateInstance would crash.
    EXPECT_EQ(ComponentCanUnloadNow(), S_FALSE) << "a held class object holds the module";
    factory->LockServer(TRUE);
    factory.reset();
    EXPECT_EQ(ComponentCanUnloadNow(), S_FALSE) << "a lock outlives the class object";
    ASSERT_EQ(GetComponentClassObject(CLSID_QKDialer, IID_IClassFactory, factory.put_void()), S_OK);
    factory->LockServer(FALSE);
    EXPECT_EQ(ComponentCanUnloadNow(), S_FALSE);
    factory.reset();
    EXPECT_EQ(ComponentCanUnloadNow(), S_OK);
}

struct WorkerEvents {
    HANDLE created, release;
};

// Creates a dialer in a multithreaded apartment of its own and holds it until told to let go.
DWORD WINAPI HoldObjectInOtherApartment(void* parameter) {
    auto* events = static_cast<WorkerEvents*>(parameter);
    Apartment apartment(COINIT_MULTITHREADED);
    ComPtr<IDispatch> object = CreateDispatch(CLSID_QKDialer);
    SetEvent(events->created);
    WaitForSingleObject(events->release, INFINITE);
    return 0;
}

TEST_F(ServerTest, ObjectsOfOtherApartmentsCount) {
    base::UniqueHandle created(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    base::UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    WorkerEvents context{created.get(), release.get()};
    base::UniqueHandle thread(
        CreateThread(nullptr, 0, HoldObjectInOtherApartment, &context, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(created.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(ComponentCanUnloadNow(), S_FALSE);
    SetEvent(release.get());
    ASSERT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(ComponentCanUnloadNow(), S_OK);
}

TEST_F(ServerTest, DefaultInterfaceIdentityAndNothingElse) {
    for (auto [clsid, iid] :
         {std::pair{CLSID_QKDialer, IID__QKDialer}, std::pair{CLSID_QKCache, IID__QKCache}}) {
        ComPtr<IUnknown> unknown, dispatch, own;
        ASSERT_EQ(CreateComponentObject(clsid, IID_IUnknown, unknown.put_void()), S_OK);
        EXPECT_EQ(unknown.query(dispatch), S_OK);
        EXPECT_EQ(unknown->QueryInterface(iid, own.put_void()), S_OK);
        EXPECT_EQ(unknown.get(), dispatch.get());
        EXPECT_EQ(unknown.get(), own.get());
        ComPtr<IUnknown> other;
        EXPECT_EQ(unknown->QueryInterface(IID_IPersist, other.put_void()), E_NOINTERFACE);
        EXPECT_EQ(unknown->QueryInterface(clsid == CLSID_QKDialer ? IID__QKCache : IID__QKDialer,
                                          other.put_void()),
                  E_NOINTERFACE);
    }
}

TEST_F(ServerTest, EveryCreationIsANewObject) {
    ComPtr<IDispatch> a = CreateDispatch(CLSID_QKCache), b = CreateDispatch(CLSID_QKCache);
    EXPECT_NE(a.get(), b.get());
}

TEST_F(ServerTest, CacheDeclaresItsOneMember) {
    ComPtr<IDispatch> cache = CreateDispatch(CLSID_QKCache);
    EXPECT_EQ(DispIdOf(cache.get(), L"DelCache"), 0x60030005);
    EXPECT_EQ(DispIdOf(cache.get(), L"IniFilename"), DISPID_UNKNOWN);
}

// What the build puts into the version record: the release's version from VERSION, as text and
// as the fixed part's numbers (major.minor.0.revision), and the description, which the resource
// compiler must read as UTF-8. The record's strings are found through its translation.
TEST_F(ServerTest, VersionRecord) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(ComponentModule(), path, MAX_PATH);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.data()));
    UINT length = 0;
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 2 * sizeof(WORD));
    wchar_t block[32];
    swprintf(block, 32, L"\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
    auto text = [&](const wchar_t* key) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        std::wstring query = block + std::wstring(key);
        EXPECT_TRUE(
            VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars))
            << key;
        return std::wstring(value ? value : L"");
    };
    EXPECT_EQ(text(L"FileVersion"), L"" ZU_VERSION_TEXT);
    EXPECT_EQ(text(L"ProductVersion"), L"" ZU_VERSION_TEXT);
    EXPECT_EQ(text(L"FileDescription"), L"ADSL\u62E8\u53F7\u7EC4\u4EF6");

    unsigned major = 0, minor = 0, revision = 0;
    ASSERT_EQ(swscanf(L"" ZU_VERSION_TEXT, L"%u.%u.%u", &major, &minor, &revision), 3);
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(minor, major)));
    EXPECT_EQ(fixed->dwFileVersionLS, revision);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
}

TEST_F(ServerTest, InterfaceIdResources) {
    for (auto [type, iid] :
         {std::pair{L"_IID_QKDIALER", IID__QKDialer}, std::pair{L"_IID_QKCACHE", IID__QKCache}}) {
        HRSRC found = FindResourceExW(ComponentModule(), type, MAKEINTRESOURCEW(1),
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        ASSERT_NE(found, nullptr) << type;
        ASSERT_EQ(SizeofResource(ComponentModule(), found), 20u);
        auto bytes = static_cast<const BYTE*>(LockResource(LoadResource(ComponentModule(), found)));
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(bytes), 16u);
        EXPECT_EQ(memcmp(bytes + 4, &iid, 16), 0) << type;
    }
    EXPECT_NE(FindResourceExW(ComponentModule(), L"TYPELIB", MAKEINTRESOURCEW(1),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
              nullptr);
}

} // namespace
