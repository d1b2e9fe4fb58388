// The lenient UTF-8 decoder behind the text reads of files (BytesToText and ReadFileText with
// utf8 set), and the bound query that tells an empty byte array from a filled one.
#pragma once

#include <string>
#include <vector>

namespace tools {

// The index of the last byte: size - 1, or -1 for an array without bytes (and for one too
// large for a signed 32-bit bound). Never throws.
long SafeUBound(const std::vector<unsigned char>& bytes);

// Decodes UTF-8 into one UTF-16 code unit per sequence, by a fixed and lenient table:
// clang-format off
//   E0..FF  with two more bytes that both have their top bit set  -> (b0&0x0F)<<12 | (b1&0x3F)<<6 | (b2&0x3F)
//   C0..DF  with one more byte that has its top bit set           -> (b0&0x1F)<<6 | (b1&0x3F)
//   00..BF                                                        -> the byte's own value
// clang-format on
// A lead byte that cannot be completed gives "?" and decoding resumes at the very next byte.
// Followers are tested by their top bit alone, so C0..FF count as followers too; overlong forms
// and surrogate values pass; F0..FF are three-byte leads (the fourth byte of a four-byte
// sequence then decodes on its own); a byte-order mark stays at the front as U+FEFF.
// Never throws: if memory runs out, the text decoded so far is the result.
std::wstring UTF8Decode(const std::vector<unsigned char>& bytes);

} // namespace tools
