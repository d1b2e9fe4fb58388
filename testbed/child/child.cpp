// A small program for the process-runner tests and benchmark. It carries out its arguments in
// order:
//   sleep N     waits N milliseconds
//   print TEXT  writes TEXT and a line break to standard output, in UTF-8
//   stamp       writes the performance counter and a line break to standard output
//   hold PATH   opens PATH (creating it when missing), shared with nobody, until the program ends
//   args ...    writes each of the remaining arguments on a line of its own, as
//               CommandLineToArgvW parsed them, then ends with exit code 0
//   mapping N   ends at once with exit code 1 when N (decimal) is a handle of a file mapping that
//               starts with "zu-inherit-check", else 0
//   exit N      ends at once with exit code N (decimal, may be negative)
//   exit-stamp  ends at once with the low 32 bits of the performance counter as exit code, so
//               that the parent can tell how long after the exit it saw the end
// and ends with exit code 0 when the arguments run out.
#include "base/Owners.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void Write(const std::wstring& text) {
    std::wstring line = text + L"\r\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

} // namespace

int main() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    base::UniqueLocal argvOwner(argv);
    std::vector<base::UniqueFile> held;
    for (int i = 1; i < count; ++i) {
        std::wstring command = argv[i];
        const wchar_t* value = i + 1 < count ? argv[i + 1] : L"0";
        if (command == L"sleep") {
            Sleep(static_cast<DWORD>(std::wcstol(value, nullptr, 10)));
            ++i;
        } else if (command == L"print") {
            Write(value);
            ++i;
        } else if (command == L"hold") {
            held.emplace_back(CreateFileW(value, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            ++i;
        } else if (command == L"stamp") {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            Write(std::to_wstring(now.QuadPart));
        } else if (command == L"args") {
            for (++i; i < count; ++i) {
                Write(argv[i]);
            }
        } else if (command == L"mapping") {
            const auto handle = reinterpret_cast<HANDLE>(std::wcstoll(value, nullptr, 10));
            const void* view = MapViewOfFile(handle, FILE_MAP_READ, 0, 0, 16);
            ExitProcess(view && std::memcmp(view, "zu-inherit-check", 16) == 0 ? 1 : 0);
        } else if (command == L"exit-stamp") {
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            ExitProcess(static_cast<UINT>(now.QuadPart));
        } else if (command == L"exit") {
            ExitProcess(static_cast<UINT>(std::wcstol(value, nullptr, 10)));
        }
    }
    return 0;
}
