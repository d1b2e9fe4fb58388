#include "tools/ToolsUTF8.h"

#include <climits>
#include <new>

namespace tools {

long SafeUBound(const std::vector<unsigned char>& bytes) {
    if (bytes.empty() || bytes.size() - 1 > static_cast<size_t>(LONG_MAX)) {
        return -1;
    }
    return static_cast<long>(bytes.size() - 1);
}

std::wstring UTF8Decode(const std::vector<unsigned char>& bytes) {
    std::wstring text;
    const long ub = SafeUBound(bytes);
    if (ub == -1) {
        return text;
    }
    auto follows = [&](long i) { return (bytes[static_cast<size_t>(i)] & 0x80) != 0; };
    auto low6 = [&](long i) { return static_cast<wchar_t>(bytes[static_cast<size_t>(i)] & 0x3F); };
    try {
        long i = 0;
        while (i <= ub) {
            const unsigned b0 = bytes[static_cast<size_t>(i)];
            if ((b0 & 0xE0) == 0xE0) {
                if (i + 2 <= ub && follows(i + 1) && follows(i + 2)) {
                    text.push_back(static_cast<wchar_t>((b0 & 0x0F) << 12) |
                                   static_cast<wchar_t>(low6(i + 1) << 6) | low6(i + 2));
                    i += 3;
                    continue;
                }
                text.push_back(L'?');
            } else if ((b0 & 0xC0) == 0xC0) {
                if (i + 1 <= ub && follows(i + 1)) {
                    text.push_back(static_cast<wchar_t>((b0 & 0x1F) << 6) | low6(i + 1));
                    i += 2;
                    continue;
                }
                text.push_back(L'?');
            } else {
                text.push_back(static_cast<wchar_t>(b0));
            }
            ++i;
        }
    } catch (const std::bad_alloc&) {
        // The text decoded so far is the answer.
    }
    return text;
}

} // namespace tools
