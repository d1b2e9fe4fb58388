// QKCache.DelCache against the real URL cache of the test prefix. Each test seeds entries under
// a host of its own and removes what is left of them afterwards. A sweep without a pattern
// takes every entry of the chosen types, so CTest runs these programs one at a time.
#include "testbed/urlcache/seeding.h"
#include "testbed/component_test.h"
#include "testbed/message_window.h"
#include "tools/ToolsRegExp.h"
#include "tools/ToolsString.h"

#include "ZUVezEradez3.h"

#include <wininet.h>

#include <algorithm>
#include <optional>
#include <thread>

namespace {

using testbed::urlcache::AddEntry;
using testbed::urlcache::HasEntry;
using namespace testbed;

class CacheTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        cache_ = CreateDispatch(CLSID_QKCache);
        static int serial = 0;
        host_ = "zu" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++serial) +
                ".test";
    }
    void TearDown() override {
        for (const std::string& url : seeded_) {
            testbed::urlcache::RemoveEntry(url);
        }
        cache_.reset();
        ComponentTest::TearDown();
    }

    // Seeds http://<this test's host>/<path> (path in ANSI bytes) with exactly these type bits.
    std::string Seed(const std::string& path, DWORD type = NORMAL_CACHE_ENTRY,
                     bool withFile = true) {
        std::string url = "http://" + host_ + "/" + path;
        seeded_.push_back(url);
        EXPECT_TRUE(AddEntry(url, type, withFile)) << "seeding " << url;
        return url;
    }

    // DelCache late-bound, with the arguments given in call order.
    CallOutcome Sweep(std::vector<VARIANT*> args = {}) {
        return Call(cache_.get(), L"DelCache", std::move(args));
    }
    CallOutcome Sweep(long type, const wchar_t* pattern, bool regExp) {
        auto t = Arg(type), p = Arg(pattern), r = ArgBool(regExp);
        return Sweep({&t, &p, &r});
    }
    // A sweep confined to this test's entries: a literal pattern of its host.
    CallOutcome SweepOwn(long type) {
        std::wstring host(host_.begin(), host_.end());
        return Sweep(type, host.c_str(), false);
    }

    ComPtr<IDispatch> cache_;
    std::string host_;

private:
    std::vector<std::string> seeded_;
};

TEST_F(CacheTest, NoArgumentsSweepsEveryNormalEntry) {
    std::string normal = Seed("page.html");
    std::string edited = Seed("edited.html", NORMAL_CACHE_ENTRY | EDITED_CACHE_ENTRY);
    std::string cookie = Seed("cookie", COOKIE_CACHE_ENTRY);

    CallOutcome outcome = Sweep();
    EXPECT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.vt, VT_EMPTY);
    EXPECT_FALSE(HasEntry(normal));
    EXPECT_FALSE(HasEntry(edited));
    EXPECT_TRUE(HasEntry(cookie));
}

TEST_F(CacheTest, TypeMaskSelectsEntriesWithAnyOfItsBits) {
    std::string normal = Seed("normal");
    std::string cookie = Seed("cookie", COOKIE_CACHE_ENTRY);
    std::string history = Seed("history", URLHISTORY_CACHE_ENTRY);
    std::string bit64 = Seed("bit64", 64);
    std::string winSticky = Seed("sticky", STICKY_CACHE_ENTRY);
    std::string untyped = Seed("untyped", 0);
    auto kept = [&] {
        std::vector<bool> state;
        for (const auto* url : {&normal, &cookie, &history, &bit64, &winSticky, &untyped}) {
            state.push_back(HasEntry(*url));
        }
        return state;
    };

    EXPECT_EQ(SweepOwn(CACHE_URL_FIND_DEFAULT_FILTER).hr, S_OK);
    EXPECT_EQ(kept(), std::vector<bool>({true, true, true, true, true, true}));

    EXPECT_EQ(SweepOwn(CACHE_NORMAL | CACHE_COOKIE).hr, S_OK);
    EXPECT_EQ(kept(), std::vector<bool>({false, false, true, true, true, true}));

    // CACHE_STICKY is 64, not WinINet's sticky bit 4.
    EXPECT_EQ(SweepOwn(CACHE_STICKY).hr, S_OK);
    EXPECT_EQ(kept(), std::vector<bool>({false, false, true, false, true, true}));

    // An entry without any type bit is never listed, not even with every bit asked for.
    EXPECT_EQ(SweepOwn(-1).hr, S_OK);
    EXPECT_EQ(kept(), std::vector<bool>({false, false, false, false, false, true}));
}

