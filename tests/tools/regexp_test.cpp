#include "tools/ToolsRegExp.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "tools/ToolsRegExpEngine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using tools::RegExpEngine;

TEST(RegExpEscape, EscapesExactlyTheListedCharacters) {
    EXPECT_EQ(tools::RegExpEscape(L""), L"");
    EXPECT_EQ(tools::RegExpEscape(L"a.b"), L"a\\.b");
    EXPECT_EQ(tools::RegExpEscape(L"(x)"), L"\\(x\\)");
    EXPECT_EQ(tools::RegExpEscape(L"C:\\d"), L"C\\:\\\\d");
    EXPECT_EQ(tools::RegExpEscape(L"$$"), L"\\$\\$");
    EXPECT_EQ(tools::RegExpEscape(L"\\"), L"\\\\");
    EXPECT_EQ(tools::RegExpEscape(L"x-y/z #1 %20 &'\"\t\u5bbd"), L"x-y/z #1 %20 &'\"\t\u5bbd");
    // Every code unit on its own: the listed ones, and no other, come out after a backslash.
    std::wstring escaped; // in the order of their code units
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const std::wstring c(1, static_cast<wchar_t>(code));
        const std::wstring result = tools::RegExpEscape(c);
        if (result != c) {
            EXPECT_EQ(result, L"\\" + c) << "code unit " << code;
            escaped += c;
        }
    }
    EXPECT_EQ(escaped, L"!$()*+.:<=>?[\\]^{|}");
}

// The cases that callers rely on, run on the platform class (where it can be created) and on
// the built-in engine alike.
class BothEngines : public ::testing::TestWithParam<RegExpEngine> {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (GetParam() == RegExpEngine::Automatic && !tools::CreateRegExp()) {
            GTEST_SKIP() << "VBScript.RegExp cannot be created here";
        }
    }
    void TearDown() override { CoUninitialize(); }

    bool Test(std::wstring_view subject, std::wstring_view pattern, bool ignoreCase = true,
              bool multiLine = true) {
        return tools::RegExpTest(subject, pattern, ignoreCase, multiLine, true, GetParam());
    }
};

TEST_P(BothEngines, SearchesAnywhereWithTheOptions) {
    EXPECT_TRUE(Test(L"abcdef", L"CD"));
    EXPECT_FALSE(Test(L"abcdef", L"CD", false));
    EXPECT_TRUE(Test(L"x\nyz", L"^y"));
    EXPECT_FALSE(Test(L"x\nyz", L"^y", true, false));
    EXPECT_TRUE(Test(L"x\r\nyz", L"x$"));
    EXPECT_FALSE(Test(L"x\r\nyz", L"x$", true, false));
    EXPECT_TRUE(Test(L"anything", L""));
    EXPECT_TRUE(Test(L"", L""));
}

TEST_P(BothEngines, UsesThePlatformClassOnlyWhenAsked) {
    EXPECT_EQ(tools::RegExp(L"a", true, true, true, GetParam()).UsesPlatformClass(),
              GetParam() == RegExpEngine::Automatic);
}

TEST_P(BothEngines, EscapedTextMatchesExactlyTheTextsThatContainIt) {
    const std::vector<std::wstring> needles = {
        L"a.b", L"(x)", L"C:\\d", L"$$", L"\\", L"[^]", L"1+1=2?", L"{2}", L"<a|b>", L"!:*",
    };
    const std::vector<std::wstring> haystacks = {
        L"a.b", L"axb",   L"see (X) here", L"x",   L"c:\\D\\e",   L"C:d",  L"$$$",
        L"$",   L"\\\\",  L"[^]",          L"^",   L"1+1=2? yes", L"11=2", L"a{2}",
        L"aa",  L"<A|B>", L"ab",           L"!:*", L"!:",
    };
    for (const std::wstring& needle : needles) {
        std::wstring upperNeedle = needle;
        CharUpperBuffW(upperNeedle.data(), static_cast<DWORD>(upperNeedle.size()));
        for (const std::wstring& haystack : haystacks) {
            std::wstring upperHaystack = haystack;
            CharUpperBuffW(upperHaystack.data(), static_cast<DWORD>(upperHaystack.size()));
            const bool contains = upperHaystack.find(upperNeedle) != std::wstring::npos;
            EXPECT_EQ(Test(haystack, tools::RegExpEscape(needle)), contains)
                << "needle " << testing::PrintToString(needle) << " in "
                << testing::PrintToString(haystack);
        }
    }
}

