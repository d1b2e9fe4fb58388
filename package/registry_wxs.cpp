/*
 * Build tool, run under Wine: registry_wxs [--win32] MODULE OUTDIR FILEID DIRID
 *
 * Writes what MODULE's DllRegisterServer puts in the registry as Windows Installer source, so
 * that the installer packages register exactly what the module's own registration does, from
 * the one registration record the module carries. The module registers into scratch keys that
 * stand in, for this process only, for the classes root and the machine root; what lands
 * there becomes RegistryValue elements below HKLM\Software\Classes. The module's path becomes
 * [#FILEID], its folder [DIRID].
 *
 * Two include files come out, because a 64-bit package installs both builds:
 *   OUTDIR/registry-own.wxi     what each bitness keeps apart: the CLSID and Interface keys,
 *                               which the registry gives each bitness its own view of, and the
 *                               type library's path for this platform (win32 or win64);
 *   OUTDIR/registry-shared.wxi  the rest (ProgIDs, the type library's name, flags and help
 *                               folder), which both bitnesses share: a package that installs
 *                               both builds takes these from one of them.
 */

#include "base/Error.h"
#include "base/Owners.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Check(LSTATUS status, const std::wstring& what) {
    base::ThrowIfFailed(HRESULT_FROM_WIN32(status), what);
}

[[noreturn]] void Refuse(const std::wstring& what) {
    throw base::Error(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), what);
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

struct Value {
    std::wstring key; // below the classes root
    std::wstring name;
    DWORD type;
    std::wstring data;
};

std::wstring ReadData(DWORD type, const std::vector<BYTE>& bytes, DWORD size,
                      const std::wstring& where) {
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::copy_n(bytes.data(), sizeof number, reinterpret_cast<BYTE*>(&number));
        return std::to_wstring(number);
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        Refuse(where + L": only string and number values can be packaged");
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), size / sizeof(wchar_t));
    text.resize(std::min(text.size(), text.find(L'\0')));
    return text;
}

// Every value below KEY, keys and values in name order, so the output never depends on the
// order the registry enumerates them.
void Collect(HKEY key, const std::wstring& path, std::vector<Value>& out) {
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
    Check(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr,
                             &values, &longestName, &longestData, nullptr, nullptr),
          L"RegQueryInfoKey " + path);
    if (subkeys == 0 && values == 0 && !path.empty()) {
        Refuse(path + L": an empty key cannot be packaged as a value");
    }
    std::vector<Value> own;
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(longestData + sizeof(wchar_t));
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        Check(::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size),
              L"RegEnumValue " + path);
        std::wstring valueName(name.data(), nameLength);
        own.push_back({path, valueName, type, ReadData(type, data, size, path + L" " + valueName)});
    }
    std::sort(own.begin(), own.end(),
              [](const Value& a, const Value& b) { return a.name < b.name; });
    out.insert(out.end(), own.begin(), own.end());

    std::vector<std::wstring> names;
    std::vector<wchar_t> subkey(longestSubkey + 1);
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD length = static_cast<DWORD>(subkey.size());
        Check(::RegEnumKeyExW(key, i, subkey.data(), &length, nullptr, nullptr, nullptr, nullptr),
              L"RegEnumKeyEx " + path);
        names.emplace_back(subkey.data(), length);
    }
    std::sort(names.begin(), names.end());
    for (const auto& child : names) {
        base::UniqueKey opened;
        Check(::RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, opened.put()),
              L"RegOpenKeyEx " + child);
        Collect(opened.get(), path.empty() ? child : path + L"\\" + child, out);
    }
}

