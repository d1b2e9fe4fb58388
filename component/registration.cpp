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
 * one of them therefore keeps the shared entries as long as the other is still registered, and
 * points the library's help folder at the module that stays.
 *
 * Each scope is written through its own key, HKEY_LOCAL_MACHINE\Software\Classes or
 * HKEY_CURRENT_USER\Software\Classes, never through the merged HKEY_CLASSES_ROOT: on Windows
 * that view writes into the user's classes wherever the user already has the key, so a machine
 * registration would rewrite, and a machine unregistration delete, a per-user registration.
 */
#include "component/registration.h"

#include "component/module.h"
#include "base/Owners.h"

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
        HKEY hive = scope == Scope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        error_ = ::RegCreateKeyExW(hive, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, classes_.put(), nullptr);
    }
    HKEY get() const { return classes_.get(); }
    LSTATUS error() const { return error_; }

private:
    base::UniqueKey classes_;
    LSTATUS error_ = ERROR_SUCCESS;
};

LSTATUS SetValue(HKEY root, const std::wstring& path, const wchar_t* name,
                 const std::wstring& value) {
    base::UniqueKey key;
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

SYSKIND ThisSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

const wchar_t* PlatformName(SYSKIND kind) {
    return kind == SYS_WIN64 ? L"win64" : L"win32";
}

// TypeLib\{LIBID}\<major>.<minor>
std::wstring LibraryVersionKey(const RegistrationRecord& record) {
    wchar_t version[16] = {};
    ::wsprintfW(version, L"%u.%u", record.major, record.minor);
    return L"TypeLib\\" + GuidText(*record.libid) + L"\\" + version;
}

// The library's path for one platform below its version key: <lcid>\win32 or <lcid>\win64.
std::wstring LibraryPathKey(const RegistrationRecord& record, SYSKIND kind) {
    wchar_t lcid[16] = {};
    ::wsprintfW(lcid, L"%lx", record.lcid);
    return LibraryVersionKey(record) + L"\\" + lcid + L"\\" + PlatformName(kind);
}

// Points the library's help folder, which the last registration set to its own module's
// folder, at the folder of the other platform's module.
LSTATUS PointHelpDirAt(const RegistrationRecord& record, HKEY root, SYSKIND remaining) {
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path);
    LSTATUS status = ::RegGetValueW(root, LibraryPathKey(record, remaining).c_str(), nullptr,
                                    RRF_RT_REG_SZ, nullptr, path, &size);
    if (status != ERROR_SUCCESS) {
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L'\\') == std::wstring::npos ? 0
                                                                   : folder.find_last_of(L'\\'));
    return SetValue(root, LibraryVersionKey(record) + L"\\HELPDIR", nullptr, folder);
}

SYSKIND OtherSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN32 : SYS_WIN64;
}

// Whether the module of the other bitness is registered in this scope: its library path is
// there. (Type-library keys are the same in both registry views, unlike the CLSID keys.)
bool OtherBitnessRegistered(const RegistrationRecord& record, HKEY root) {
    base::UniqueKey key;
    return ::RegOpenKeyExW(root, LibraryPathKey(record, OtherSysKind()).c_str(), 0, KEY_READ,
                           key.put()) == ERROR_SUCCESS;
}

// Runs a type-library registration call against the chosen scope: the classes root is
// redirected to that scope's own classes key while the call runs.
template <class Step> HRESULT InScope(HKEY root, Step step) {
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
        base::ComPtr<ITypeLib> library;
        HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
        if (FAILED(hr)) {
            return hr;
        }
        hr = InScope(root.get(),
                     [&] { return ::RegisterTypeLib(library.get(), path.data(), nullptr); });
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
        HRESULT hr = S_OK;
        if (OtherBitnessRegistered(record, root.get())) {
            // Keep what the other module shares; remove only this module's library path.
            LSTATUS deleted = DeleteTree(root.get(), LibraryPathKey(record, ThisSysKind()));
            status = status == ERROR_SUCCESS ? deleted : status;
            LSTATUS pointed = PointHelpDirAt(record, root.get(), OtherSysKind());
            status = status == ERROR_SUCCESS ? pointed : status;
        } else {
            for (const auto& cls : record.classes) {
                LSTATUS deleted = DeleteTree(root.get(), ProgId(record, cls));
                status = status == ERROR_SUCCESS ? deleted : status;
            }
            hr = InScope(root.get(), [&] {
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
