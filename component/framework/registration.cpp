/*
 * What registration writes, below the classes root of the chosen scope:
 *   TypeLib\{LIBID}\1.0\...        by the platform's type-library registration, which also
 *                                  enters each interface with the automation marshaler
 *   <Project>.<Class>\CLSID        = {CLSID}
 *   CLSID\{CLSID}                  = <Class>, with ProgID, TypeLib, Version and
 *     InprocServer32               = module path, ThreadingModel = Apartment
 *
 * The 32-bit and the 64-bit module register side by side. On 64-bit Windows 7 and later the
 * registry keeps apart what each bitness writes below CLSID and Interface (each view has its
 * own), while ProgIDs and the TypeLib key are shared, with a path per platform below the
 * library's version ("Registry Keys Affected by WOW64"). Unregistering one module therefore
 * removes its class and interface keys from its own view, and keeps the shared entries as long
 * as the other module is still registered, pointing the library's help folder at the module
 * that stays. (Wine keeps CLSID and Interface apart per view too; where it differs from that
 * table in other keys, this follows the documented table.)
 *
 * Each scope is written through its own key, HKEY_LOCAL_MACHINE\Software\Classes or
 * HKEY_CURRENT_USER\Software\Classes, never through the merged HKEY_CLASSES_ROOT: on Windows
 * that view writes into the user's classes wherever the user already has the key, so a machine
 * registration would rewrite, and a machine unregistration delete, a per-user registration.
 */
#include "component/framework/registration.h"

#include "component/framework/boundary.h"
#include "component/framework/module.h"
#include "base/Error.h"
#include "base/Owners.h"

#include <oleauto.h>
#include <objbase.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace component {

namespace {

// Throws a failing registry status, as the HRESULT that registration returns for it.
void ThrowIfRegFailed(LSTATUS status, std::wstring_view context) {
    base::ThrowIfFailed(HRESULT_FROM_WIN32(status), context);
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

// The class's name in the registry: its ProgID after the project's name and the dot.
std::wstring ClassName(const ClassRecord& cls) {
    std::wstring_view progId = cls.progId;
    return std::wstring(progId.substr(progId.find(L'.') + 1));
}

// CLSID\{CLSID}
std::wstring ClassKey(const ClassRecord& cls) {
    return L"CLSID\\" + GuidText(*cls.clsid);
}

// The type library's version as the registry writes it: <major>.<minor>.
std::wstring VersionText(const RegistrationRecord& record) {
    wchar_t version[16] = {};
    ::wsprintfW(version, L"%u.%u", record.major, record.minor);
    return version;
}

base::UniqueKey OpenClassesRoot(Scope scope) {
    HKEY hive = scope == Scope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    base::UniqueKey classes;
    ThrowIfRegFailed(::RegCreateKeyExW(hive, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS,
                                       nullptr, classes.put(), nullptr),
                     L"Software\\Classes");
    return classes;
}

void SetValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    base::UniqueKey key;
    ThrowIfRegFailed(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                       key.put(), nullptr),
                     path);
    ThrowIfRegFailed(::RegSetValueExW(key.get(), name, 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                     path);
}

// Deletes the key with everything below it; a key that is not there is gone already.
void DeleteTree(HKEY root, const std::wstring& path) {
    LSTATUS status = ::RegDeleteTreeW(root, path.c_str());
    if (status == ERROR_SUCCESS) {
        status = ::RegDeleteKeyW(root, path.c_str());
    }
    if (status != ERROR_FILE_NOT_FOUND) {
        ThrowIfRegFailed(status, path);
    }
}

SYSKIND ThisSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
}

SYSKIND OtherSysKind() {
    return sizeof(void*) == 8 ? SYS_WIN32 : SYS_WIN64;
}

const wchar_t* PlatformName(SYSKIND kind) {
    return kind == SYS_WIN64 ? L"win64" : L"win32";
}

// TypeLib\{LIBID}\<major>.<minor>
std::wstring LibraryVersionKey(const RegistrationRecord& record) {
    return L"TypeLib\\" + GuidText(*record.libid) + L"\\" + VersionText(record);
}

// The library's path for one platform below its version key: <lcid>\win32 or <lcid>\win64.
std::wstring LibraryPathKey(const RegistrationRecord& record, SYSKIND kind) {
    wchar_t lcid[16] = {};
    ::wsprintfW(lcid, L"%lx", record.lcid);
    return LibraryVersionKey(record) + L"\\" + lcid + L"\\" + PlatformName(kind);
}

// Points the library's help folder, which the last registration set to its own module's
// folder, at the folder of the other platform's module.
void PointHelpDirAt(const RegistrationRecord& record, HKEY root, SYSKIND remaining) {
    const std::wstring pathKey = LibraryPathKey(record, remaining);
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof(path);
    LSTATUS status =
        ::RegGetValueW(root, pathKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        return;
    }
    ThrowIfRegFailed(status, pathKey);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L'\\') == std::wstring::npos ? 0
                                                                   : folder.find_last_of(L'\\'));
    SetValue(root, LibraryVersionKey(record) + L"\\HELPDIR", nullptr, folder);
}

// Whether the module of the other bitness is registered in this scope: its library path is
// there. (Type-library keys are the same in both registry views, unlike the CLSID keys.)
bool OtherBitnessRegistered(const RegistrationRecord& record, HKEY root) {
    base::UniqueKey key;
    return ::RegOpenKeyExW(root, LibraryPathKey(record, OtherSysKind()).c_str(), 0, KEY_READ,
                           key.put()) == ERROR_SUCCESS;
}

