// The regular-expression engines side by side on the cache sweep's work: 20,000 URLs tested
// against one pattern, by the platform's "VBScript.RegExp" with a new object per URL (the
// per-call RegExpTest), by one reused platform object, and by one reused built-in engine.
// Printed: microseconds per URL and the built-in engine's ratio to each platform figure.
//
// Then the built-in engine on hostile input: patterns that backtrack exponentially, a 64 KB
// pattern of classes (time and memory to compile), deep nesting, counted repetitions, 64 KB
// patterns and URLs of 100,000 characters. Each is timed from compiling to the answer, and the
// worst of them is printed last: the longest that a sweep can spend on one URL.
#include "base/Error.h"
#include "base/Owners.h"
#include "testbed/apartment.h"
#include "tools/ToolsRegExpEngine.h"
#include "tools/ToolsRegExp.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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
    const double ms = MillisecondsOf([&] {
        for (const std::wstring& url : urls) {
            matched += test(url) ? 1 : 0;
        }
    });
    return {ms * 1e3 / static_cast<double>(urls.size()), matched};
}

void CompareEngines() {
    const std::vector<std::wstring> urls = Urls();
    std::printf("Regular expressions on 20,000 URLs (%d-bit), microseconds per URL\n",
                static_cast<int>(sizeof(void*) * 8));
    const bool platform = tools::CreateRegExp().get() != nullptr;
    for (const wchar_t* pattern : {L"\\.gif$", L"^http://cdn[0-3]\\.example\\.com/.*/item1",
                                   L"/static/[a-z]+/item\\d+\\.png", L"(ad|track|pixel)s?[./]",
                                   L"^http://cdn(\\d)\\.example\\.com/.*\\1\\.gif$"}) {
        std::printf("  pattern %ls\n", pattern);
        double perCall = 0;
        double reusedPlatform = 0;
        if (platform) {
            auto [time, matched] = PerUrl(urls, [&](const std::wstring& url) {
                return tools::RegExpTest(url, pattern, true, true, true);
            });
            perCall = time;
            std::printf("    platform, new object per URL  %8.3f  (%d matched)\n", time, matched);
            tools::RegExp reused(pattern, true, true, true);
            std::tie(time, matched) =
                PerUrl(urls, [&](const std::wstring& url) { return reused.Test(url); });
            reusedPlatform = time;
            std::printf("    platform, one object          %8.3f  (%d matched)\n", time, matched);
        }
        tools::RegExp builtIn(pattern, true, true, true, tools::RegExpEngine::BuiltIn);
        auto [time, matched] =
            PerUrl(urls, [&](const std::wstring& url) { return builtIn.Test(url); });
        std::printf(
            "    built-in engine, one object   %8.3f  (%d matched)  ratio to the platform's "
            "one object %.3f, to its object per URL %.3f\n",
            time, matched, reusedPlatform > 0 ? time / reusedPlatform : 0.0,
            perCall > 0 ? time / perCall : 0.0);
    }
}

// The peak of the process's private bytes so far.
size_t PeakPrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakPagefileUsage;
}

// The longest that TimeTest has measured, and what took it.
double worstMs = 0;
std::wstring worstWhat;

// Times one built-in test, from compiling the pattern to the answer, and says how it ended.
void TimeTest(const std::wstring& what, const std::wstring& pattern, const std::wstring& subject) {
    std::string outcome;
    const double ms = MillisecondsOf([&] {
        try {
            outcome =
                tools::BuiltInRegExp(pattern, true, true).Search(subject) ? "matches" : "no match";
        } catch (const base::Error& error) {
            char code[32];
            std::snprintf(code, sizeof(code), "error 0x%08lX",
                          static_cast<unsigned long>(error.hr()));
            outcome = code;
        }
    });
    std::printf("  %-52ls %9.2f ms  %s\n", what.c_str(), ms, outcome.c_str());
    if (ms > worstMs) {
        worstMs = ms;
        worstWhat = what;
    }
}