TEST_F(CacheTest, EmptyPatternSweepsEveryListedEntryWhateverTheFlag) {
    for (bool regExp : {false, true}) {
        std::string normal = Seed(regExp ? "a-regexp" : "a-literal");
        std::string cookie = Seed("cookie", COOKIE_CACHE_ENTRY);
        EXPECT_EQ(Sweep(CACHE_NORMAL, L"", regExp).hr, S_OK);
        EXPECT_FALSE(HasEntry(normal)) << regExp;
        EXPECT_TRUE(HasEntry(cookie)) << regExp;
    }
    // A null pattern is the empty text.
    std::string normal = Seed("b");
    auto type = Arg(CACHE_NORMAL), pattern = Arg(nullptr);
    EXPECT_EQ(Sweep({&type, &pattern}).hr, S_OK);
    EXPECT_FALSE(HasEntry(normal));
}

TEST_F(CacheTest, LiteralPatternIsASubstringInAnyCaseAndRegExpIsAnExpression) {
    std::string dot = Seed("x/a.b"), upper = Seed("x/A.B"), other = Seed("x/axb");
    std::string parens = Seed("x/f(1)[2].gif"), open = Seed("x/g(");

    // A literal is never compiled, so one that is no valid expression does not fail.
    EXPECT_EQ(Sweep(CACHE_NORMAL, L"g(", false).hr, S_OK);
    EXPECT_EQ(Sweep(CACHE_URL_FIND_DEFAULT_FILTER, L"(", false).hr, S_OK);
    EXPECT_FALSE(HasEntry(open));
    EXPECT_TRUE(HasEntry(parens));

    EXPECT_EQ(Sweep(CACHE_NORMAL, L"a.b", false).hr, S_OK);
    EXPECT_FALSE(HasEntry(dot));
    EXPECT_FALSE(HasEntry(upper));
    EXPECT_TRUE(HasEntry(other));

    EXPECT_EQ(Sweep(CACHE_NORMAL, L"(1)[2]", false).hr, S_OK);
    EXPECT_FALSE(HasEntry(parens));

    EXPECT_EQ(Sweep(CACHE_NORMAL, L"a.b", true).hr, S_OK);
    EXPECT_FALSE(HasEntry(other));
}

TEST_F(CacheTest, GifSuffixExpressionIgnoresCase) {
    std::vector<std::string> gifs = {Seed("a.gif"), Seed("B.GIF"), Seed("c.Gif")};
    std::vector<std::string> others = {Seed("d.gif?x=1"), Seed("gif"), Seed("e.gifs"),
                                       Seed("f.png")};
    EXPECT_EQ(Sweep(CACHE_NORMAL, L"\\.gif$", true).hr, S_OK);
    for (const std::string& url : gifs) {
        EXPECT_FALSE(HasEntry(url)) << url;
    }
    for (const std::string& url : others) {
        EXPECT_TRUE(HasEntry(url)) << url;
    }
}

TEST_F(CacheTest, MalformedExpressionFailsWhetherOrNotAnythingIsListed) {
    std::string first = Seed("first"), second = Seed("second");

    // Something listed, nothing listed: the same failure, with either engine.
    for (long type : {long{CACHE_NORMAL}, long{CACHE_URL_FIND_DEFAULT_FILTER}, 0x40000000L}) {
        CallOutcome failed = Sweep(type, L"(", true);
        EXPECT_EQ(failed.hr, DISP_E_EXCEPTION) << type;
        EXPECT_TRUE(FAILED(failed.scode));
        EXPECT_EQ(failed.source, L"ZUVezEradez3.QKCache");
    }
    EXPECT_TRUE(HasEntry(first));
    EXPECT_TRUE(HasEntry(second));

    // Without COM on the thread the platform's class cannot be created: the built-in engine.
    HRESULT hr = S_OK;
    std::thread([&] {
        ComPtr<_QKCache> cache;
        ASSERT_EQ(CreateComponentObject(CLSID_QKCache, IID__QKCache, cache.put_void()), S_OK);
        base::UniqueBstr pattern(L"(");
        hr = cache->DelCache(CACHE_URL_FIND_DEFAULT_FILTER, pattern.get(), VARIANT_TRUE);
    }).join();
    EXPECT_EQ(hr, tools::kRegExpSyntaxError);
}

