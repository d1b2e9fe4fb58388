#include "tools/ToolsIni.h"
#include "tools/ToolsString.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        path_ = std::wstring(dir) + L"zu-ini-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L".ini";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    std::wstring path_;
};

TEST_F(IniTest, MissingFileOrKeyGivesTheDefault) {
    EXPECT_EQ(tools::IniRead(path_, L"Delay", L"dial", L"100"), L"100");
    tools::IniWrite(path_, L"Delay", L"hangup", L"5");
    EXPECT_EQ(tools::IniRead(path_, L"Delay", L"dial", L"100"), L"100");
    EXPECT_EQ(tools::IniRead(path_, L"Other", L"hangup", L"x"), L"x");
}

TEST_F(IniTest, EmptyValueReadsEmptyNotDefault) {
    tools::IniWrite(path_, L"Adsl", L"password", L"");
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"password", L"100"), L"");
}

TEST_F(IniTest, WrittenValueReadsBack) {
    tools::IniWrite(path_, L"Adsl", L"adsl", L"My Entry");
    tools::IniWrite(path_, L"Adsl", L"adsl", L"Other Entry");
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"adsl", L""), L"Other Entry");
}

TEST_F(IniTest, LongValueReadsBackCutToTheLimit) {
    std::wstring value(300, L'x');
    tools::IniWrite(path_, L"Adsl", L"uid", value);
    EXPECT_EQ(tools::IniRead(path_, L"Adsl", L"uid", L""), value.substr(0, tools::kIniReadLimit));
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
    tools::IniWrite(bad, L"Adsl", L"adsl", L"x");
    EXPECT_EQ(tools::IniRead(bad, L"Adsl", L"adsl", L"d"), L"d");
}

} // namespace
