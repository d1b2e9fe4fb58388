#include "tools/ToolsApp.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "testbed/message_window.h"
#include "testbed/temp_path.h"
#include "tools/ToolsFile.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

// A command line that runs the test child program with the given arguments.
std::wstring Child(const std::wstring& arguments) {
    return tools::QuoteArgument(ProgramDirectory() + L"zu_child.exe") + L" " + arguments;
}

// A file for a child's output as the dialer makes its capture file: the handle is not
// inheritable and the file is shared with readers only.
class OutputFile {
public:
    explicit OutputFile(const std::wstring& name)
        : path_(testbed::TempPath(L"-" + name)),
          handle_(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, 0, nullptr)) {}
    ~OutputFile() {
        handle_.reset();
        DeleteFileW(path_.c_str());
    }
    HANDLE get() const { return handle_.get(); }
    std::wstring Text() const { return tools::ReadFileText(path_, true); }

private:
    std::wstring path_;
    base::UniqueFile handle_;
};

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

TEST(ShellWait, ReturnsTheExitCodeOfTheChild) {
    EXPECT_EQ(tools::ShellWait(Child(L"exit 0"), SW_HIDE), 0);
    EXPECT_EQ(tools::ShellWait(Child(L"exit 2"), SW_HIDE), 2);
    EXPECT_EQ(tools::ShellWait(Child(L"exit -1"), SW_HIDE), -1);
    EXPECT_EQ(tools::ShellWait(L"cmd /c exit 3", SW_HIDE), 3);
}

TEST(ShellWait, SeesAChildThatReallyExitsWith259End) {
    EXPECT_EQ(tools::ShellWait(Child(L"exit 259"), SW_HIDE), 259);
    const double start = Now();
    EXPECT_EQ(tools::ShellWait(Child(L"sleep 300 exit 259"), SW_HIDE), 259);
    EXPECT_GE(Now() - start, 0.29);
}

TEST(ShellWait, AMissingProgramFailsNamingIt) {
    try {
        tools::ShellWait(L"zu-no-such-program.exe /x", SW_HIDE);
        FAIL() << "no error";
    } catch (const base::Error& error) {
        EXPECT_EQ(error.hr(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        EXPECT_NE(error.description().find(L"zu-no-such-program.exe"), std::wstring::npos)
            << error.description();
    }
}

TEST(ShellWait, SendsStandardOutputToTheCallersFileAndKeepsItsHandleToItself) {
    OutputFile output(L"output.txt");
    EXPECT_EQ(tools::ShellWait(Child(L"print first print \u5df2\u8fde\u63a5 exit 4"), SW_HIDE,
                               output.get()),
              4);
    EXPECT_EQ(output.Text(), L"first\r\n\u5df2\u8fde\u63a5\r\n");
    // Only a copy made for the launch was inheritable; the caller's own handle never was.
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(output.get(), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
}

TEST(ShellWait, TheChildInheritsTheOutputFileAndNothingElse) {
    // An inheritable handle of this process that the child can recognise.
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    base::UniqueHandle mapping(
        CreateFileMappingW(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0, 16, nullptr));
    ASSERT_TRUE(mapping);
    void* view = MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 16);
    memcpy(view, "zu-inherit-check", 16);
    UnmapViewOfFile(view);
    const std::wstring check =
        Child(L"mapping " + std::to_wstring(reinterpret_cast<uintptr_t>(mapping.get())));
    OutputFile output(L"inherit.txt");

    EXPECT_EQ(tools::ShellWait(check, SW_HIDE, output.get()), 0);
    // The check itself: a child that inherits everything finds the mapping.
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command = check;
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process));
    base::UniqueHandle child(process.hProcess), thread(process.hThread);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.get(), &exitCode);
    EXPECT_EQ(exitCode, 1u);
}

// How promptly and at what processor cost the wait answers is measured by the process-runner
// benchmark; here, that messages are answered at all while the child runs.
TEST(ShellWait, AnswersMessagesWhileTheChildRuns) {
    const testbed::MessageWindow window(L"zu-shell-wait-test");
    ASSERT_TRUE(window.get());
    std::thread poster([&] {
        for (int i = 0; i < 5; ++i) {
            Sleep(150);
            PostMessageW(window.get(), WM_APP, 0, 0);
        }
    });
    EXPECT_EQ(tools::ShellWait(Child(L"sleep 1200"), SW_HIDE), 0);
    poster.join();
    EXPECT_EQ(window.appMessages(), 5);
}

TEST(ShellWait, HoldsAQuitBackUntilTheChildEnds) {
    PostQuitMessage(7);
    EXPECT_EQ(tools::ShellWait(Child(L"sleep 400 exit 1"), SW_HIDE), 1);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
}

const std::vector<std::wstring> kTrickyArguments = {
    L"plain",
    L"",
    L"two words",
    L"tab\there",
    L"say \"hi\"",
    L"\"",
    L"end\\",
    L"a b\\",
    L"a\\\\b",
    L"a\\\"b",
    L"\\\\x\\\\",
    L"\\\\server\\share\\",
    L"\u5bbd\u5e26 \u8fde\u63a5",
};

TEST(QuoteArgument, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(tools::QuoteArgument(L"plain"), L"plain");
    EXPECT_EQ(tools::QuoteArgument(L"C:\\dir\\x.exe"), L"C:\\dir\\x.exe");
    EXPECT_EQ(tools::QuoteArgument(L""), L"\"\"");
    EXPECT_EQ(tools::QuoteArgument(L"a b"), L"\"a b\"");
    EXPECT_EQ(tools::QuoteArgument(L"a b\\"), L"\"a b\\\\\"");
    EXPECT_EQ(tools::QuoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
}

TEST(QuoteArgument, ArgumentsParseBackCharacterForCharacter) {
    std::wstring commandLine = L"program.exe";
    for (const std::wstring& argument : kTrickyArguments) {
        commandLine += L" " + tools::QuoteArgument(argument);
    }
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &count);
    base::UniqueLocal argvOwner(argv);
    ASSERT_TRUE(argv);
    std::vector<std::wstring> parsed(argv + 1, argv + count);
    EXPECT_EQ(parsed, kTrickyArguments) << commandLine;
}

TEST(QuoteArgument, AChildReceivesTheArgumentsAsGiven) {
    std::wstring arguments = L"args";
    std::wstring expected;
    for (const std::wstring& argument : kTrickyArguments) {
        arguments += L" " + tools::QuoteArgument(argument);
        expected += argument + L"\r\n";
    }
    OutputFile output(L"args.txt");
    EXPECT_EQ(tools::ShellWait(Child(arguments), SW_HIDE, output.get()), 0);
    EXPECT_EQ(output.Text(), expected);
}

} // namespace
