#include "tools/ToolsUTF8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(UTF8Decode, FollowsTheDecodingTableQuirksIncluded) {
    const struct {
        Bytes bytes;
        std::wstring text;
    } rows[] = {
        // The decoder walks to the array's last index (SafeUBound): none, the first, the third.
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

} // namespace
