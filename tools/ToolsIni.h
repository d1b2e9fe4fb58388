// One key of an INI file through the platform's private-profile functions (ANSI variants).
// A file name without a directory names a file in the Windows directory.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// The longest value, in ANSI bytes, that IniRead hands back; longer values come back cut.
inline constexpr int kIniReadLimit = 259;

// Stores value under section/key, creating section and file as needed. A write that the
// platform refuses is not reported.
void IniWrite(std::wstring_view file, std::wstring_view section, std::wstring_view key,
              std::wstring_view value);

// The value of section/key, or defaultValue when the file, section or key is missing; a key
// present with an empty value gives the empty text.
std::wstring IniRead(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                     std::wstring_view defaultValue);

} // namespace tools