TEST_P(BothEngines, FindsAConnectedEntryInRasDialOutput) {
    const std::wstring output = L"\u6b63\u5728\u8fde\u63a5\u5230 \u5bbd\u5e26(1)...\r\n"
                                L"\u5df2\u8fde\u63a5 \u5bbd\u5e26(1)\u3002\r\n"
                                L"\u547d\u4ee4\u5df2\u5b8c\u6210\u3002\r\n";
    const std::wstring connected = L"\u5df2\u8fde\u63a5\\s*";
    EXPECT_TRUE(Test(output, connected + tools::RegExpEscape(L"\u5bbd\u5e26(1)")));
    EXPECT_FALSE(Test(output, connected + tools::RegExpEscape(L"\u5bbd\u5e26(2)")));
    EXPECT_TRUE(
        Test(L"Connected to\r\nMy ADSL\r\n", L"^" + tools::RegExpEscape(L"my adsl") + L"$"));
}

TEST_P(BothEngines, MatchesUrlPatterns) {
    EXPECT_TRUE(Test(L"http://example.com/img/a.GIF", L"\\.gif$"));
    EXPECT_FALSE(Test(L"http://example.com/a.gif?x=1", L"\\.gif$"));
    EXPECT_TRUE(Test(L"https://ads.example.net/x", L"^https?://(ads|track)\\."));
    EXPECT_FALSE(Test(L"https://example.net/ads.", L"^https?://(ads|track)\\."));
    EXPECT_TRUE(Test(L"http://a/b?id=123&x", L"[?&]id=\\d+"));
}

TEST_P(BothEngines, AMalformedPatternFailsWhenCompiledOrTested) {
    EXPECT_THROW(tools::RegExp(L"a(", true, true, true, GetParam()).Compile(), base::Error);
    EXPECT_NO_THROW(tools::RegExp(L"a\\(", true, true, true, GetParam()).Compile());
    tools::RegExp regExp(L"(", true, true, true, GetParam());
    for (int round = 0; round < 2; ++round) {
        try {
            regExp.Test(L"a(b");
            FAIL() << "no error";
        } catch (const base::Error& error) {
            EXPECT_TRUE(FAILED(error.hr()));
            if (GetParam() == RegExpEngine::BuiltIn) {
                EXPECT_EQ(error.hr(), tools::kRegExpSyntaxError);
                EXPECT_NE(error.description().find(L"malformed"), std::wstring::npos);
            } else { // Windows' class says so itself; Wine's gives no reason (E_FAIL, no text)
                EXPECT_NE(error.description().find(L"regular expression"), std::wstring::npos)
                    << error.description();
            }
            EXPECT_NE(error.description().find(L"\"(\""), std::wstring::npos)
                << error.description();
        }
    }
    EXPECT_THROW(Test(L"x", L"(x"), base::Error);
}

TEST_P(BothEngines, ACompiledExpressionServesManySubjects) {
    tools::RegExp regExp(L"/ads?/", true, true, true, GetParam());
    int matched = 0;
    for (int i = 0; i < 2000; ++i) {
        matched += regExp.Test(L"http://host/" + std::wstring(i % 3 == 0 ? L"AD/" : L"img/") +
                               std::to_wstring(i))
                       ? 1
                       : 0;
    }
    EXPECT_EQ(matched, 667);
}

INSTANTIATE_TEST_SUITE_P(, BothEngines,
                         ::testing::Values(RegExpEngine::Automatic, RegExpEngine::BuiltIn),
                         [](const auto& info) {
                             return info.param == RegExpEngine::BuiltIn ? "BuiltIn" : "Platform";
                         });

TEST(CreateRegExp, GivesNoObjectWithoutCom) {
    // COM is not initialised on this thread: creation fails and is not reported.
    std::thread([] { EXPECT_FALSE(tools::CreateRegExp()); }).join();
}