TEST_F(CacheTest, LiteralLettersBeyondAsciiMatchInAnyCase) {
    // Words of the URL (seeded in the ANSI code page) and the literals that name them in other
    // case, letters folded as the built-in engine folds them: "\u00b5" is "\u039c" in any case.
    int swept = 0;
    for (const auto& [text, literal] :
         std::vector<std::pair<std::wstring, std::wstring>>{{L"caf\u00e9", L"CAF\u00c9"},
                                                            {L"\u00b5", L"\u039c"},
                                                            {L"\u03c9\u03bc", L"\u03a9\u039c"}}) {
        if (std::optional<std::string> ansi = tools::ToAnsiExactly(text)) {
            std::string url = Seed("x/" + *ansi + "/y", NORMAL_CACHE_ENTRY, false);
            EXPECT_EQ(Sweep(CACHE_NORMAL, (L"x/" + literal + L"/").c_str(), false).hr, S_OK);
            EXPECT_FALSE(HasEntry(url)) << url;
            ++swept;
        }
    }
    if (swept == 0) {
        GTEST_SKIP() << "code page " << ::GetACP() << " has none of the test words";
    }
}

TEST_F(CacheTest, ExpressionTooComplexForAUrlStopsTheSweepThere) {
    std::vector<std::string> easy;
    for (int a = 0; a < 6; ++a) {
        easy.push_back(Seed(std::string(static_cast<size_t>(a), 'a') + "c"));
    }
    // The URL that the expression cannot be tested against, named so that the enumeration lists
    // some of the others before it.
    std::vector<std::string> order;
    std::string hard;
    for (size_t b = 0; b < 20; ++b) {
        hard = Seed(std::string(40, 'a') + std::string(b, 'b'));
        order.clear();
        for (const auto& entry : testbed::urlcache::ListEntries()) {
            if (entry.url == hard || std::count(easy.begin(), easy.end(), entry.url)) {
                order.push_back(entry.url);
            }
        }
        if (order.front() != hard) {
            break;
        }
        testbed::urlcache::RemoveEntry(hard);
    }
    const auto hardAt = std::find(order.begin(), order.end(), hard);
    ASSERT_NE(hardAt, order.begin());

    // Without COM on the thread the platform's class cannot be created, as on Windows releases
    // without VBScript, so the built-in engine tests the URLs. The look-ahead makes it backtrack.
    HRESULT hr = S_OK;
    std::thread([&] {
        ComPtr<_QKCache> cache;
        ASSERT_EQ(CreateComponentObject(CLSID_QKCache, IID__QKCache, cache.put_void()), S_OK);
        const std::wstring host(host_.begin(), host_.end());
        base::UniqueBstr pattern(L"^http://" + tools::RegExpEscape(host) + L"/(?=.)(a|aa)*c$");
        hr = cache->DelCache(CACHE_NORMAL, pattern.get(), VARIANT_TRUE);
    }).join();

    EXPECT_EQ(hr, tools::kRegExpTooComplex);
    EXPECT_TRUE(HasEntry(hard));
    for (const std::string& url : easy) {
        const bool testedBefore = std::find(order.begin(), hardAt, url) != hardAt;
        EXPECT_EQ(HasEntry(url), !testedBefore) << url;
    }
}

TEST_F(CacheTest, EmptyCacheSucceedsAndLeavesNothingToDo) {
    for (const auto& entry : testbed::urlcache::ListEntries()) {
        testbed::urlcache::RemoveEntry(entry.url);
    }
    ASSERT_TRUE(testbed::urlcache::ListEntries().empty()) << "an entry of the prefix cannot go";

    EXPECT_EQ(Sweep().hr, S_OK);
    EXPECT_EQ(Sweep(-1, L"", false).hr, S_OK);
    EXPECT_EQ(Sweep(-1, L"(", false).hr, S_OK);
    EXPECT_EQ(Sweep(-1, L"(", true).hr, DISP_E_EXCEPTION);
}

// A word of the system ANSI code page beyond ASCII, so that the entry can be seeded through the
// ANSI functions: Chinese under code page 936, Latin letters with accents under 1252.
std::optional<std::pair<std::wstring, std::string>> NonAsciiWord() {
    for (const wchar_t* word : {L"\u7f13\u5b58", L"caf\u00e9", L"\u03a9\u03bc\u03ad\u03b3\u03b1"}) {
        if (std::optional<std::string> ansi = tools::ToAnsiExactly(word)) {
            return std::pair{std::wstring(word), *ansi};
        }
    }
    return std::nullopt;
}

