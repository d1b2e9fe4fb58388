#include "tools/ToolsApp.h"

#include "tools/Error.h"
#include "tools/Owners.h"
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

// A file for the child's standard output, its handle inheritable.
UniqueHandle CreateOutputFile(std::wstring_view path) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    std::wstring name(path);
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ThrowLastError(L"Cannot create the output file \"" + name + L"\"");
    }
    return UniqueHandle(file);
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
            ThrowLastError(L"Cannot prepare the handle list of a new process");
        }
        list_ = list;
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_,
                                         sizeof(handle_), nullptr, nullptr)) {
            ThrowLastError(L"Cannot prepare the handle list of a new process");
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

// Waits of the calling thread that keep dispatching its messages whenever some arrive. A WM_QUIT
// would keep such a wait waking at once, so once one is met the waits only answer messages sent
// from other threads, and the quit is posted again when the waiting is over.
class DispatchingWait {
public:
    DispatchingWait() { Take(PumpMessagesUntilQuit()); }
    DispatchingWait(const DispatchingWait&) = delete;
    DispatchingWait& operator=(const DispatchingWait&) = delete;
    ~DispatchingWait() {
        if (quitHeld_) {
            ::PostQuitMessage(quitCode_);
        }
    }

    // Waits until handle is signalled (true) or the time-out has passed (false). Without a
    // handle it only waits for the time-out.
    bool Until(HANDLE handle, DWORD timeout) {
        const DWORD count = handle ? 1 : 0;
        const ULONGLONG start = ::GetTickCount64();
        for (;;) {
            DWORD remaining = INFINITE;
            if (timeout != INFINITE) {
                const ULONGLONG elapsed = ::GetTickCount64() - start;
                remaining = elapsed >= timeout ? 0 : static_cast<DWORD>(timeout - elapsed);
            }
            const DWORD wake = quitHeld_ ? QS_SENDMESSAGE : QS_ALLINPUT;
            const DWORD result =
                ::MsgWaitForMultipleObjectsEx(count, &handle, remaining, wake, MWMO_INPUTAVAILABLE);
            if (count && result == WAIT_OBJECT_0) {
                return true;
            }
            if (result == WAIT_TIMEOUT) {
                return false;
            }
            if (result != WAIT_OBJECT_0 + count) {
                ThrowLastError(L"Cannot wait for a started program");
            }
            if (quitHeld_) {
                MSG msg;
                ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            } else {
                Take(PumpMessagesUntilQuit());
            }
        }
    }

private:
    void Take(std::optional<int> quit) {
        if (quit) {
            quitHeld_ = true;
            quitCode_ = *quit;
        }
    }

    bool quitHeld_ = false;
    int quitCode_ = 0;
};

// Whether some other handle still holds the file open (a plain open that shares nothing fails).
bool IsHeldOpen(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
    ::CloseHandle(file);
    return false;
}

std::wstring EnvironmentVariable(const wchar_t* name) {
    DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    size = ::GetEnvironmentVariableW(name, value.data(), size);
    value.resize(size < value.size() ? size : 0);
    return value;
}

// The entries of a semicolon-separated list such as PATH, without quotes and empty entries.
std::vector<std::wstring> SplitList(std::wstring_view list) {
    std::vector<std::wstring> entries;
    while (!list.empty()) {
        size_t end = list.find(L';');
        std::wstring entry;
        for (wchar_t c : list.substr(0, end)) {
            if (c != L'"') {
                entry.push_back(c);
            }
        }
        if (!entry.empty()) {
            entries.push_back(std::move(entry));
        }
        list = end == std::wstring_view::npos ? std::wstring_view() : list.substr(end + 1);
    }
    return entries;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/' || c == L':';
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The full path of a file, its name spelt as it is on disk (the extensions of PATHEXT are upper
// case, the files seldom).
std::wstring FullPath(const std::wstring& path) {
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    size = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(size < full.size() ? size : 0);
    if (full.empty()) {
        return path;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(full.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        ::FindClose(find);
        full.replace(full.find_last_of(L'\\') + 1, std::wstring::npos, data.cFileName);
    }
    return full;
}

} // namespace

long ShellWait(std::wstring_view commandLine, int show, std::wstring_view outputFile) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = static_cast<WORD>(show);
    DWORD flags = show == SW_HIDE ? CREATE_NO_WINDOW : 0;

    UniqueHandle output;
    std::optional<InheritOnly> inherit;
    if (!outputFile.empty()) {
        output = CreateOutputFile(outputFile);
        inherit.emplace(output.get());
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = output.get();
        startup.lpAttributeList = inherit->get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }

    std::wstring command(commandLine);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, output ? TRUE : FALSE, flags,
                          nullptr, nullptr, &startup.StartupInfo, &process)) {
        ThrowLastError(L"Cannot start the program \"" + ProgramName(commandLine) + L"\"");
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    // The child holds its own copy of the output handle from here on.
    output.reset();
    threadHandle.reset();

    DispatchingWait wait;
    wait.Until(processHandle.get(), INFINITE);
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(processHandle.get(), &exitCode)) {
        ThrowLastError(L"Cannot read the exit code of a started program");
    }
    // Under Wine a windowless console program gets a console host process that inherits the
    // child's handles and closes them only some milliseconds after the child has ended; until
    // then the output file can be neither deleted nor replaced. Give such stragglers up to a
    // second, so that the caller finds the file complete and free.
    if (!outputFile.empty()) {
        const std::wstring path(outputFile);
        for (int i = 0; i < 200 && IsHeldOpen(path); ++i) {
            wait.Until(nullptr, 5);
        }
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

std::wstring FindProgram(std::wstring_view name) {
    if (name.empty()) {
        return {};
    }
    size_t fileStart = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsSeparator(name[i])) {
            fileStart = i + 1;
        }
    }
    const bool hasDirectory = fileStart != 0;
    const bool hasExtension = name.find(L'.', fileStart) != std::wstring_view::npos;

    std::vector<std::wstring> extensions;
    if (hasExtension) {
        extensions.emplace_back();
    } else {
        std::wstring pathext = EnvironmentVariable(L"PATHEXT");
        extensions = SplitList(pathext.empty() ? L".COM;.EXE;.BAT;.CMD" : pathext);
    }
    auto findIn = [&](const std::wstring& stem) -> std::wstring {
        for (const std::wstring& extension : extensions) {
            std::wstring candidate = stem + extension;
            if (IsFile(candidate)) {
                return FullPath(candidate);
            }
        }
        return {};
    };

    std::wstring found = findIn(std::wstring(name));
    if (!found.empty() || hasDirectory) {
        return found;
    }
    for (std::wstring& directory : SplitList(EnvironmentVariable(L"PATH"))) {
        if (!IsSeparator(directory.back())) {
            directory.push_back(L'\\');
        }
        found = findIn(directory + std::wstring(name));
        if (!found.empty()) {
            return found;
        }
    }
    return {};
}

} // namespace tools
