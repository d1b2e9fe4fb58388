#include "testbed/temp_path.h"

#include <windows.h>

#include <atomic>

namespace testbed {

std::wstring TempPath(std::wstring_view suffix) {
    static std::atomic<unsigned> serial{0};
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    std::wstring path = std::wstring(folder, length) + L"zu-" +
                        std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(++serial) + std::wstring(suffix);
    ::DeleteFileW(path.c_str());
    return path;
}

ScratchFile::~ScratchFile() {
    if (!path_.empty()) {
        ::DeleteFileW(path_.c_str());
    }
}

} // namespace testbed
