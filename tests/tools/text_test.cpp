#include "tools/ToolsCommon.h"

#include "base/Owners.h"
#include "tools/ToolsFile.h"
#include "tools/ToolsUTF8.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

class TempFile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        path_ = std::wstring(dir) + L"zu-text-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    void Write(const Bytes& bytes) {
        base::UniqueFile file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

    std::wstring path_;
};

TEST_F(TempFile, MissingOrEmptyFileGivesNothing) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(tools::ReadFileBytes(path_).empty());
        EXPECT_EQ(tools::ReadFileText(path_, false), L"");
        EXPECT_EQ(tools::ReadFileText(path_, true), L"");
        Write({});
    }
}

TEST_F(TempFile, ReadsEveryByteAsItIs) {
    Bytes bytes;
    for (int i = 0; i < 70000; ++i) {
        bytes.push_back(static_cast<unsigned char>(i * 7));
    }
    Write(bytes);
    Bytes read = tools::ReadFileBytes(path_);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(tools::SafeUBound(read), 69999);
}

TEST_F(TempFile, ReadsAFileThatAnotherHandleHoldsOpenForWriting) {
    Write({'o', 'k'});
    base::UniqueFile writer(CreateFileW(path_.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(tools::ReadFileText(path_, false), L"ok");
}

TEST_F(TempFile, TextKeepsLineBreaksAndDecodesAsAsked) {
    Write({'a', '\r', '\n', 'b', '\n', 0xC3, 0xA9});
    EXPECT_EQ(tools::ReadFileText(path_, true), L"a\r\nb\n\u00e9");
    std::wstring ansi = tools::ReadFileText(path_, false);
    EXPECT_EQ(ansi.substr(0, 5), L"a\r\nb\n");
    if (GetACP() == 1252) {
        EXPECT_EQ(ansi.substr(5), L"\u00c3\u00a9");
    }
}

TEST(SafeUBound, IsTheLastIndexOrMinusOne) {
    EXPECT_EQ(tools::SafeUBound({}), -1);
    EXPECT_EQ(tools::SafeUBound({0}), 0);
    EXPECT_EQ(tools::SafeUBound({1, 2, 3}), 2);
}

TEST(UTF8Decode, FollowsTheDecodingTableQuirksIncluded) {
    const struct {
        Bytes bytes;
        std::wstring text;
    } rows[] = {
        {{}, L""},
        {{0x41}, L"A"},
        {{0xC3, 0xA9}, L"\u00e9"},
        {{0xE4, 0xBD, 0xA0, 0x41}, L"\u4f60A"},
        {{0xEF, 0xBB, 0xBF}, L"\ufeff"},
        {{0xC3}, L"?"},
        {{0xC3, 0x41}, L"?A"},
        {{0xE4, 0xBD}, L"?\u00bd"},
        {{0xE4, 0xBD, 0x41}, L"?\u00bdA"},
        {{0x80}, L"\u0080"},
        {{0xC3, 0xC3, 0xA9}, L"\u00c3\u00a9"},
        {{0xC0, 0x80}, std::wstring(1, L'\0')},
        {{0xED, 0xA0, 0x80}, std::wstring(1, static_cast<wchar_t>(0xD800))},
        {{0xF0, 0x9F, 0x98, 0x80}, L"\u07d8\u0080"},
        {{0xFF, 0xFF, 0xFF}, L"\uffff"},
        // A three-byte lead whose followers are themselves leads: decoded as followers.
        {{0xE0, 0xE0, 0xC0}, L"\u0800"},
        // A lead at the very end after a complete sequence.
        {{0x41, 0xE4}, L"A?"},
        {{0xBF, 0x00, 0x7F}, std::wstring(L"\u00bf\0\u007f", 3)},
    };
    for (const auto& row : rows) {
        std::wstring hex;
        for (unsigned char b : row.bytes) {
            hex += std::to_wstring(b) + L" ";
        }
        EXPECT_EQ(tools::UTF8Decode(row.bytes), row.text) << hex;
    }
}

TEST(BytesToText, AnsiDecodesTheWholeArrayInTheSystemCodePage) {
    const Bytes withNul = {'a', 0, 'b', 0};
    EXPECT_EQ(tools::BytesToText(withNul, false), std::wstring(L"a\0b\0", 4));
    EXPECT_EQ(tools::BytesToText(withNul, true), std::wstring(L"a\0b\0", 4));

    switch (GetACP()) {
    case 936: {
        // "已连接 宽带" in GBK, as RasDial prints it on a Chinese system.
        const Bytes gbk = {0xD2, 0xD1, 0xC1, 0xAC, 0xBD, 0xD3, ' ', 0xBF, 0xED, 0xB4, 0xF8};
        EXPECT_EQ(tools::BytesToText(gbk, false), L"\u5df2\u8fde\u63a5 \u5bbd\u5e26");
        // The same bytes read as UTF-8 are no Chinese text.
        EXPECT_NE(tools::BytesToText(gbk, true), L"\u5df2\u8fde\u63a5 \u5bbd\u5e26");
        break;
    }
    case 1252:
        EXPECT_EQ(tools::BytesToText({0xE9, 0x80, 0x41}, false), L"\u00e9\u20acA");
        break;
    default:
        GTEST_SKIP() << "no expectations for code page " << GetACP();
    }
}

} // namespace
