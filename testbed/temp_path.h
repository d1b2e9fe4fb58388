// Files of tests and benchmarks in the temporary folder: each path is this process's own, and
// the file behind it is gone before and after its owner's use.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace testbed {

// A path in the temporary folder that no other call of this process gives: "zu-", the process
// id, a serial number and the suffix. Wine reuses process ids, so whatever a file of an earlier
// run left at the path is deleted first.
std::wstring TempPath(std::wstring_view suffix);

// A file at a TempPath, deleted when the owner goes.
class ScratchFile {
public:
    explicit ScratchFile(std::wstring_view suffix) : path_(TempPath(suffix)) {}
    ScratchFile(ScratchFile&& other) noexcept : path_(std::move(other.path_)) {
        other.path_.clear();
    }
    ScratchFile& operator=(ScratchFile&&) = delete;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile();

    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

} // namespace testbed
