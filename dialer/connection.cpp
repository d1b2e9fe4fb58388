/*
 * Probe, dial, hang-up and redial through the system dial-up tool RasDial.exe.
 *
 * The tool is started directly, never through the command interpreter: each value goes on its
 * command line quoted by the standard rules, so an entry name with a space stays one argument
 * and a password holding & | < > ^ % reaches the tool character for character instead of being
 * read by cmd. The listing and the dial send the tool's standard output to the capture file
 * (kTempFile, resolved against the current directory at each use), which is read back as ANSI
 * text, matched, and deleted. A dial that fails leaves the capture file for the next probe or
 * dial to replace.
 *
 * Operations that need another member of this object (the probe before a dial or hang-up, the
 * hang-up and dial of a redial) call it through the object's own interface, as a host would;
 * a failure there ends the caller at that point.
 */
#include "dialer/dialer.h"

#include "tools/ToolsApp.h"
#include "tools/ToolsFile.h"
#include "tools/ToolsRegExp.h"
#include "tools/ToolsSleep.h"

#include <initializer_list>

namespace dialer {

namespace {

constexpr wchar_t kTool[] = L"RasDial.exe";
constexpr wchar_t kDisconnect[] = L"/disconnect";

// What the tool prints after connecting, before the entry name: its Chinese wording
// (已连接, "connected") and its English one.
constexpr wchar_t kConnectedMessage[] = L"(?:\u5DF2\u8FDE\u63A5|Successfully connected to)\\s*";

// The pauses of a redial are taken in slices of this length, pumping messages before each.
constexpr long kPauseSlice = 1000;

// A connection argument, or the stored setting when the argument is exactly empty. A text of
// spaces is not empty and is used as it is.
std::wstring OrSetting(BSTR argument, const std::wstring& setting) {
    std::wstring_view text = tools::BstrView(argument);
    return text.empty() ? setting : std::wstring(text);
}

// The tool's command line: the tool as the command interpreter would find it, then each
// argument quoted so that it arrives as exactly one argument.
std::wstring ToolCommand(std::initializer_list<std::wstring_view> arguments) {
    std::wstring program = tools::FindProgram(kTool);
    if (program.empty()) {
        throw tools::Error(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                           L"The dial-up tool RasDial.exe was found neither in the current "
                           L"directory nor on the PATH");
    }
    // A path holds no quotation mark, so plain quotes keep one with blanks in one piece.
    std::wstring line = L"\"" + program + L"\"";
    for (std::wstring_view argument : arguments) {
        // A command line ends at a NUL: the tool would receive a different value.
        if (argument.find(L'\0') != std::wstring_view::npos) {
            throw tools::Error(E_INVALIDARG, L"An entry name, user name or password that holds "
                                             L"a NUL character cannot be passed to RasDial.exe");
        }
        line += L' ';
        line += tools::QuoteArgument(argument);
    }
    return line;
}

// Deletes the capture file if it is there; a file that stays is an error. (ShellWait returns
// only once nothing holds the output file any more, so it can be deleted at once.)
void DeleteCapture(const std::wstring& path) {
    if (!::DeleteFileW(path.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        tools::ThrowLastError(L"Cannot delete the capture file " + path);
    }
}

bool Matches(const std::wstring& subject, const std::wstring& pattern) {
    return tools::RegExpTest(subject, pattern, true, true, true);
}

void Pause(long milliseconds) {
    if (milliseconds > 0) {
        tools::PacedSleep(milliseconds, kPauseSlice);
    }
    tools::PacedSleep(1, kPauseSlice);
}

} // namespace

bool Dialer::Probe(const std::wstring& entry) {
    tools::UniqueBstr name(entry);
    VARIANT_BOOL connected = VARIANT_FALSE;
    tools::PassOnFailure(Self()->IsConnected(name.get(), &connected));
    return connected != VARIANT_FALSE;
}

STDMETHODIMP Dialer::IsConnected(BSTR strADSL, VARIANT_BOOL* result) {
    return Call(result, [&](bool& connected) {
        std::wstring entry(tools::BstrView(strADSL));
        // The listing's exit code says nothing about the entry; only its text counts.
        tools::ShellWait(ToolCommand({}), SW_HIDE, tempFile_);
        std::wstring listing = tools::ReadFileText(tempFile_, false);
        connected = Matches(listing, tools::RegExpEscape(entry));
        DeleteCapture(tempFile_);
    });
}

STDMETHODIMP Dialer::RasDial(BSTR strADSL, BSTR strUid, BSTR strPassword, VARIANT_BOOL* result) {
    return Call(result, [&](bool& connected) {
        std::wstring entry = OrSetting(strADSL, adsl_);
        std::wstring user = OrSetting(strUid, uid_);
        std::wstring password = OrSetting(strPassword, password_);
        if (entry.empty() || user.empty()) {
            return;
        }
        if (Probe(entry)) {
            connected = true;
            return;
        }
        long exitCode = tools::ShellWait(ToolCommand({entry, user, password}), SW_HIDE, tempFile_);
        if (exitCode != 0) {
            return;
        }
        std::wstring output = tools::ReadFileText(tempFile_, false);
        connected = Matches(output, kConnectedMessage + tools::RegExpEscape(entry));
        DeleteCapture(tempFile_);
    });
}

STDMETHODIMP Dialer::RasHangup(BSTR strADSL, VARIANT_BOOL* result) {
    return Call(result, [&](bool& disconnected) {
        std::wstring entry = OrSetting(strADSL, adsl_);
        if (entry.empty()) {
            return;
        }
        if (!Probe(entry)) {
            disconnected = true;
            return;
        }
        disconnected = tools::ShellWait(ToolCommand({entry, kDisconnect}), SW_HIDE) == 0;
    });
}

STDMETHODIMP Dialer::RasRedial(BSTR strADSL, BSTR strUid, BSTR strPassword, VARIANT_BOOL* result) {
    return Call(result, [&](bool& connected) {
        // The hang-up's own answer does not matter: the dial that follows decides.
        VARIANT_BOOL ignored = VARIANT_FALSE;
        tools::PassOnFailure(Self()->RasHangup(strADSL, &ignored));
        Pause(delayHangup_);
        VARIANT_BOOL dialled = VARIANT_FALSE;
        tools::PassOnFailure(Self()->RasDial(strADSL, strUid, strPassword, &dialled));
        connected = dialled != VARIANT_FALSE;
        Pause(delayDial_);
    });
}

} // namespace dialer