// The built-in engine on its own: the grammar beyond what the shared cases cover.
bool Match(std::wstring_view subject, std::wstring_view pattern, bool ignoreCase = false,
           bool multiLine = false) {
    return tools::BuiltInRegExp(pattern, ignoreCase, multiLine).Search(subject);
}

struct Case {
    const wchar_t* pattern;
    const wchar_t* subject;
    bool matches;
};

void ExpectCases(const std::vector<Case>& cases, bool ignoreCase = false) {
    for (const Case& c : cases) {
        EXPECT_EQ(Match(c.subject, c.pattern, ignoreCase), c.matches)
            << testing::PrintToString(std::wstring(c.pattern)) << " on "
            << testing::PrintToString(std::wstring(c.subject));
    }
}

TEST(BuiltInRegExp, Quantifiers) {
    ExpectCases({
        {L"^a*$", L"", true},
        {L"^a+$", L"", false},
        {L"^ab?c$", L"ac", true},
        {L"^a{3}$", L"aaa", true},
        {L"^a{3}$", L"aaaa", false},
        {L"^a{2,}$", L"aaaaa", true},
        {L"^a{2,3}$", L"aaaa", false},
        {L"^a{2,3}$", L"aa", true},
        {L"^(ab){2}$", L"abab", true},
        {L"^a{0}b$", L"b", true},
        {L"^a*?b$", L"aab", true},
        {L"^a+?$", L"aaa", true},
        {L"^(a|ab)(c|bcd)$", L"abcd", true},
        // Loops whose body can match nothing still end.
        {L"^(a*)*b$", L"aaac", false},
        {L"^(a?)+$", L"aa", true},
        {L"^(?:)*x$", L"x", true},
        {L"^(?:a|)*?b$", L"aab", true},
        // Counted repetitions of one code unit, where they begin at many positions at once.
        {L"a{3}b", L"aabaaab", true},
        {L"a{3}b", L"aabaab", false},
        {L"x[ab]{2,3}y", L"xaby xababy", true},
        {L"x[ab]{2,3}y", L"xay xababy", false},
        {L"^.{2,}?$", L"a", false},
        {L"b.{0,2}$", L"abcdb", true},
        {L"(?:a{2}b){2}", L"aabaab", true},
        {L"(?:a{2}b){2}", L"aabab", false},
        // Literal prefixes that overlap their own occurrences.
        {L"aab\\d", L"aaab1", true},
        {L"abab[c]", L"abababc", true},
        {L"abab[c]", L"ababab", false},
        // Braces that form no quantifier are literals.
        {L"a{", L"a{", true},
        {L"a{1,x}", L"a{1,x}", true},
        {L"{}", L"{}", true},
        {L"x}]", L"x}]", true},
    });
}

TEST(BuiltInRegExp, GroupsAlternativesAndBackReferences) {
    ExpectCases({
        {L"^(a)(b)\\2\\1$", L"abba", true},
        {L"^(a)(b)\\2\\1$", L"abab", false},
        {L"(x)?y\\1z", L"yz", true}, // a group that did not take part matches nothing
        {L"^(?:ab|cd)+$", L"abcdab", true},
        {L"^(?:ab|cd)+$", L"abc", false},
        {L"cat|dog", L"hotdog", true},
        {L"^$|x", L"", true},
        {L"\\101", L"A", true},     // no group 1: an octal escape
        {L"(a)\\101", L"aA", true}, // there is no group 101: octal \101 = A
        {L"(a)\\1", L"aA", false},  // but there is a group 1
        {L"\\8", L"8", true},
        {L"^(?=(a+))a*b\\1$", L"aaab", false},
        {L"^(?=(a+))a*b$", L"aaab", true},
        {L"a(?=b)", L"ac ab", true},
        {L"a(?=b)", L"ac", false},
        {L"a(?!b)", L"ab", false},
        {L"a(?!b)", L"ab ac", true},
        {L"^(?!.*bad).*$", L"good", true},
        {L"^(?!.*bad).*$", L"so bad", false},
    });
}

