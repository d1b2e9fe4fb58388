#include "tools/ToolsCommon.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

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
