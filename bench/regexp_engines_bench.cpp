// The regular-expression engines side by side on the cache sweep's work: 20,000 URLs tested
// against one pattern, by the platform's "VBScript.RegExp" with a new object per URL (the
// per-call RegExpTest), by one reused platform object, and by one reused built-in engine.
// Printed: microseconds per URL and each figure's ratio to the per-call platform test.
#include "tools/Error.h"
#include "tools/ToolsRegExp.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::wstring> Urls() {
    std::vector<std::wstring> urls;
    for (int i = 0; i < 20000; ++i) {
        std::wstring url = L"http://cdn" + std::to_wstring(i % 7) + L".example.com/static/" +
                           std::wstring(static_cast<size_t>(20 + i % 60), L'a' + i % 26) +
                           L"/item" + std::to_wstring(i);
        url += i % 2 ? L".gif" : L".png?v=" + std::to_wstring(i);
        urls.push_back(std::move(url));
    }
    return urls;
}

// Microseconds per URL of test(url), and how many URLs matched.
std::pair<double, int> PerUrl(const std::vector<std::wstring>& urls,
                              const std::function<bool(const std::wstring&)>& test) {
    int matched = 0;
    const auto start = Clock::now();
    for (const std::wstring& url : urls) {
        matched += test(url) ? 1 : 0;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {seconds * 1e6 / static_cast<double>(urls.size()), matched};
}

} // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
        const std::vector<std::wstring> urls = Urls();
        std::printf("Regular expressions on 20,000 URLs (%d-bit), microseconds per URL\n",
                    static_cast<int>(sizeof(void*) * 8));
        const bool platform = tools::CreateRegExp().Get() != nullptr;
        for (const wchar_t* pattern : {L"\\.gif$", L"^http://cdn[0-3]\\.example\\.com/.*/item1"}) {
            double perCall = 0;
            std::printf("  pattern %ls\n", pattern);
            if (platform) {
                auto [time, matched] = PerUrl(urls, [&](const std::wstring& url) {
                    return tools::RegExpTest(url, pattern, true, true, true);
                });
                perCall = time;
                std::printf("    platform, new object per URL  %8.2f  ratio 1.000  (%d matched)\n",
                            time, matched);
                tools::RegExp reused(pattern, true, true, true);
                std::tie(time, matched) =
                    PerUrl(urls, [&](const std::wstring& url) { return reused.Test(url); });
                std::printf("    platform, one object          %8.2f  ratio %.3f  (%d matched)\n",
                            time, time / perCall, matched);
            }
            tools::RegExp builtIn(pattern, true, true, true, tools::RegExpEngine::BuiltIn);
            auto [time, matched] =
                PerUrl(urls, [&](const std::wstring& url) { return builtIn.Test(url); });
            std::printf("    built-in engine, one object   %8.2f  ratio %.3f  (%d matched)\n", time,
                        perCall > 0 ? time / perCall : 0.0, matched);
        }
    } catch (const tools::Error& error) {
        std::fprintf(stderr, "regexp_engines_bench: %ls (0x%08lX)\n", error.description().c_str(),
                     static_cast<unsigned long>(error.hr()));
        return 1;
    }
    CoUninitialize();
    return 0;
}
