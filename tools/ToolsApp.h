// Running another program and waiting for it while the calling thread keeps answering its
// messages; building and resolving the command lines that such a run takes.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// Runs commandLine (passed to CreateProcess unchanged: no quoting, no program path added) as a
// new process whose window is shown with `show`; 0 hides it, and a console program then gets no
// console window of its own. Waits until the process ends while dispatching the calling thread's
// messages as they arrive (a WM_QUIT met on the way is held back and posted again at the end),
// and returns the process's exit code, 259 included.
// When outputFile is not empty, the file is created (or replaced) and the child's standard output
// goes to it; standard input and standard error are then not connected. The child inherits that
// one handle and no other. On return no process holds the file open any longer (stragglers that
// inherited it from the child are given up to a second to let it go).
// Throws tools::Error(HRESULT_FROM_WIN32(error)) naming the program when it cannot be started,
// and naming the file when the output file cannot be created; nothing runs then.
long ShellWait(std::wstring_view commandLine, int show, std::wstring_view outputFile = {});

// One argument quoted so that CommandLineToArgvW (and the C runtime) parse it back character for
// character: kept as it is when it has no blank or quotation mark, otherwise enclosed in quotes
// with the backslashes before a quote or before the closing quote doubled; the empty argument
// becomes "". The program name (the first argument) is parsed by simpler rules, but a path, which
// cannot hold a quotation mark, comes out right by either.
std::wstring QuoteArgument(std::wstring_view argument);

// The file that the command interpreter would run for a program typed by name: a name with a
// directory part is looked up there only; a bare name in the current directory first and then in
// each directory of PATH in order. A name without an extension is tried with each extension of
// PATHEXT in turn (.COM;.EXE;.BAT;.CMD when PATHEXT is not set). Gives the full path, or the
// empty text when there is no such file.
std::wstring FindProgram(std::wstring_view name);

} // namespace tools