// Interface\{IID} of each interface that the module's library describes, as the platform's
// type-library registration entered them.
std::vector<std::wstring> InterfaceKeys() {
    base::ComPtr<ITypeLib> library;
    base::ThrowIfFailed(::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, library.put()),
                        L"Loading the type library");
    std::vector<std::wstring> keys;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind = TKIND_MAX;
        base::ThrowIfFailed(library->GetTypeInfoType(i, &kind), L"Reading the type library");
        if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) {
            continue;
        }
        base::ComPtr<ITypeInfo> info;
        base::ThrowIfFailed(library->GetTypeInfo(i, info.put()), L"Reading the type library");
        base::UniqueTypeAttr attr(info.get());
        base::ThrowIfFailed(info->GetTypeAttr(attr.put()), L"Reading the type library");
        keys.push_back(L"Interface\\" + GuidText(attr->guid));
    }
    return keys;
}

// Runs a type-library registration step against the chosen scope: the classes root is
// redirected to that scope's own classes key while the step runs, however it ends.
template <class Step> void InScope(HKEY root, Step step) {
    ThrowIfRegFailed(::RegOverridePredefKey(HKEY_CLASSES_ROOT, root), L"HKEY_CLASSES_ROOT");
    base::ScopeExit restore([] { ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); });
    step();
}

void RegisterClass(const RegistrationRecord& record, const ClassRecord& cls, HKEY root,
                   const std::wstring& modulePath) {
    const std::wstring progId = cls.progId;
    const std::wstring name = ClassName(cls);
    const std::wstring clsid = GuidText(*cls.clsid);
    const std::wstring classKey = ClassKey(cls);
    struct Entry {
        std::wstring path;
        const wchar_t* name;
        std::wstring value;
    } entries[] = {
        {progId, nullptr, name},
        {progId + L"\\CLSID", nullptr, clsid},
        {classKey, nullptr, name},
        {classKey + L"\\ProgID", nullptr, progId},
        {classKey + L"\\TypeLib", nullptr, GuidText(*record.libid)},
        {classKey + L"\\Version", nullptr, VersionText(record)},
        {classKey + L"\\InprocServer32", nullptr, modulePath},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    };
    for (const auto& entry : entries) {
        SetValue(root, entry.path, entry.name, entry.value);
    }
}

void Register(const RegistrationRecord& record, Scope scope) {
    base::UniqueKey classes = OpenClassesRoot(scope);
    HKEY root = classes.get();
    std::wstring path = ModulePath();
    base::ComPtr<ITypeLib> library;
    base::ThrowIfFailed(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()),
                        L"Loading the type library");
    InScope(root, [&] {
        base::ThrowIfFailed(::RegisterTypeLib(library.get(), path.data(), nullptr),
                            L"Registering the type library");
    });
    for (const auto& cls : record.classes) {
        RegisterClass(record, cls, root, path);
    }
}

// Runs removal steps one after another, whatever each of them meets, and keeps the first
// failure for when all have run.
class FirstFailure {
public:
    template <class Step> void Run(Step step) {
        try {
            step();
        } catch (const base::Error& error) {
            if (!first_) {
                first_ = error;
            }
        }
    }
    void ThrowIfAny() const {
        if (first_) {
            throw *first_;
        }
    }

private:
    std::optional<base::Error> first_;
};

void Unregister(const RegistrationRecord& record, Scope scope) {
    base::UniqueKey classes = OpenClassesRoot(scope);
    HKEY root = classes.get();
    FirstFailure removal;
    for (const auto& cls : record.classes) {
        removal.Run([&] { DeleteTree(root, ClassKey(cls)); });
    }
    if (OtherBitnessRegistered(record, root)) {
        // Keep what the other module shares; remove this module's library path, and its
        // interface keys, which lie in this bitness's view alone.
        removal.Run([&] { DeleteTree(root, LibraryPathKey(record, ThisSysKind())); });
        removal.Run([&] {
            for (const auto& key : InterfaceKeys()) {
                DeleteTree(root, key);
            }
        });
        removal.Run([&] { PointHelpDirAt(record, root, OtherSysKind()); });
    } else {
        for (const auto& cls : record.classes) {
            removal.Run([&] { DeleteTree(root, cls.progId); });
        }
        // A failure to unregister the library outranks a failed deletion.
        InScope(root, [&] {
            HRESULT hr = ::UnRegisterTypeLib(*record.libid, record.major, record.minor, record.lcid,
                                             ThisSysKind());
            // Nothing registered for this platform is nothing left to remove.
            if (hr != TYPE_E_REGISTRYACCESS && hr != E_INVALIDARG) {
                base::ThrowIfFailed(hr, L"Unregistering the type library");
            }
        });
    }
    removal.ThrowIfAny();
}

} // namespace

HRESULT RegisterServer(const RegistrationRecord& record, Scope scope) {
    return CatchAtBoundary([&] { Register(record, scope); }, ResultOnly);
}

HRESULT UnregisterServer(const RegistrationRecord& record, Scope scope) {
    return CatchAtBoundary([&] { Unregister(record, scope); }, ResultOnly);
}

} // namespace component
