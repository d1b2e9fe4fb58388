/*
 * QKCache: sweeps the WinINet URL cache. DelCache lists the entries whose type has any of the
 * requested type bits, then deletes those whose source URL matches a literal or regular
 * expression pattern. The class keeps no state.
 *
 * Decisions the code cannot show by itself:
 * - The listing is complete and its enumeration handle closed before the first deletion, so a
 *   deletion never disturbs the enumeration that found it.
 * - Each entry is fetched into a block of exactly the size that a probe reports, and one block
 *   is held at a time. The source URL lies inside the block, so it is copied out (and decoded
 *   from the ANSI code page) before the block goes.
 * - A regular expression is compiled once per sweep, before the cache is listed, and every URL
 *   is tested against that one object: a malformed expression fails the sweep before anything is
 *   listed or deleted, whether or not the cache holds entries of the chosen types. A literal
 *   pattern is not compiled at all: a substring search, letters in any case, answers it, which
 *   is what its escaped form would match; it never fails.
 * - Each listed entry keeps its source URL name as the cache stored it, and the deletion uses
 *   those bytes: a name that does not survive decoding from the ANSI code page and encoding
 *   again (bytes that the code page does not map) is still deleted when its text matches.
 * - The calling thread's message queue is pumped before each listed URL, so that a host with a
 *   window stays responsive during a long sweep; the host may call in again meanwhile, and an
 *   entry that a nested sweep deleted first merely fails to delete here, which is passed over.
 */
#pragma once

#include "component/framework/dispatch.h"

#include "ZUVezEradez3.h"

#include <windows.h>

#include <string>
#include <vector>

namespace cache {

class Cache final : public component::DispatchObject<Cache, _QKCache> {
public:
    STDMETHODIMP DelCache(QKCACHE_TYPE eType, BSTR strURLPattern, VARIANT_BOOL bRegExp) override;

private:
    struct ListedEntry {
        std::string name; // the source URL name as the cache holds it (ANSI bytes)
        std::wstring url; // the same, decoded, for matching
    };

    // The cache entries whose type has any bit of typeMask, in the order of enumeration. An
    // empty cache or a failing enumeration gives an empty or shortened list; nothing is thrown
    // for it.
    static std::vector<ListedEntry> ListEntries(DWORD typeMask);

    // The NUL-terminated string at text, in the system ANSI code page, as text. A null pointer
    // is the empty text.
    static std::wstring PtrToString(const char* text);

    // Deletes the entry with this source URL name; true when the platform reports success.
    static bool DeleteEntry(const std::string& name);

    // Lists the entries whose type has any bit of typeMask, then, pumping messages before each,
    // deletes those whose source URL matches (matches(url) is true).
    template <class Matches> static void DeleteMatching(DWORD typeMask, Matches matches);
};

} // namespace cache
