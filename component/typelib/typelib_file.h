// A type library file in the platform's binary format (MSFT), read and patched as bytes: what
// the platform's writer cannot be told, the build tools set in the file it wrote.
//
// The file: a header (0x54 bytes, 4 more when it names a help DLL), the offsets of the type
// descriptions, then a directory of segments whose first segment holds one 0x64-byte
// description per type. A type's members lie where its description's memoffset points: a length,
// then one record per function, then one per variable (the record's own length in its first
// word; a function's vtable offset at byte 12; at byte 14 the size of the member's description
// in memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace typelib {

class TypeLibFile {
public:
    explicit TypeLibFile(std::vector<char> bytes) : bytes_(std::move(bytes)) {}

    static TypeLibFile Read(const std::string& path);
    void Write(const std::string& path) const;

    int TypeCount() const;
    int TypeKind(int type) const;

    // The vtable as the file lays it out: its size in bytes and each function's offset in it.
    int VtableSize(int type) const;
    std::vector<int> FunctionOffsets(int type) const;

    // Lays out type as source's sourceType is laid out: the size of its vtable, each function's
    // offset in it, and the size of each member's description in memory, all of which depend on
    // the pointer size of the library's bitness. Both must have the same members.
    void CopyLayout(int type, const TypeLibFile& source, int sourceType);

    // Gives an enumeration type the size and alignment of a 32-bit integer.
    void SetEnumerationWidth(int type, int32_t width);

private:
    // The little-endian value of type T at offset; one past the file is an unknown layout.
    template <class T> T At(size_t offset) const;
    template <class T> void Put(size_t offset, T value);
    size_t Description(int type) const;
    std::vector<size_t> MemberRecords(int type) const; // the functions', then the variables'
    std::vector<size_t> FunctionRecords(int type) const;

    std::vector<char> bytes_;
};

} // namespace typelib
