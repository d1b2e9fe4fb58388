#include "tools/ToolsCommon.h"

#include "tools/ToolsString.h"
#include "tools/ToolsUTF8.h"

#include <string_view>

namespace tools {

std::wstring BytesToText(const std::vector<unsigned char>& bytes, bool utf8) {
    if (utf8) {
        return UTF8Decode(bytes);
    }
    return FromAnsi(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace tools
