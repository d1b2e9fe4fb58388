#include "testbed/urlcache/seeding.h"

#include "base/Owners.h"

#include <wininet.h>

namespace testbed::urlcache {

bool AddEntry(const std::string& url, DWORD type, bool withFile) {
    char file[MAX_PATH] = "";
    if (withFile && !::CreateUrlCacheEntryA(url.c_str(), 0, "dat", file, 0)) {
        return false;
    }
    FILETIME never{};
    if (!::CommitUrlCacheEntryA(url.c_str(), withFile ? file : nullptr, never, never, type, nullptr,
                                0, nullptr, nullptr)) {
        if (withFile) {
            ::DeleteFileA(file);
        }
        return false;
    }
    INTERNET_CACHE_ENTRY_INFOA info{};
    info.dwStructSize = sizeof(info);
    info.CacheEntryType = type;
    if (!::SetUrlCacheEntryInfoA(url.c_str(), &info, CACHE_ENTRY_ATTRIBUTE_FC)) {
        RemoveEntry(url);
        return false;
    }
    return true;
}

bool HasEntry(const std::string& url) {
    // Asked without a buffer, Wine fails without a reason; a real buffer gives a clear answer.
    std::vector<char> buffer(4096);
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    info->dwStructSize = sizeof(*info);
    DWORD size = static_cast<DWORD>(buffer.size());
    ::SetLastError(ERROR_SUCCESS);
    return ::GetUrlCacheEntryInfoA(url.c_str(), info, &size) ||
           ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

void RemoveEntry(const std::string& url) {
    ::DeleteUrlCacheEntryA(url.c_str());
}

std::vector<Entry> ListEntries() {
    std::vector<Entry> entries;
    std::vector<char> buffer(4096);
    auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    base::UniqueUrlCacheFind find;
    for (;;) {
        // One buffer serves every entry; it grows when an entry needs more.
        DWORD size = static_cast<DWORD>(buffer.size());
        info->dwStructSize = sizeof(*info);
        bool fetched = false;
        if (find) {
            fetched = ::FindNextUrlCacheEntryA(find.get(), info, &size);
        } else {
            find.reset(::FindFirstUrlCacheEntryA(nullptr, info, &size));
            fetched = static_cast<bool>(find);
        }
        if (!fetched && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(size);
            info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
            continue;
        }
        if (!fetched) {
            break;
        }
        entries.push_back(
            {info->lpszSourceUrlName ? info->lpszSourceUrlName : "", info->CacheEntryType});
    }
    return entries;
}

} // namespace testbed::urlcache
