// Byte arrays to text, as UTF-8 or in the system ANSI code page.
#pragma once

#include <string>
#include <vector>

namespace tools {

// utf8: UTF8Decode(bytes). Otherwise every byte of the array, NUL bytes included, decoded in one
// piece from the system ANSI code page; a failure of that decoding throws base::Error.
std::wstring BytesToText(const std::vector<unsigned char>& bytes, bool utf8);

} // namespace tools