// Scratch keys that stand in for the classes root and the machine root while the module
// registers, removed when done.
class ScratchRoots {
public:
    ScratchRoots() {
        std::wstring path =
            L"Software\\ZUVezEradez3 registry_wxs " + std::to_wstring(::GetCurrentProcessId());
        Check(::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, base_.put(), nullptr),
              L"creating the scratch key");
        path_ = path;
        Check(::RegCreateKeyExW(base_.get(), L"classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                classes_.put(), nullptr),
              L"creating the scratch classes root");
        Check(::RegCreateKeyExW(base_.get(), L"machine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                machine_.put(), nullptr),
              L"creating the scratch machine root");
    }
    ~ScratchRoots() {
        Restore();
        classes_.reset();
        machine_.reset();
        base_.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
    }
    ScratchRoots(const ScratchRoots&) = delete;
    ScratchRoots& operator=(const ScratchRoots&) = delete;

    void Override() {
        Check(::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.get()),
              L"redirecting the classes root");
        Check(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.get()),
              L"redirecting the machine root");
    }
    void Restore() {
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    }

    // What was written to the classes root, directly or as the machine's classes.
    std::vector<Value> Written() const {
        std::vector<Value> values;
        Collect(classes_.get(), L"", values);
        std::vector<Value> machine;
        Collect(machine_.get(), L"", machine);
        const std::wstring classes = L"Software\\Classes\\";
        for (auto& value : machine) {
            if (!EqualsIgnoringCase(value.key.substr(0, classes.size()), classes)) {
                Refuse(L"registration wrote outside the classes: " + value.key);
            }
            value.key.erase(0, classes.size());
            values.push_back(std::move(value));
        }
        return values;
    }

private:
    std::wstring path_;
    base::UniqueKey base_;
    base::UniqueKey classes_;
    base::UniqueKey machine_;
};

std::vector<Value> Register(const std::wstring& modulePath, std::wstring& loadedPath) {
    base::UniqueModule module(::LoadLibraryW(modulePath.c_str()));
    if (!module) {
        base::ThrowLastError(L"loading " + modulePath);
    }
    wchar_t path[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(module.get(), path, MAX_PATH * 2);
    loadedPath = path;
    auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllRegisterServer")));
    if (!registerServer) {
        throw base::Error(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND),
                          L"the module exports no DllRegisterServer");
    }
    ScratchRoots roots;
    roots.Override();
    HRESULT hr = registerServer();
    roots.Restore();
    base::ThrowIfFailed(hr, L"DllRegisterServer");
    return roots.Written();
}

bool ContainsIgnoringCase(const std::wstring& text, const std::wstring& part) {
    if (part.empty()) {
        return false;
    }
    for (size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (EqualsIgnoringCase(text.substr(at, part.size()), part)) {
            return true;
        }
    }
    return false;
}

// TEXT with each character that REPLACEMENT gives a replacement for replaced.
template <class Replacement>
std::wstring Rewritten(const std::wstring& text, Replacement replacement) {
    std::wstring out;
    for (wchar_t c : text) {
        const wchar_t* replaced = replacement(c);
        out += replaced ? std::wstring(replaced) : std::wstring(1, c);
    }
    return out;
}

std::wstring XmlEscaped(const std::wstring& text) {
    return Rewritten(text, [](wchar_t c) {
        return c == L'&'   ? L"&amp;"
               : c == L'<' ? L"&lt;"
               : c == L'>' ? L"&gt;"
               : c == L'"' ? L"&quot;"
                           : nullptr;
    });
}

// Registry values are formatted text for the installer: brackets are written as [\[] and [\]].
std::wstring FormattedLiteral(const std::wstring& text) {
    return Rewritten(text, [](wchar_t c) {
        return c == L'[' ? L"[\\[]" : c == L']' ? L"[\\]]" : nullptr;
    });
}

struct Names {
    std::wstring modulePath;
    std::wstring folder;
    std::wstring fileId;
    std::wstring dirId;
};

std::wstring InstallerValue(const Value& value, const Names& names) {
    if (EqualsIgnoringCase(value.data, names.modulePath)) {
        return L"[#" + names.fileId + L"]";
    }
    if (EqualsIgnoringCase(value.data, names.folder) ||
        EqualsIgnoringCase(value.data, names.folder + L"\\")) {
        // The installer's folder properties end with a backslash.
        return L"[" + names.dirId + L"]";
    }
    if (ContainsIgnoringCase(value.data, names.folder)) {
        Refuse(value.key + L": a build path that the package cannot name: " + value.data);
    }
    if (!value.data.empty() && value.data.front() == L'#') {
        Refuse(value.key + L": a value that starts with # is not supported");
    }
    return FormattedLiteral(value.data);
}