TEST(BuiltInRegExp, ClassesAndEscapes) {
    ExpectCases({
        {L"^[a-c]+$", L"abcab", true},
        {L"^[^a-c]+$", L"xyz", true},
        {L"[^a-c]", L"abc", false},
        {L"[]", L"x", false},
        {L"^[^]$", L"\n", true},
        {L"^[\\d-z]+$", L"1-z", true},
        {L"^[\\d-z]+$", L"y", false},
        {L"^[\\W-a-c]$", L"b", true}, // after a class escape, a hyphen is a literal
        {L"^[a-]+$", L"a-", true},
        {L"^[\\]\\\\]+$", L"]\\", true},
        {L"[\\b]", L"\b", true},
        {L"^\\d\\D\\w\\W$", L"7x_", false},
        {L"^\\d\\D\\w\\W$", L"7xa.", true},
        {L"^\\s+$", L" \t\r\n\u3000\u00a0", true},
        {L"\\S", L" \t", false},
        {L"^\\x41\\u4e2d\\t\\cJ$", L"A\u4e2d\t\n", true},
        {L"^\\xZ\\u12$", L"xZu12", true},
        {L"^\\c1$", L"\\c1", true},
        {L"^\\:\\=\\!\\<\\>\\/$", L":=!<>/", true},
        {L"^.$", L"\n", false},
        {L"^.$", L"\r", false},
        {L"^.$", L"\u2028", false},
        {L"^.$", L"\u00e9", true},
        {L"\\bcat\\b", L"a cat.", true},
        {L"\\bcat\\b", L"concat", false},
        {L"\\Bcat", L"concat", true},
    });
}

TEST(BuiltInRegExp, IgnoringCaseComparesUpperCaseForms) {
    ExpectCases(
        {
            {L"CAF\u00c9", L"caf\u00e9", true},
            {L"^[\u00e0-\u00fe]+$", L"\u00c0\u00c9", true},
            {L"^[^a-z]$", L"Q", false},
            {L"\u03a3", L"\u03c3", true},
            {L"^\\w+$", L"\u017f", false}, // long s is no word character, not even as "S"
            {L"s", L"\u017f", false},      // and never equals an ASCII letter
            {L"(a)\\1", L"aA", true},
            {L"\\bK", L"\u212a", false},
            // Single-character upper-case mappings beyond the platform's CharUpperBuffW.
            {L"^\u00b5\u00b5$", L"\u039c\u03bc", true},
            {L"^[\u03bc][\u039c]$", L"\u00b5\u00b5", true},
            {L"^\u03c2\u03c2$", L"\u03c3\u03a3", true},
            {L"^\u03d0\u03d0$", L"\u03b2\u0392", true},
            {L"^\u03f5$", L"\u03b5", true},
            {L"^(\u03c3)\\1$", L"\u03c3\u03c2", true},
            {L"^\u00df$", L"S", false}, // upper case "SS" is no single character
            {L"^k$", L"\u212a", false}, // the Kelvin sign is its own upper case
            {L"^[a-z]$", L"\u017f", false},
        },
        true);
}

TEST(BuiltInRegExp, MatchesNulCharacters) {
    const std::wstring nul(1, L'\0');
    EXPECT_TRUE(Match(L"a" + nul + L"b", L"a\\0b"));
    EXPECT_TRUE(Match(L"a" + nul + L"b", L"a" + nul + L"b"));
    EXPECT_FALSE(Match(L"a0b", L"a\\0b"));
}

TEST(BuiltInRegExp, MultiLineAnchorsAtEveryLineTerminator) {
    for (const wchar_t* subject : {L"a\nb", L"a\r\nb", L"a\rb", L"a\u2028b"}) {
        EXPECT_TRUE(Match(subject, L"a$", false, true));
        EXPECT_TRUE(Match(subject, L"^b", false, true));
        EXPECT_FALSE(Match(subject, L"a$", false, false));
        EXPECT_FALSE(Match(subject, L"^b", false, false));
    }
}

TEST(BuiltInRegExp, RefusesMalformedPatterns) {
    for (const wchar_t* pattern :
         {L"(", L"a)", L"[a", L"[b-a]", L"*a", L"a**", L"a??+", L"+", L"?", L"{2}", L"a{2,1}",
          L"x\\", L"(?<x)", L"(?", L"^*", L"a|*", L"\\b+", L"[a-\\d]"}) {
        try {
            tools::BuiltInRegExp regExp(pattern, true, true);
            ADD_FAILURE() << "accepted " << testing::PrintToString(std::wstring(pattern));
        } catch (const base::Error& error) {
            EXPECT_EQ(error.hr(), tools::kRegExpSyntaxError);
            EXPECT_NE(error.description().find(L"malformed"), std::wstring::npos);
        }
    }
}

