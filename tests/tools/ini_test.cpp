// What IniRead and IniWrite add to the platform's profile functions: the ANSI crossing, the
// read buffer and its limit, the count of bytes read, and the default handed through.
#include "testbed/temp_path.h"
#include "tools/ToolsIni.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

class IniTest : public ::testing::Test {
protected:
    testbed::ScratchFile file_{L".ini"};
    const std::wstring& path_ = file_.path();
};

TEST_F(IniTest, TheDefaultComesBackForAMissingKeyAndNeverForAnEmptyValue) {
    EXPECT_EQ(tools::IniRead(path_, L"Delay", L"dial", L"100"), L"100");
    tools::IniWrite(path_, L"Adsl", L"password", L"");
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"password", L"100"), L"");
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"adsl", L"100"), L"100");
}

// The bytes that the platform copied, and none of the buffer's padding behind them.
TEST_F(IniTest, AValueReadsBackAsWrittenWithoutThePaddingOfTheBuffer) {
    tools::IniWrite(path_, L"Adsl", L"adsl", L"My Entry");
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"adsl", L""), L"My Entry");
}

TEST_F(IniTest, ALongValueReadsBackCutToTheLimit) {
    std::wstring value(300, L'x');
    tools::IniWrite(path_, L"Adsl", L"uid", value);
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"uid", L""), value.substr(0, tools::kIniReadLimit));
}

// Texts cross in the ANSI code page both ways: a character that it lacks does not come back.
TEST_F(IniTest, AValueCrossesInTheAnsiCodePage) {
    if (GetACP() == CP_UTF8) {
        GTEST_SKIP() << "a UTF-8 ANSI code page expresses every character";
    }
    tools::IniWrite(path_, L"Adsl", L"adsl", L"a\U0001F600b");
    const std::wstring read = tools::IniRead(path_, L"Adsl", L"adsl", L"");
    EXPECT_EQ(read.front(), L'a');
    EXPECT_EQ(read.back(), L'b');
    EXPECT_EQ(read.find(L"\U0001F600"), std::wstring::npos) << read;
}

TEST_F(IniTest, DoubleByteValueReadsBackWhole) {
    if (GetACP() != 936) {
        GTEST_SKIP() << "needs a Chinese ANSI code page";
    }
    // 240 bytes: the count of bytes read must not be taken as a count of characters.
    std::wstring value(120, L'\u8FDE');
    tools::IniWrite(path_, L"Adsl", L"adsl", value);
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"adsl", L""), value);
}

TEST_F(IniTest, FailedWriteIsNotReported) {
    std::wstring bad = L"Q:\\no\\such\\dir\\x.ini";
    EXPECT_NO_THROW(tools::IniWrite(bad, L"Adsl", L"adsl", L"x"));
}

} // namespace
