// The URL-cache sweep.
#include "cache/cache.h"

#include "base/Owners.h"
#include "tools/ToolsRegExp.h"
#include "tools/ToolsSleep.h"
#include "tools/ToolsString.h"

#include <wininet.h>

#include <cstring>

namespace cache {

namespace {

// A fixed block of exactly `size` bytes for one cache entry, with its record's size field
// (the first 32-bit word) set as the enumeration expects; empty when the allocation fails.
base::UniqueLocal AllocateEntryBlock(DWORD size) {
    base::UniqueLocal block(::LocalAlloc(LMEM_FIXED, size));
    if (block && size >= sizeof(DWORD)) {
        std::memcpy(block.get(), &size, sizeof(DWORD));
    }
    return block;
}

// The record as WinINet lays it out for this bitness, which the listing's sizes count in.
static_assert(sizeof(INTERNET_CACHE_ENTRY_INFOA) == (sizeof(void*) == 4 ? 80 : 112));

INTERNET_CACHE_ENTRY_INFOA* EntryIn(const base::UniqueLocal& block) {
    return static_cast<INTERNET_CACHE_ENTRY_INFOA*>(block.get());
}

// One entry fetched into a block of the probed size. An entry that grew since the probe makes
// the fetch fail with ERROR_INSUFFICIENT_BUFFER and the size it needs now; the fetch is then made
// again with that size. Empty when the fetch fails otherwise (the end of the listing above all)
// or the allocation fails.
template <class Fetch> base::UniqueLocal FetchEntry(DWORD size, Fetch fetch) {
    for (;;) {
        base::UniqueLocal block = AllocateEntryBlock(size);
        const DWORD offered = size;
        if (!block || fetch(EntryIn(block), &size)) {
            return block;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= offered) {
            return {};
        }
    }
}

} // namespace

std::vector<Cache::ListedEntry> Cache::ListEntries(DWORD typeMask) {
    std::vector<ListedEntry> listed;

    // Probe without a block: the platform answers with the size that the first entry needs.
    // Any other answer (an empty cache above all) means there is nothing to list.
    DWORD size = 0;
    HANDLE probe = ::FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
    DWORD error = ::GetLastError();
    base::UniqueUrlCacheFind find(probe);
    if (find || error != ERROR_INSUFFICIENT_BUFFER) {
        return listed;
    }

    base::UniqueLocal block =
        FetchEntry(size, [&](INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* needed) {
            find.reset(::FindFirstUrlCacheEntryA(nullptr, entry, needed));
            return static_cast<bool>(find);
        });
    if (!block) {
        return listed;
    }

    for (;;) {
        // The source URL lies inside the block, so it is copied out while the block is held.
        const INTERNET_CACHE_ENTRY_INFOA* entry = EntryIn(block);
        if (entry->CacheEntryType & typeMask) {
            const char* name = entry->lpszSourceUrlName ? entry->lpszSourceUrlName : "";
            listed.push_back({name, PtrToString(name)});
        }
        block.reset();

        // Probe the next entry; a size left at 0 means there is none. What the probe returns
        // says nothing more: it fails both when a block is needed and at the end.
        size = 0;
        ::FindNextUrlCacheEntryA(find.get(), nullptr, &size);
        if (size == 0) {
            break;
        }
        block = FetchEntry(size, [&](INTERNET_CACHE_ENTRY_INFOA* entry, DWORD* needed) {
            return ::FindNextUrlCacheEntryA(find.get(), entry, needed) != FALSE;
        });
        if (!block) {
            break;
        }
    }
    return listed;
}

std::wstring Cache::PtrToString(const char* text) {
    if (!text) {
        return {};
    }
    return tools::FromAnsi(std::string_view(text, static_cast<size_t>(::lstrlenA(text))));
}

bool Cache::DeleteEntry(const std::string& name) {
    return ::DeleteUrlCacheEntryA(name.c_str()) != FALSE;
}

template <class Matches> void Cache::DeleteMatching(DWORD typeMask, Matches matches) {
    for (const ListedEntry& entry : ListEntries(typeMask)) {
        tools::PumpMessages();
        if (matches(entry.url)) {
            DeleteEntry(entry.name);
        }
    }
}

STDMETHODIMP Cache::DelCache(QKCACHE_TYPE eType, BSTR strURLPattern, VARIANT_BOOL bRegExp) {
    return Call([&] {
        const DWORD typeMask = static_cast<DWORD>(eType);
        const std::wstring_view pattern = base::BstrView(strURLPattern);
        if (pattern.empty()) {
            DeleteMatching(typeMask, [](const std::wstring&) { return true; });
        } else if (!bRegExp) {
            // The text that the escaped pattern would match: a substring, letters in any case
            // as the built-in engine compares them.
            const tools::LiteralSearch literal(pattern, true);
            DeleteMatching(typeMask, [&](const std::wstring& url) { return literal.FoundIn(url); });
        } else {
            // One expression serves the whole sweep, compiled before the cache is listed.
            tools::RegExp matcher(pattern, true, true, true);
            matcher.Compile();
            DeleteMatching(typeMask, [&](const std::wstring& url) { return matcher.Test(url); });
        }
    });
}

} // namespace cache
