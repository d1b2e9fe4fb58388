// QKCache.DelCache on 4,000 URL-cache entries, half of them matching, against the platform's
// floor: a plain loop that enumerates the cache with the same calls (a probe, then a block of
// exactly the size asked for, one entry at a time) and deletes the same entries without
// matching anything. A literal sweep and a regular-expression sweep are each run with the
// platform's class at hand and out of reach (on the built-in engine that stands in for it), and
// each is set against the floors measured just before and after it. Printed last: what a new
// regular-expression object per URL would add, from the two kinds of test timed side by side
// over the same URL texts.
//
// The entries have no local files, so that deleting them costs the index work alone and the
// matching weighs as much as it can. Under Wine each enumeration call costs a fraction of a
// millisecond and varies with the machine's load, so the ratios of one run carry some noise.
// The component is loaded from beside this program.
#include "base/Owners.h"
#include "testbed/apartment.h"
#include "testbed/component.h"
#include "testbed/urlcache/seeding.h"
#include "tools/ToolsRegExp.h"
#include "tools/ToolsString.h"

#include "ZUVezEradez3.h"

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

// The number of entries seeded (a different count may be given on the command line for a quick
// look), and how many times each sweep is measured. Under Wine the cost of enumerating grows as
// a run deletes and seeds entries again, so a run is kept short.
constexpr int kEntries = 4000;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

