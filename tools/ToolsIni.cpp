#include "tools/ToolsIni.h"

#include "tools/ToolsString.h"

#include <windows.h>

namespace tools {

void IniWrite(std::wstring_view file, std::wstring_view section, std::wstring_view key,
              std::wstring_view value) {
    ::WritePrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(),
                                 ToAnsi(value).c_str(), ToAnsi(file).c_str());
}

std::wstring IniRead(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                     std::wstring_view defaultValue) {
    std::string buffer(kIniReadLimit + 1, ' ');
    DWORD copied = ::GetPrivateProfileStringA(
        ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(defaultValue).c_str(), buffer.data(),
        static_cast<DWORD>(buffer.size()), ToAnsi(file).c_str());
    if (copied == 0) {
        return {};
    }
    return FromAnsi(std::string_view(buffer).substr(0, copied));
}

} // namespace tools
