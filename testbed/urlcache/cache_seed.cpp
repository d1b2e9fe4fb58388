// Seeds and shows URL-cache entries for the cache-sweep demo.
//   cache_seed seed N host   adds N entries under http://host/ (six kinds, in turn)
//   cache_seed list host     prints the type bits and URL of each entry whose URL contains host
//   cache_seed clear host    deletes those entries
#include "testbed/urlcache/seeding.h"

#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

namespace {

struct Kind {
    const char* path; // %d stands for the entry's number
    DWORD type;
};

// Pictures in either letter case, pages, scripts and pixels under /ads/, and cookie-type
// entries that a sweep of normal entries leaves alone.
constexpr Kind kKinds[] = {
    {"img/photo%d.gif", NORMAL_CACHE_ENTRY}, {"img/icon%d.GIF", NORMAL_CACHE_ENTRY},
    {"page%d.html", NORMAL_CACHE_ENTRY},     {"ads/banner%d.js", NORMAL_CACHE_ENTRY},
    {"ads/pixel%d.gif", NORMAL_CACHE_ENTRY}, {"session%d", COOKIE_CACHE_ENTRY},
};

int Seed(int count, const std::string& host) {
    for (int i = 0; i < count; ++i) {
        const Kind& kind = kKinds[i % std::size(kKinds)];
        char path[64];
        std::snprintf(path, sizeof(path), kind.path, i + 1);
        std::string url = "http://" + host + "/" + path;
        if (!testbed::urlcache::AddEntry(url, kind.type)) {
            std::fprintf(stderr, "cache_seed: cannot add %s (error %lu)\n", url.c_str(),
                         ::GetLastError());
            return 1;
        }
    }
    std::printf("Seeded %d entries under http://%s/\n", count, host.c_str());
    return 0;
}

int List(const std::string& host) {
    int shown = 0;
    for (const auto& entry : testbed::urlcache::ListEntries()) {
        if (entry.url.find(host) != std::string::npos) {
            std::printf("  %08lx  %s\n", entry.type, entry.url.c_str());
            ++shown;
        }
    }
    std::printf("%d entries under %s\n", shown, host.c_str());
    return 0;
}

int Clear(const std::string& host) {
    for (const auto& entry : testbed::urlcache::ListEntries()) {
        if (entry.url.find(host) != std::string::npos) {
            testbed::urlcache::RemoveEntry(entry.url);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "seed" && argc == 4) {
        return Seed(std::atoi(argv[2]), argv[3]);
    }
    if (command == "list" && argc == 3) {
        return List(argv[2]);
    }
    if (command == "clear" && argc == 3) {
        return Clear(argv[2]);
    }
    std::fprintf(stderr, "usage: cache_seed seed N host | list host | clear host\n");
    return 2;
}
