#include "tools/ToolsApp.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "tools/ToolsSleep.h"

#include <windows.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace tools {

namespace {

// The program part of a command line as CreateProcess reads it: up to the closing quote when it
// starts with one, otherwise up to the first blank.
std::wstring ProgramName(std::wstring_view commandLine) {
    size_t start = commandLine.find_first_not_of(L" \t");
    if (start == std::wstring_view::npos) {
        return {};
    }
    std::wstring_view rest = commandLine.substr(start);
    if (rest.front() == L'"') {
        return std::wstring(rest.substr(1, rest.find(L'"', 1) - 1));
    }
    return std::wstring(rest.substr(0, rest.find_first_of(L" \t")));
}

// An inheritable duplicate of a handle of this process, for one launch.
base::UniqueHandle InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                           DUPLICATE_SAME_ACCESS)) {
        base::ThrowLastError(L"Cannot pass the output file to a new process");
    }
    return base::UniqueHandle(copy);
}

// A process attribute list naming the one handle that a child may inherit, so that the other
// inheritable handles of the host process stay out of it.
class InheritOnly {
public:
    explicit InheritOnly(HANDLE handle) : handle_(handle) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buffer_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            base::ThrowLastError(L"Cannot prepare the handle list of a new process");
        }
        list_ = list;
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_,
                                         sizeof(handle_), nullptr, nullptr)) {
            base::ThrowLastError(L"Cannot prepare the handle list of a new process");
        }
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;
    ~InheritOnly() {
        if (list_) {
            ::DeleteProcThreadAttributeList(list_);
        }
    }
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    HANDLE handle_; // UpdateProcThreadAttribute keeps a pointer to it
    std::vector<std::byte> buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

using NtQueryObjectFunction = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);

// Whether handles other than the caller's one still refer to the object (the file object that
// the child's copy shares). Answers false when the count cannot be had.
bool IsSharedWithOthers(HANDLE handle) {
    static const auto query = reinterpret_cast<NtQueryObjectFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    // PUBLIC_OBJECT_BASIC_INFORMATION: attributes, granted access, handle count, pointer count
    // and ten reserved words.
    struct {
        ULONG attributes;
        ACCESS_MASK grantedAccess;
        ULONG handleCount;
        ULONG pointerCount;
        ULONG reserved[10];
    } info{};
    static_assert(sizeof(info) == 56, "the record is 56 bytes in 32-bit and 64-bit code alike");
    constexpr int kObjectBasicInformation = 0;
    return query && query(handle, kObjectBasicInformation, &info, sizeof(info), nullptr) >= 0 &&
           info.handleCount > 1;
}

} // namespace

long ShellWait(std::wstring_view commandLine, int show, HANDLE output) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = static_cast<WORD>(show);
    DWORD flags = 0;
    if (show == SW_HIDE) {
        // No console at all, rather than a hidden one: a console costs a console host process
        // per launch, and a prompt would wait on it for input that nobody can give. The standard
        // handles are set even without an output file, so that none of the host's own reach
        // the child: what it writes goes nowhere and what it reads ends at once.
        flags = DETACHED_PROCESS;
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    }

    // The child's copy is inheritable only from here to the end of the launch, so a program that
    // another thread of the host starts meanwhile is the only one that could catch it.
    base::UniqueHandle childOutput;
    std::optional<InheritOnly> inherit;
    if (output) {
        childOutput = InheritableCopy(output);
        inherit.emplace(childOutput.get());
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = childOutput.get();
        startup.lpAttributeList = inherit->get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }

    std::wstring command(commandLine);
    PROCESS_INFORMATION process{};
    const BOOL started =
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, output ? TRUE : FALSE, flags,
                         nullptr, nullptr, &startup.StartupInfo, &process);
    const DWORD launchError = ::GetLastError();
    childOutput.reset();
    if (!started) {
        ::SetLastError(launchError);
        base::ThrowLastError(L"Cannot start the program \"" + ProgramName(commandLine) + L"\"");
    }
    base::UniqueHandle processHandle(process.hProcess);
    base::UniqueHandle threadHandle(process.hThread);
    threadHandle.reset();

    DispatchingWait wait;
    wait.Until(processHandle.get(), INFINITE);
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(processHandle.get(), &exitCode)) {
        base::ThrowLastError(L"Cannot read the exit code of a started program");
    }
    // A process that the child started and that inherited its standard output may still hold
    // the output file after the child has ended (so may the console host of a console program
    // that was shown, which lets it go some milliseconds after the child), and until then the
    // file can be neither deleted nor replaced. Give such stragglers up to a second, so that the
    // caller finds the file complete and its own; without them this costs one query.
    for (int i = 0; output && i < 200 && IsSharedWithOthers(output); ++i) {
        wait.Until(nullptr, 5);
    }
    return static_cast<long>(exitCode);
}

std::wstring QuoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        return std::wstring(argument);
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quotation mark follows them: then each one is doubled
        // and the quotation mark itself escaped.
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted.push_back(c);
        backslashes = 0;
    }
    // The closing quotation mark follows the trailing backslashes, so they are doubled too.
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

} // namespace tools
