// Direct access to the WinINet URL cache for the cache tests, the benchmark and the demo's
// seeding program: entries added with exactly the type bits wanted, looked up, listed and
// removed, all through the ANSI functions that the sweep itself uses.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testbed::urlcache {

// Adds an entry with this source URL (bytes in the system ANSI code page) and gives it exactly
// `type` as its type bits. Committing alone adds the bits that the entry's cache container gives
// every entry (the normal bit for web content), so the type is set once more after the commit.
// withFile: whether the entry gets a (empty) local file in the cache, as a download does; an
// entry without one is cheaper to make and to delete. Gives false when the platform refuses.
bool AddEntry(const std::string& url, DWORD type, bool withFile = true);

// Whether the cache holds an entry with this source URL.
bool HasEntry(const std::string& url);

// Deletes the entry with this source URL, if there is one.
void RemoveEntry(const std::string& url);

struct Entry {
    std::string url;
    DWORD type = 0;
};

// Every entry of the cache, in the order of enumeration.
std::vector<Entry> ListEntries();

} // namespace testbed::urlcache
