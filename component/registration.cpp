/*
 * What registration writes, below the classes root of the chosen scope:
 *   TypeLib\{LIBID}\1.0\...        by the platform's type-library registration, which also
 *                                  enters each interface with the automation marshaler
 *   <Project>.<Class>\CLSID        = {CLSID}
 *   CLSID\{CLSID}                  = <Class>, with ProgID, TypeLib, Version and
 *     InprocServer32               = module path, ThreadingModel = Apartment
 *
 * The 32-bit and the 64-bit module register side by side: the platform keeps their CLSID keys
 * and type-library paths apart, while ProgIDs and interface entries are shared. Unregistering
 * one of them therefore keeps the shared entries as long as the other is still registered.
 */
#include "component/registration.h"

#include "component/module.h"
#include "tools/Owners.h"

#include <oleauto.h>
#include <objbase.h>

#include <new>
#include <string>

namespace component {

namespace {

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ProgId(const RegistrationRecord& record, const ClassRecord& cls) {
    return std::wstring(record.projectName) + L"." + cls.name;
}

class ClassesRoot {
public:
    explicit ClassesRoot(Scope scope) {
        if (scope == Scope::Machine) {
            root_ = HKEY_CLASSES_ROOT;
        } else {
            error_ = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, userClasses_.put(), nullptr);
            root_ = userClasses_.get();
        }
    }
    HKEY get() const { return root_; }
    LSTATUS error() const { return error_; }

private:
    tools::UniqueKey userClasses_;
    HKEY root_ = nullptr;
    LSTATUS error_ = ERROR_SUCCESS;
};

LSTATUS SetValue(HKEY root, const std::wstring& path, const wchar_t* name,
                 const std::wstring& value) {
    tools::UniqueKey key;
    LSTATUS status = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                       key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS DeleteTree(HKEY root, const std::wstring& path) {
    LSTATUS status = ::RegDeleteTreeW(root, path.c_str());
    if (status == ERROR_SUCCESS) {
        status = ::RegDeleteKeyW(root, path.c_str());
    }
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// The registry view of the module of the other bitness.
REGSAM OtherView() {
    return sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool OtherBitnessRegistered(const RegistrationRecord& record, HKEY root) {
    for (const auto& cls : record.classes) {
        std::wstring path = L"CLSID\\" + GuidText(*cls.clsid) + L"\\InprocServer32";
        tools::UniqueKey key;
        if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | OtherView(), key.put()) ==
            ERROR_SUCCESS) {
            return true;
        }
    }
    return false;
}

SYSKIND ThisSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

// Runs a type-library registration call against the chosen scope: for the user scope the
// classes root is redirected to the user's classes while the call runs.
template <class Step> HRESULT InScope(Scope scope, HKEY root, Step step) {
    if (scope == Scope::Machine) {
        return step();
    }
    LSTATUS status = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, root);
    if (status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(status);
    }
    HRESULT hr = step();
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    return hr;
}

HRESULT RegisterClass(const RegistrationRecord& record, const ClassRecord& cls, HKEY root,
                      const std::wstring& modulePath) {
    std::wstring clsid = GuidText(*cls.clsid);
    std::wstring classKey = L"CLSID\\" + clsid;
    std::wstring progId = ProgId(record, cls);
    wchar_t version[16] = {};
    ::wsprintfW(version, L"%u.%u", record.major, record.minor);
    struct Entry {
        std::wstring path;
        const wchar_t* name;
        std::wstring value;
    } entries[] = {
        {progId, nullptr, cls.name},
        {progId + L"\\CLSID", nullptr, clsid},
        {classKey, nullptr, cls.name},
        {classKey + L"\\ProgID", nullptr, progId},
        {classKey + L"\\TypeLib", nullptr, GuidText(*record.libid)},
        {classKey + L"\\Version", nullptr, version},
        {classKey + L"\\InprocServer32", nullptr, modulePath},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    };
    for (const auto& entry : entries) {
        LSTATUS status = SetValue(root, entry.path, entry.name, entry.value);
        if (status != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

} // namespace

HRESULT RegisterServer(const RegistrationRecord& record, Scope scope) {
    try {
        ClassesRoot root(scope);
        if (root.error() != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(root.error());
        }
        std::wstring path = ModulePath();
        tools::ComPtr<ITypeLib> library;
        HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) {
            return hr;
        }
        hr = InScope(scope, root.get(),
                     [&] { return ::RegisterTypeLib(library.Get(), path.data(), nullptr); });
        if (FAILED(hr)) {
            return hr;
        }
        for (const auto& cls : record.classes) {
            hr = RegisterClass(record, cls, root.get(), path);
            if (FAILED(hr)) {
                return hr;
            }
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnregisterServer(const RegistrationRecord& record, Scope scope) {
    try {
        ClassesRoot root(scope);
        if (root.error() != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(root.error());
        }
        LSTATUS status = ERROR_SUCCESS;
        for (const auto& cls : record.classes) {
            LSTATUS deleted = DeleteTree(root.get(), L"CLSID\\" + GuidText(*cls.clsid));
            status = status == ERROR_SUCCESS ? deleted : status;
        }
        const wchar_t* platform = ThisSysKind() == SYS_WIN64 ? L"win64" : L"win32";
        HRESULT hr = S_OK;
        if (OtherBitnessRegistered(record, root.get())) {
            // Keep what the other module shares; remove only this module's library path.
            wchar_t path[128] = {};
            ::wsprintfW(path, L"TypeLib\\%s\\%u.%u\\%lx\\%s", GuidText(*record.libid).c_str(),
                        record.major, record.minor, record.lcid, platform);
            LSTATUS deleted = DeleteTree(root.get(), path);
            status = status == ERROR_SUCCESS ? deleted : status;
        } else {
            for (const auto& cls : record.classes) {
                LSTATUS deleted = DeleteTree(root.get(), ProgId(record, cls));
                status = status == ERROR_SUCCESS ? deleted : status;
            }
            hr = InScope(scope, root.get(), [&] {
                return ::UnRegisterTypeLib(*record.libid, record.major, record.minor, record.lcid,
                                           ThisSysKind());
            });
            // Nothing registered for this platform is nothing left to remove.
            if (hr == TYPE_E_REGISTRYACCESS || hr == E_INVALIDARG) {
                hr = S_OK;
            }
        }
        if (FAILED(hr)) {
            return hr;
        }
        return HRESULT_FROM_WIN32(status);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace component
