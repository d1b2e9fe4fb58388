#include "tools/ToolsString.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(ToLong, ParsesDecimalWithBlanksAndSign) {
    EXPECT_EQ(tools::ToLong(L" 42 "), 42);
    EXPECT_EQ(tools::ToLong(L"-7"), -7);
    EXPECT_EQ(tools::ToLong(L"2147483647"), 2147483647L);
    EXPECT_EQ(tools::ToLong(L"-2147483648"), -2147483647L - 1);
}

TEST(ToLong, GivesZeroForWhatIsNoNumberInRange) {
    for (const wchar_t* text : {L"", L"abc", L"12abc", L"2147483648", L"-2147483649", L"   "}) {
        EXPECT_EQ(tools::ToLong(text), 0) << text;
    }
}

TEST(TrimSpaces, RemovesOnlySpacesAtTheEnds) {
    EXPECT_EQ(tools::TrimSpaces(L"  my entry  "), L"my entry");
    EXPECT_EQ(tools::TrimSpaces(L"\tx\t"), L"\tx\t");
    EXPECT_EQ(tools::TrimSpaces(L"    "), L"");
}

TEST(Ansi, RoundTripsWhatTheCodePageHolds) {
    std::wstring text = GetACP() == 936 ? L"宽带连接 a" : L"caf\u00e9 a";
    auto bytes = tools::ToAnsiExactly(text);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(tools::FromAnsi(*bytes), text);
    EXPECT_EQ(tools::FromAnsi(std::string_view("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Ansi, RefusesWhatTheCodePageCannotHold) {
    // A UTF-8 code page (LC_ALL=hi_IN.UTF-8 under Wine) holds every character but a lone
    // surrogate; there the conversion must run without flags, as Windows demands.
    const std::wstring everything = L"\u0416\u4e2d\u00e9\U0001F600";
    if (GetACP() == CP_UTF8) {
        EXPECT_EQ(tools::FromAnsi(tools::ToAnsiExactly(everything).value_or("")), everything);
        EXPECT_FALSE(tools::ToAnsiExactly(L"lone \xDC00"));
    } else {
        EXPECT_FALSE(tools::ToAnsiExactly(everything));
    }
}

} // namespace