TEST_F(CacheTest, NonAsciiUrlsMatchAndDeleteAsText) {
    auto word = NonAsciiWord();
    if (!word) {
        GTEST_SKIP() << "code page " << ::GetACP() << " has none of the test words";
    }
    // No local files: their names would carry the word into the host's file system, whose
    // encoding is not the point here.
    std::string literal = Seed("x/" + word->second + ".html", NORMAL_CACHE_ENTRY, false);
    std::string expression = Seed("y/" + word->second + "-2.html", NORMAL_CACHE_ENTRY, false);
    std::string plain = Seed("x/plain.html");

    EXPECT_EQ(Sweep(CACHE_NORMAL, (L"x/" + word->first).c_str(), false).hr, S_OK);
    EXPECT_FALSE(HasEntry(literal));
    EXPECT_TRUE(HasEntry(expression));

    // One character of the word stands for one character of the text, whatever its bytes.
    std::wstring pattern = L"/" + word->first.substr(0, 1) + L".*-\\d\\.html$";
    EXPECT_EQ(Sweep(CACHE_NORMAL, pattern.c_str(), true).hr, S_OK);
    EXPECT_FALSE(HasEntry(expression));
    EXPECT_TRUE(HasEntry(plain));
}

// Bytes of a URL that decoding from the ANSI code page and encoding again do not give back.
std::optional<std::string> BytesThatDoNotRoundTrip() {
    for (std::string candidate : {"\xFF", "\x81", "\x8D", "\x90", "\xA0\xFF", "\x80\x7F"}) {
        if (tools::ToAnsi(tools::FromAnsi(candidate)) != candidate) {
            return candidate;
        }
    }
    return std::nullopt;
}

TEST_F(CacheTest, UrlWhoseBytesTheCodePageDoesNotMapIsStillDeleted) {
    auto odd = BytesThatDoNotRoundTrip();
    if (!odd) {
        GTEST_SKIP() << "code page " << ::GetACP() << " maps every candidate both ways";
    }
    std::string url = Seed("odd/" + *odd + ".html", NORMAL_CACHE_ENTRY, false);
    ASSERT_TRUE(HasEntry(url));
    EXPECT_EQ(
        Sweep(CACHE_NORMAL, (std::wstring(host_.begin(), host_.end()) + L"/odd/").c_str(), false)
            .hr,
        S_OK);
    EXPECT_FALSE(HasEntry(url));
}

TEST_F(CacheTest, EntryThatCannotBeDeletedIsPassedOver) {
    std::string locked = Seed("locked.html"), free = Seed("free.html");
    // Retrieving an entry's file locks the entry until it is unlocked.
    DWORD size = 0;
    ::RetrieveUrlCacheEntryFileA(locked.c_str(), nullptr, &size, 0);
    std::vector<char> info(size);
    ASSERT_TRUE(::RetrieveUrlCacheEntryFileA(
        locked.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(info.data()), &size, 0));

    EXPECT_EQ(SweepOwn(CACHE_NORMAL).hr, S_OK);
    EXPECT_TRUE(HasEntry(locked));
    EXPECT_FALSE(HasEntry(free));
    ::UnlockUrlCacheEntryFileA(locked.c_str(), 0);
}

// What the window below saw while a sweep pumped its messages.
struct PumpProbe {
    IDispatch* cache = nullptr;
    std::vector<std::string> listed;
    std::wstring nestedPattern;
    bool ran = false;
    bool listedWereThere = false;
    HRESULT nested = E_FAIL;
} probe;

LRESULT CALLBACK ProbeWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    probe.ran = true;
    probe.listedWereThere = HasEntry(probe.listed[0]) && HasEntry(probe.listed[1]);
    // The host calls the same object again from its message handler.
    auto type = Arg(CACHE_NORMAL), pattern = Arg(probe.nestedPattern.c_str());
    probe.nested = Call(probe.cache, L"DelCache", {&type, &pattern}).hr;
    return 0;
}

TEST_F(CacheTest, MessagesArePumpedBeforeEachUrlAndTheHostMayCallAgain) {
    const MessageWindow window(L"ZuCacheProbe", ProbeWindow);
    ASSERT_NE(window.get(), nullptr);
    const std::wstring host(host_.begin(), host_.end());

    // With a pattern and without one. The outer sweep lists both entries; the nested one
    // deletes the second first, and the outer sweep's own deletion of it then fails without a
    // report.
    for (const std::wstring& pattern : {host, std::wstring()}) {
        std::string first = Seed("first"), second = Seed("second");
        probe = PumpProbe{cache_.get(), {first, second}, host + L"/second"};
        ::PostMessageW(window.get(), WM_APP, 0, 0);

        EXPECT_EQ(Sweep(CACHE_NORMAL, pattern.c_str(), false).hr, S_OK);
        EXPECT_TRUE(probe.ran);
        EXPECT_TRUE(probe.listedWereThere) << "the pump runs before the first URL is handled";
        EXPECT_EQ(probe.nested, S_OK);
        EXPECT_FALSE(HasEntry(first));
        EXPECT_FALSE(HasEntry(second));
    }
}

} // namespace