std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::wstring Element(const Value& value, const Names& names) {
    const wchar_t* type = value.type == REG_DWORD       ? L"integer"
                          : value.type == REG_EXPAND_SZ ? L"expandable"
                                                        : L"string";
    std::wstring element =
        L"  <RegistryValue Root=\"HKLM\" Key=\"Software\\Classes\\" + XmlEscaped(value.key) + L"\"";
    if (!value.name.empty()) {
        element += L" Name=\"" + XmlEscaped(value.name) + L"\"";
    }
    return element + L" Type=\"" + type + L"\" Value=\"" +
           XmlEscaped(InstallerValue(value, names)) + L"\" />\n";
}

std::wstring FirstPart(const std::wstring& key) {
    return key.substr(0, key.find(L'\\'));
}

std::wstring LastPart(const std::wstring& key) {
    size_t slash = key.rfind(L'\\');
    return slash == std::wstring::npos ? key : key.substr(slash + 1);
}

// CLSID and Interface keys have a view per bitness; a type library has a path per platform.
bool KeptApartPerBitness(const std::wstring& key) {
    std::wstring first = FirstPart(key);
    std::wstring last = LastPart(key);
    return EqualsIgnoringCase(first, L"CLSID") || EqualsIgnoringCase(first, L"Interface") ||
           (EqualsIgnoringCase(first, L"TypeLib") &&
            (EqualsIgnoringCase(last, L"win32") || EqualsIgnoringCase(last, L"win64")));
}

void WriteInclude(const std::wstring& path, const std::vector<Value>& values, bool ownPart,
                  const Names& names) {
    std::wstring text = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                        L"<!-- Written by registry_wxs from what DllRegisterServer writes. -->\n"
                        L"<Include>\n";
    for (const auto& value : values) {
        if (KeptApartPerBitness(value.key) == ownPart) {
            text += Element(value, names);
        }
    }
    text += L"</Include>\n";
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << Utf8(text);
    if (!out.flush()) {
        throw base::Error(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), L"writing " + path);
    }
}

// The 32-bit build registers what the 64-bit build does, but for its type library's path,
// which stands under the platform key win32 instead of win64.
void RetargetToWin32(std::vector<Value>& values) {
    for (auto& value : values) {
        if (EqualsIgnoringCase(FirstPart(value.key), L"TypeLib") &&
            EqualsIgnoringCase(LastPart(value.key), L"win64")) {
            value.key.replace(value.key.size() - 2, 2, L"32");
        }
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // --win32 with a 64-bit module writes the 32-bit build's entries, for a machine that cannot
    // run the 32-bit module.
    const bool win32 = argc > 1 && std::wstring(argv[1]) == L"--win32";
    if (win32) {
        --argc;
        ++argv;
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: registry_wxs [--win32] MODULE OUTDIR FILEID DIRID\n");
        return 2;
    }
    try {
        Names names{L"", L"", argv[3], argv[4]};
        std::vector<Value> values = Register(argv[1], names.modulePath);
        if (win32) {
            RetargetToWin32(values);
        }
        names.folder = names.modulePath.substr(0, names.modulePath.rfind(L'\\'));
        if (values.empty()) {
            Refuse(L"DllRegisterServer wrote nothing");
        }
        std::wstring outDir = argv[2];
        WriteInclude(outDir + L"\\registry-own.wxi", values, true, names);
        WriteInclude(outDir + L"\\registry-shared.wxi", values, false, names);
        return 0;
    } catch (const base::Error& error) {
        std::fprintf(stderr, "registry_wxs: %ls (0x%08lx)\n", error.description().c_str(),
                     static_cast<unsigned long>(error.hr()));
        return 1;
    }
}
