#include "component/typelib/typelib_file.h"

#include "base/Error.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace typelib {

namespace {

constexpr size_t kHeaderSize = 0x54;
constexpr size_t kTypeCountAt = 0x20;
constexpr size_t kFlagsAt = 0x14;
constexpr int32_t kHasHelpDll = 0x100;
constexpr size_t kDescriptionSize = 0x64;

// In a type's description.
constexpr size_t kMembersAt = 0x04;
constexpr size_t kMemberCountsAt = 0x18; // functions in the low word, variables in the high
constexpr size_t kVtableSizeAt = 0x4E;
constexpr size_t kInstanceSizeAt = 0x50;
constexpr int32_t kAlignmentShift = 11;
constexpr int32_t kAlignmentMask = 0x1F << kAlignmentShift;

// In a member's record: for a function, its vtable offset; for a function and a variable alike,
// the size of the description that a reader of the library's bitness builds from the record.
constexpr size_t kVtableOffsetAt = 12;
constexpr size_t kDescriptorSizeAt = 14;
// The offset's lowest bit is a flag of the record, not part of the offset.
constexpr int16_t kVtableOffsetFlag = 1;

[[noreturn]] void UnknownLayout() {
    throw base::Error(E_UNEXPECTED, L"The type library file has an unknown layout");
}

} // namespace

TypeLibFile TypeLibFile::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw base::Error(E_FAIL, L"Cannot read the type library file");
    }
    return TypeLibFile(
        std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

void TypeLibFile::Write(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    if (!out) {
        throw base::Error(E_FAIL, L"Cannot write the type library file");
    }
}

template <class T> T TypeLibFile::At(size_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) {
        UnknownLayout();
    }
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof(value));
    return value;
}

template <class T> void TypeLibFile::Put(size_t offset, T value) {
    At<T>(offset);
    std::memcpy(bytes_.data() + offset, &value, sizeof(value));
}

int TypeLibFile::TypeCount() const {
    return At<int32_t>(kTypeCountAt);
}

size_t TypeLibFile::Description(int type) const {
    if (type < 0 || type >= TypeCount()) {
        UnknownLayout();
    }
    size_t offsets = kHeaderSize + ((At<int32_t>(kFlagsAt) & kHasHelpDll) ? 4 : 0);
    size_t segments = offsets + static_cast<size_t>(TypeCount()) * 4;
    size_t descriptions = static_cast<size_t>(At<int32_t>(segments));
    size_t description = descriptions + static_cast<size_t>(At<int32_t>(offsets + type * 4));
    At<int32_t>(description + kDescriptionSize - 4);
    return description;
}

int TypeLibFile::TypeKind(int type) const {
    return At<int32_t>(Description(type)) & 0xF;
}

std::vector<size_t> TypeLibFile::MemberRecords(int type) const {
    size_t description = Description(type);
    int32_t counts = At<int32_t>(description + kMemberCountsAt);
    int members = (counts & 0xFFFF) + ((counts >> 16) & 0xFFFF);
    size_t record = static_cast<size_t>(At<int32_t>(description + kMembersAt)) + 4;
    std::vector<size_t> records;
    for (int i = 0; i < members; ++i) {
        records.push_back(record);
        size_t length = static_cast<size_t>(At<int32_t>(record) & 0xFFFF);
        if (length <= kDescriptorSizeAt) {
            UnknownLayout();
        }
        record += length;
    }
    return records;
}

std::vector<size_t> TypeLibFile::FunctionRecords(int type) const {
    std::vector<size_t> records = MemberRecords(type);
    records.resize(static_cast<size_t>(At<int32_t>(Description(type) + kMemberCountsAt) & 0xFFFF));
    return records;
}

int TypeLibFile::VtableSize(int type) const {
    return At<int16_t>(Description(type) + kVtableSizeAt);
}

std::vector<int> TypeLibFile::FunctionOffsets(int type) const {
    std::vector<int> offsets;
    for (size_t record : FunctionRecords(type)) {
        offsets.push_back(At<int16_t>(record + kVtableOffsetAt) & ~kVtableOffsetFlag);
    }
    return offsets;
}

void TypeLibFile::CopyLayout(int type, const TypeLibFile& source, int sourceType) {
    std::vector<size_t> records = MemberRecords(type);
    std::vector<size_t> sourceRecords = source.MemberRecords(sourceType);
    std::vector<int> offsets = source.FunctionOffsets(sourceType);
    if (records.size() != sourceRecords.size() || FunctionRecords(type).size() != offsets.size()) {
        throw base::Error(E_UNEXPECTED, L"The two type libraries differ in a type's members");
    }
    Put<int16_t>(Description(type) + kVtableSizeAt,
                 static_cast<int16_t>(source.VtableSize(sourceType)));
    for (size_t i = 0; i < records.size(); ++i) {
        Put<int16_t>(records[i] + kDescriptorSizeAt,
                     source.At<int16_t>(sourceRecords[i] + kDescriptorSizeAt));
    }
    for (size_t i = 0; i < offsets.size(); ++i) {
        int16_t flag = At<int16_t>(records[i] + kVtableOffsetAt) & kVtableOffsetFlag;
        Put<int16_t>(records[i] + kVtableOffsetAt, static_cast<int16_t>(offsets[i] | flag));
    }
}

void TypeLibFile::SetEnumerationWidth(int type, int32_t width) {
    size_t description = Description(type);
    int32_t kindAndAlignment = At<int32_t>(description);
    Put<int32_t>(description, (kindAndAlignment & ~kAlignmentMask) | (width << kAlignmentShift));
    Put<int32_t>(description + kInstanceSizeAt, width);
}

} // namespace typelib