template <class Work> DWORD WINAPI RunWork(void* work) {
    (*static_cast<Work*>(work))();
    return 0;
}

// Runs work on a thread with a stack of 256 KB, a quarter of what a host's threads get: nothing
// may recurse per character of the subject or per level of the pattern beyond that. (Windows
// honours the size; Wine gives every thread 1 MB whatever is asked.)
template <class Work> void OnSmallStack(Work work) {
    base::UniqueHandle thread(CreateThread(nullptr, 256 * 1024, RunWork<Work>, &work,
                                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread.get(), INFINITE);
    DWORD exitCode = 1;
    GetExitCodeThread(thread.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

TEST(BuiltInRegExp, LongSubjectsNeedNoDeepStack) {
    std::vector<bool> results;
    OnSmallStack([&] {
        const std::wstring url = L"http://example.com/" + std::wstring(200000, L'a') + L".gif";
        for (const wchar_t* pattern :
             {L"^http://.*\\.gif$", L"^http://example\\.com/(a|b)*\\.gif$",
              L"^(?:[a-z:/.])*\\.png$", L"/(a)\\1+\\.gif$", L"^(?=h)(?:[a-z:/.])*\\.gif$"}) {
            results.push_back(Match(url, pattern, true, true));
        }
    });
    EXPECT_EQ(results, (std::vector<bool>{true, true, false, true, true}));
}

TEST(BuiltInRegExp, DeepNestingWorksToItsLimitAndFailsClearlyBeyond) {
    std::vector<bool> results;
    std::vector<std::wstring> errors;
    OnSmallStack([&] {
        for (int depth : {500, 501}) {
            for (const wchar_t* open : {L"(", L"(?:", L"(?="}) {
                std::wstring pattern;
                for (int i = 0; i < depth; ++i) {
                    pattern += open;
                }
                pattern += L"a";
                pattern += std::wstring(static_cast<size_t>(depth), L')') + L"+b";
                try {
                    results.push_back(Match(L"xaab", pattern));
                } catch (const base::Error& error) {
                    errors.push_back(error.description());
                    EXPECT_EQ(error.hr(), tools::kRegExpSyntaxError);
                }
            }
        }
    });
    EXPECT_EQ(results, (std::vector<bool>{true, true, false}));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find(L"nested more than 500 deep"), std::wstring::npos) << errors[0];
}

// Microseconds that work takes.
template <class Work> double MicrosecondsOf(Work work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

TEST(BuiltInRegExp, ExponentialPatternsEndQuickly) {
    // Without back-references and look-aheads the search cannot go exponential: it answers.
    const std::wstring a30(30, L'a'), a40(40, L'a');
    EXPECT_LT(MicrosecondsOf([&] {
                  EXPECT_FALSE(Match(a30, L"(a+)+b", true, true));
                  EXPECT_FALSE(Match(a40, L"(a|aa)*c", true, true));
                  EXPECT_TRUE(Match(a40 + L"c", L"(a|aa)*c", true, true));
              }),
              100000.0);
    // Backtracking, which back-references and look-aheads need, stops at its budget.
    for (const auto& [pattern, subject] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"(a+)+b\\1", a30}, {L"(?=a)(a|aa)*c", a40}, {L"^(a|aa)*(?!a)c", a40}}) {
        EXPECT_LT(MicrosecondsOf([&] {
                      try {
                          Match(subject, pattern, true, true);
                          ADD_FAILURE() << "answered " << testing::PrintToString(pattern);
                      } catch (const base::Error& error) {
                          EXPECT_EQ(error.hr(), tools::kRegExpTooComplex);
                          EXPECT_NE(error.description().find(L"too complex to test against \"" +
                                                             subject + L"\""),
                                    std::wstring::npos)
                              << testing::PrintToString(error.description());
                      }
                  }),
                  500000.0);
    }
}

TEST(BuiltInRegExp, ALongPatternOfClassesCompilesLean) {
    std::wstring pattern;
    for (int i = 0; i < 21000; ++i) {
        pattern += L"[a]";
    }
    EXPECT_LT(MicrosecondsOf([&] {
                  tools::BuiltInRegExp regExp(pattern, true, true);
                  EXPECT_FALSE(regExp.Search(L"http://example.com/aaa"));
              }),
              500000.0);
    EXPECT_TRUE(Match(L"x" + std::wstring(3, L'A'), pattern.substr(0, 9), true, false));
}

// Counted repetitions, 64 KB patterns and subjects of 100,000 code units: each search ends, with
// its answer or, where visiting every state would take too long, with kRegExpTooComplex.
TEST(BuiltInRegExp, HugeCountsAndPatternsAnswerOnLongSubjects) {
    auto answer = [](const std::wstring& pattern, const std::wstring& subject) {
        try {
            return std::optional<bool>(Match(subject, pattern, true, true));
        } catch (const base::Error& error) {
            EXPECT_EQ(error.hr(), tools::kRegExpTooComplex);
            return std::optional<bool>();
        }
    };
    auto repeated = [](const std::wstring& part, size_t times) {
        std::wstring text;
        for (size_t i = 0; i < times; ++i) {
            text += part;
        }
        return text;
    };
    const std::wstring a100k(100000, L'a');
    const std::wstring url = L"http://e.com/" + std::wstring(99987, L'a');
    const std::wstring a21845(21845, L'a');
    const std::wstring classes = repeated(L"[a]", 21845);
    const std::vector<std::tuple<std::wstring, std::wstring, bool>> answered = {
        {L"a{100000}", a100k, true},        {L"a{100001}", a100k, false},
        {L"/a{99987}$", url, true},         {L"a{99988}$", url, false},
        {L"a{0,50000}b", url, false},       {L".{99999}x", url, false},
        {L"(?:a{1000}){99}", url, true},    {classes, a21845, true},
        {classes, a21845.substr(1), false}, {std::wstring(65535, L'a') + L"b", a100k, false},
    };
    for (const auto& [pattern, subject, expected] : answered) {
        EXPECT_EQ(answer(pattern, subject), expected)
            << testing::PrintToString(pattern.substr(0, 20));
    }
    // Over 16,000 states alive at every position: more than the budget allows.
    const std::optional<bool> pairs = answer(repeated(L"[ab]", 16384), url);
    EXPECT_TRUE(!pairs || *pairs);
}

TEST(LiteralSearch, AnswersAsTheEscapedPatternDoes) {
    const std::vector<std::wstring> texts = {
        L"",
        L"aaab",
        L"abaabab",
        L"http://x/f(1)[2].GIF",
        L"x/Caf\u00c9/STRASSE",
        L"\u00b5\u03c3\u017f\u212a",
        L"\u039c\u03c2sk",
    };
    const std::vector<std::wstring> literals = {
        L"",       L"aab",    L"abab", L"(1)[2].gif", L"caf\u00e9/",   L"stra\u00dfe",
        L"\u03bc", L"\u03a3", L"S",    L"K",          L"\u00b5\u03a3", L"x",
    };
    for (const std::wstring& literal : literals) {
        const tools::LiteralSearch search(literal, true);
        tools::BuiltInRegExp escaped(tools::RegExpEscape(literal), true, true);
        for (const std::wstring& text : texts) {
            EXPECT_EQ(search.FoundIn(text), escaped.Search(text))
                << testing::PrintToString(literal) << " in " << testing::PrintToString(text);
        }
    }
    EXPECT_TRUE(tools::LiteralSearch(L"\u03bc\u03a3", true).FoundIn(L"\u00b5\u03c2"));
    EXPECT_FALSE(tools::LiteralSearch(L"s", true).FoundIn(L"\u017f"));
    EXPECT_TRUE(tools::LiteralSearch(L"aab", true).FoundIn(L"aaab"));
    EXPECT_FALSE(tools::LiteralSearch(L"A", false).FoundIn(L"a"));
}

TEST(BuiltInRegExp, RefusesARepetitionTooLargeToCompile) {
    try {
        tools::BuiltInRegExp regExp(L"(?:ab){2000000}", false, false);
        FAIL() << "compiled";
    } catch (const base::Error& error) {
        EXPECT_EQ(error.hr(), E_OUTOFMEMORY);
    }
}

} // namespace