double SecondsOf(const std::function<void()>& work) {
    auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor: enumerates the whole cache as the sweep must (probe, exact block, fill), keeping
// the source URL of each entry that is to go, then deletes those in the order of enumeration.
// Which entries go is known from the seeding; nothing is matched.
void NativeSweep(const std::unordered_set<std::string>& doomed) {
    std::vector<std::string> listed;
    DWORD size = 0;
    HANDLE probe = ::FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
    DWORD error = ::GetLastError();
    base::UniqueUrlCacheFind find(probe);
    if (find || error != ERROR_INSUFFICIENT_BUFFER) {
        return;
    }
    base::UniqueLocal block(::LocalAlloc(LMEM_FIXED, size));
    auto entry = [&] { return static_cast<INTERNET_CACHE_ENTRY_INFOA*>(block.get()); };
    if (!block) {
        return;
    }
    entry()->dwStructSize = size;
    find.reset(::FindFirstUrlCacheEntryA(nullptr, entry(), &size));
    while (find) {
        if (doomed.count(entry()->lpszSourceUrlName)) {
            listed.emplace_back(entry()->lpszSourceUrlName);
        }
        block.reset();
        size = 0;
        ::FindNextUrlCacheEntryA(find.get(), nullptr, &size);
        if (size == 0) {
            break;
        }
        block.reset(::LocalAlloc(LMEM_FIXED, size));
        if (!block) {
            break;
        }
        entry()->dwStructSize = size;
        if (!::FindNextUrlCacheEntryA(find.get(), entry(), &size)) {
            break;
        }
    }
    find.reset();
    for (const std::string& url : listed) {
        ::DeleteUrlCacheEntryA(url.c_str());
    }
}

struct Seeded {
    std::vector<std::string> matching;
    std::vector<std::string> other;
    bool matchingThere = false;

    static bool Add(const std::vector<std::string>& urls) {
        // Committing is enough here: a web-content entry is a normal one anyway.
        FILETIME never{};
        for (const std::string& url : urls) {
            if (!::CommitUrlCacheEntryA(url.c_str(), nullptr, never, never, NORMAL_CACHE_ENTRY,
                                        nullptr, 0, nullptr, nullptr)) {
                std::printf("cannot seed %s (error %lu)\n", url.c_str(), ::GetLastError());
                return false;
            }
        }
        return true;
    }
    // Puts back the matching entries that the last sweep deleted.
    bool Restore() {
        matchingThere = matchingThere || Add(matching);
        return matchingThere;
    }
    // After a sweep: every matching entry gone, every other one kept (checked on a sample).
    bool SweptRight() {
        matchingThere = false;
        for (size_t i = 0; i < matching.size(); i += 97) {
            if (testbed::urlcache::HasEntry(matching[i]) ||
                !testbed::urlcache::HasEntry(other[i])) {
                std::printf("the sweep did not delete exactly the matching entries\n");
                matchingThere = true;
                return false;
            }
        }
        return true;
    }
    ~Seeded() {
        for (const std::string& url : other) {
            testbed::urlcache::RemoveEntry(url);
        }
        for (size_t i = 0; matchingThere && i < matching.size(); ++i) {
            testbed::urlcache::RemoveEntry(matching[i]);
        }
    }
};

// What a sweep spends more when it makes a new regular-expression object for every URL instead
// of testing every URL against one compiled object: the two kinds of test timed over a sample of
// the URLs, the difference scaled to all of them.
double ObjectPerUrlExtra(const std::vector<std::wstring>& urls, const std::wstring& expression) {
    constexpr size_t kStep = 10;
    double perUrl = SecondsOf([&] {
        for (size_t i = 0; i < urls.size(); i += kStep) {
            tools::RegExpTest(urls[i], expression, true, true, true);
        }
    });
    double once = SecondsOf([&] {
        tools::RegExp matcher(expression, true, true, true);
        for (size_t i = 0; i < urls.size(); i += kStep) {
            matcher.Test(urls[i]);
        }
    });
    return (perUrl - once) * static_cast<double>(kStep);
}

// Seconds that matching alone takes over all the URLs, by matches(url), and how many matched.
template <class Matches>
std::pair<double, int> MatchingSeconds(const std::vector<std::wstring>& urls, Matches matches) {
    int matched = 0;
    const double seconds = SecondsOf([&] {
        for (const std::wstring& url : urls) {
            matched += matches(url) ? 1 : 0;
        }
    });
    return {seconds, matched};
}

// The middle value of values.
double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Run(int entries) {
    auto createCache = [] { return testbed::CreateComponent<_QKCache>(CLSID_QKCache); };
    base::ComPtr<_QKCache> cache = createCache();
    if (!cache) {
        std::printf("cannot create ZUVezEradez3.QKCache from the module beside this program\n");
        return 1;
    }
    const std::string host = "zubench" + std::to_string(::GetCurrentProcessId()) + ".test";
    Seeded seeded;
    std::vector<std::wstring> texts;
    for (int i = 0; i < entries; ++i) {
        std::string url =
            "http://" + host + (i % 2 ? "/match/" : "/other/") + std::to_string(i) + ".gif";
        texts.push_back(tools::FromAnsi(url));
        (i % 2 ? seeded.matching : seeded.other).push_back(std::move(url));
    }
    double seeding = SecondsOf([&] {
        if (Seeded::Add(seeded.other)) {
            seeded.Restore();
        }
    });
    if (!seeded.matchingThere) {
        return 1;
    }

    struct Sweep {
        const char* what;
        const wchar_t* pattern;
        bool regExp;
        bool classRemoved; // on a thread where the platform's class cannot be created
        std::vector<double> ratios;
    };
    const wchar_t* literalPattern = L"/Match/";
    const wchar_t* regexPattern = L"/ma[a-z]ch/\\d+\\.gif$";
    std::vector<Sweep> sweeps = {
        {"literal", literalPattern, false, false, {}},
        {"literal without VBScript.RegExp", literalPattern, false, true, {}},
        {"regex", regexPattern, true, false, {}},
        {"regex without VBScript.RegExp (built-in engine)", regexPattern, true, true, {}},
    };
    auto sweep = [&](const Sweep& s, double& seconds) {
        if (!seeded.Restore()) {
            return false;
        }
        base::UniqueBstr pattern(s.pattern);
        HRESULT hr = E_FAIL;
        auto run = [&](_QKCache* object) {
            seconds = SecondsOf([&] {
                hr = object->DelCache(CACHE_NORMAL, pattern.get(),
                                      s.regExp ? VARIANT_TRUE : VARIANT_FALSE);
            });
        };
        if (s.classRemoved) {
            // Without COM on the thread "VBScript.RegExp" cannot be created, as on Windows
            // releases without VBScript: an expression runs on the built-in engine.
            std::thread([&] { run(createCache().get()); }).join();
        } else {
            run(cache.get());
        }
        if (FAILED(hr)) {
            std::printf("DelCache failed: 0x%08lx\n", static_cast<unsigned long>(hr));
            return false;
        }
        return seeded.SweptRight();
    };
    const std::unordered_set<std::string> doomed(seeded.matching.begin(), seeded.matching.end());
    std::vector<double> floors;
    auto nativeSweep = [&] {
        if (!seeded.Restore()) {
            return false;
        }
        floors.push_back(SecondsOf([&] { NativeSweep(doomed); }));
        return seeded.SweptRight();
    };
    // Each sweep is set against the floors measured just before and just after it, so that a
    // drift of the machine's load, or of the cache's own state over the run, weighs on both
    // sides alike; the rounds give the spread.
    if (!nativeSweep()) {
        return 1;
    }
    for (int round = 0; round < kRounds; ++round) {
        for (Sweep& s : sweeps) {
            double seconds = 0;
            if (!sweep(s, seconds) || !nativeSweep()) {
                return 1;
            }
            const double floor = (floors[floors.size() - 2] + floors.back()) / 2;
            s.ratios.push_back(seconds / floor);
        }
    }

    std::printf("URL-cache sweep of %d entries, %zu of them matching, %d-bit, %d rounds\n", entries,
                seeded.matching.size(), static_cast<int>(sizeof(void*) * 8), kRounds);
    std::printf("  seeding                                   %6.2f s\n", seeding);
    std::printf("  native enumerate + delete (the floor)     %6.2f s median\n", Median(floors));
    std::printf("  DelCache, ratio to the floor around it (median, lowest, highest):\n");
    for (const Sweep& s : sweeps) {
        std::printf("    %-48s %-24ls %5.2f  %5.2f  %5.2f\n", s.what, s.pattern, Median(s.ratios),
                    *std::min_element(s.ratios.begin(), s.ratios.end()),
                    *std::max_element(s.ratios.begin(), s.ratios.end()));
    }
    std::printf("  a new regular-expression object per URL would add %.2f of the floor to the "
                "regex sweep\n",
                ObjectPerUrlExtra(texts, regexPattern) / Median(floors));

    // The matching alone, which is all that a sweep adds to the floor but for the message pump
    // and the decoding of each URL: share of the floor, and microseconds per URL.
    const tools::LiteralSearch literal(literalPattern, true);
    tools::RegExp escapedBuiltIn(tools::RegExpEscape(literalPattern), true, true, true,
                                 tools::RegExpEngine::BuiltIn);
    tools::RegExp escapedPlatform(tools::RegExpEscape(literalPattern), true, true, true);
    tools::RegExp regexBuiltIn(regexPattern, true, true, true, tools::RegExpEngine::BuiltIn);
    const std::vector<std::pair<const char*, std::pair<double, int>>> matching = {
        {"literal, substring search",
         MatchingSeconds(texts, [&](const std::wstring& url) { return literal.FoundIn(url); })},
        {"literal escaped, built-in engine",
         MatchingSeconds(texts, [&](const std::wstring& url) { return escapedBuiltIn.Test(url); })},
        {"literal escaped, platform class if present",
         MatchingSeconds(texts,
                         [&](const std::wstring& url) { return escapedPlatform.Test(url); })},
        {"regex, built-in engine",
         MatchingSeconds(texts, [&](const std::wstring& url) { return regexBuiltIn.Test(url); })},
    };
    std::printf("  matching alone, share of the floor, microseconds per URL, URLs matched:\n");
    for (const auto& [what, outcome] : matching) {
        std::printf("    %-48s %8.5f  %7.3f  %d\n", what, outcome.first / Median(floors),
                    outcome.first * 1e6 / static_cast<double>(entries), outcome.second);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int entries = argc > 1 ? std::atoi(argv[1]) : kEntries;
    if (entries < 2) {
        std::printf("usage: cache_sweep_bench [entries, at least 2]\n");
        return 2;
    }
    const testbed::Apartment apartment;
    if (FAILED(apartment.entered())) {
        return 1;
    }
    return Run(entries);
}
