// Text conversions: the system ANSI code page at the boundary of the ANSI Windows functions,
// the OEM code page of console output, and the number parsing of settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tools {

// The text in the system ANSI code page. Characters that the code page cannot represent become
// the code page's default character.
std::string ToAnsi(std::wstring_view text);

// The text in the system ANSI code page, or nothing when some character cannot be represented
// exactly (no default character, no best-fit substitute).
std::optional<std::string> ToAnsiExactly(std::wstring_view text);

// Decodes bytes in the system ANSI code page. NUL bytes become U+0000 and do not end the text.
std::wstring FromAnsi(std::string_view bytes);

// Decodes bytes in the system OEM code page, the one console programs write redirected output
// in; otherwise as FromAnsi.
std::wstring FromOem(std::string_view bytes);

// The text as a signed 32-bit integer by the platform's locale-aware conversion (blanks around
// the number and a sign allowed); 0 when it is no number or out of range.
long ToLong(std::wstring_view text);

// Removes leading and trailing space characters (U+0020 only, as the settings always have).
std::wstring TrimSpaces(std::wstring_view text);

} // namespace tools
