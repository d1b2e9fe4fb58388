#include "tools/ToolsFile.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "tools/ToolsCommon.h"
#include "tools/ToolsUTF8.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <new>
#include <string>

namespace tools {

std::vector<unsigned char> ReadOpenFileBytes(HANDLE file) {
    std::vector<unsigned char> bytes;
    try {
        LARGE_INTEGER size{};
        // A length that a signed 32-bit integer cannot hold reads as no length at all.
        if (!::GetFileSizeEx(file, &size) || size.QuadPart < 1 || size.QuadPart > INT_MAX ||
            !::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
            return bytes;
        }
        bytes.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD read = 0;
            if (!::ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                            &read, nullptr) ||
                read == 0) {
                break;
            }
            done += read;
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
    }
    return bytes;
}

std::vector<unsigned char> ReadOpenFileBytesAtMost(HANDLE file, size_t limit) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) ||
        !::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        base::ThrowLastError(L"Cannot read a file");
    }
    if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        throw base::Error(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
                          L"The file holds " + std::to_wstring(size.QuadPart) +
                              L" bytes, more than the " + std::to_wstring(limit) +
                              L" that are read of it");
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!::ReadFile(file, bytes.data() + done, chunk, &read, nullptr)) {
            base::ThrowLastError(L"Cannot read a file");
        }
        if (read == 0) {
            break; // the file became shorter meanwhile
        }
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

std::vector<unsigned char> ReadFileBytes(std::wstring_view path) {
    std::wstring name;
    try {
        name = path;
    } catch (const std::bad_alloc&) {
        return {};
    }
    base::UniqueFile file(::CreateFileW(name.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {};
    }
    return ReadOpenFileBytes(file.get());
}

std::wstring ReadFileText(std::wstring_view path, bool utf8) {
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    if (SafeUBound(bytes) == -1) {
        return {};
    }
    return BytesToText(bytes, utf8);
}

std::wstring FullPathName(const std::wstring& name) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(name.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

} // namespace tools
