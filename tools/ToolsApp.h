// Running another program and waiting for it while the calling thread keeps answering its
// messages; building the command lines that such a run takes.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tools {

// Runs commandLine (passed to CreateProcess unchanged: no quoting, no program path added) as a
// new process whose window is shown with `show`. 0 hides it: a console program then runs with no
// console at all (DETACHED_PROCESS) and with no standard handles but the output file, so what it
// prints goes nowhere else and a prompt reads nothing and ends at once instead of waiting; a
// console program that it starts in turn would get a console window of its own. Waits until the
// process ends while dispatching the calling thread's messages as they arrive (a WM_QUIT met on
// the way is held back and posted again at the end), and returns the process's exit code, 259
// included.
// When output is given (an open file of the caller's, with write access), the child's standard
// output goes to it; standard input and standard error are then not connected. The child gets an
// inheritable duplicate of that handle, made just for the launch and closed right after it, and
// inherits nothing else; the caller's own handle is never inheritable. On return no other
// process holds the file open any longer (stragglers that inherited it from the child are given
// up to a second to let it go).
// Throws base::Error(HRESULT_FROM_WIN32(error)) naming the program when it cannot be started;
// nothing runs then.
long ShellWait(std::wstring_view commandLine, int show, HANDLE output = nullptr);

// One argument quoted so that CommandLineToArgvW (and the C runtime) parse it back character for
// character: kept as it is when it has no blank or quotation mark, otherwise enclosed in quotes
// with the backslashes before a quote or before the closing quote doubled; the empty argument
// becomes "". The program name (the first argument) is parsed by simpler rules, but a path, which
// cannot hold a quotation mark, comes out right by either.
std::wstring QuoteArgument(std::wstring_view argument);

} // namespace tools