std::wstring Repeated(const std::wstring& part, size_t times) {
    std::wstring text;
    text.reserve(part.size() * times);
    for (size_t i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

// Counted repetitions, patterns of 64 KB and URLs of 100,000 characters: each must end, with its
// answer or with 0x80070718 (too complex), well within the time that a sweep may spend on a URL.
void AdversarialInput() {
    std::printf("Built-in engine on adversarial patterns and URLs (%d-bit)\n",
                static_cast<int>(sizeof(void*) * 8));
    const std::wstring host = L"http://e.com/";
    const std::wstring aUrl = host + std::wstring(100000 - host.size(), L'a');
    const std::wstring a100k(100000, L'a');
    const std::wstring a21845(21845, L'a');
    constexpr size_t k64 = 65536;
    TimeTest(L"a{100000} against 100,000 \"a\"", L"a{100000}", a100k);
    TimeTest(L"a{99989}$ against a URL of 100,000", L"a{99989}$", aUrl);
    TimeTest(L"a{0,50000}b against it", L"a{0,50000}b", aUrl);
    TimeTest(L".{99999}x against it", L".{99999}x", aUrl);
    TimeTest(L"(?:a{1000}){99} against it", L"(?:a{1000}){99}", aUrl);
    TimeTest(L"(?:a|b){30000} against it", L"(?:a|b){30000}", aUrl);
    TimeTest(L"[a] x 21845 (64 KB) against 21,845 \"a\"", Repeated(L"[a]", k64 / 3), a21845);
    TimeTest(L"[a] x 21845 (64 KB) against a URL of 100,000", Repeated(L"[a]", k64 / 3), aUrl);
    TimeTest(L"[ab] x 16384 (64 KB) against it", Repeated(L"[ab]", k64 / 4), aUrl);
    TimeTest(L"a x 65535 then b (64 KB) against it", std::wstring(k64 - 1, L'a') + L"b", aUrl);
    TimeTest(L"a{9}b x 13107 (64 KB) against it", Repeated(L"a{9}b", k64 / 5), aUrl);
    TimeTest(L"a| x 32767 then b (64 KB) against it", Repeated(L"a|", k64 / 2 - 1) + L"b", aUrl);
    TimeTest(L"(?:a?) x 13107 then b (64 KB) against it", Repeated(L"(?:a?)", k64 / 6) + L"b",
             aUrl);
    TimeTest(L"(a)\\1{0,3} x 7281 (64 KB) against it (backtracking)",
             L"(a)" + Repeated(L"\\1{0,3}", k64 / 9), aUrl);
    std::printf("  worst: %.2f ms per URL (%ls)\n", worstMs, worstWhat.c_str());
}

void HostileInput() {
    std::printf("Built-in engine on hostile input (%d-bit)\n", static_cast<int>(sizeof(void*) * 8));

    // First, while the process's peak is still low: the 64 KB pattern of classes.
    std::wstring classes;
    while (classes.size() + 3 <= 65536) {
        classes += L"[a]";
    }
    const size_t peakBefore = PeakPrivateBytes();
    std::unique_ptr<tools::BuiltInRegExp> compiled;
    const double ms = MillisecondsOf(
        [&] { compiled = std::make_unique<tools::BuiltInRegExp>(classes, true, true); });
    std::printf(
        "  compile %zu x [a] (64 KB)                   %9.2f ms  peak memory %.1f MB higher\n",
        classes.size() / 3, ms, static_cast<double>(PeakPrivateBytes() - peakBefore) / 1048576.0);
    compiled.reset();

    const std::wstring a26(26, L'a'), a30(30, L'a'), a40(40, L'a');
    TimeTest(L"(a+)+b against 26 \"a\"", L"(a+)+b", a26);
    TimeTest(L"(a+)+b against 30 \"a\"", L"(a+)+b", a30);
    TimeTest(L"(a|aa)*c against 40 \"a\"", L"(a|aa)*c", a40);
    TimeTest(L"(a+)+b\\1 against 30 \"a\" (backtracking)", L"(a+)+b\\1", a30);
    TimeTest(L"(?=a)(a|aa)*c against 40 \"a\" (backtracking)", L"(?=a)(a|aa)*c", a40);

    std::wstring nested;
    for (int i = 0; i < 500; ++i) {
        nested += L"(";
    }
    nested += L"a" + std::wstring(500, L')') + L"+b";
    TimeTest(L"500 nested groups", nested, L"http://example.com/aab");

    const std::wstring longUrl = L"http://example.com/" + std::wstring(100000, L'a') + L".gif";
    TimeTest(L"\\.gif$ against a 100,000-character URL", L"\\.gif$", longUrl);
    TimeTest(L"(a|b)*\\.png$ against it", L"(a|b)*\\.png$", longUrl);
    TimeTest(L"/(a)\\1+\\.gif$ against it (backtracking)", L"/(a)\\1+\\.gif$", longUrl);
    TimeTest(L"(a)\\1*x against it (backtracking, quadratic)", L"(a)\\1*x", longUrl);
}

} // namespace

// With an argument, only the part that it names: hostile, adversarial or engines.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const testbed::Apartment apartment;
    try {
        if (only.empty() || only == "hostile") {
            HostileInput();
        }
        if (only.empty() || only == "adversarial") {
            AdversarialInput();
        }
        if (only.empty() || only == "engines") {
            CompareEngines();
        }
    } catch (const base::Error& error) {
        std::fprintf(stderr, "regexp_engines_bench: %ls (0x%08lX)\n", error.description().c_str(),
                     static_cast<unsigned long>(error.hr()));
        return 1;
    }
    return 0;
}
