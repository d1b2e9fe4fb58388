/*
 * Probe, dial, hang-up and redial through the system dial-up tool RasDial.exe.
 *
 * Scripts that dial often run with more rights than the people who can write to their current
 * directory or to a folder on the PATH, and the tool receives the password. So the tool is
 * started by its full path in the system directory only, never looked up along the current
 * directory or the PATH, and directly, never through the command interpreter: each value goes
 * on its command line quoted by the standard rules, so an entry name with a space stays one
 * argument and a password holding & | < > ^ % reaches the tool character for character.
 *
 * The tool takes an argument that begins with "/" for one of its switches, so an entry name,
 * user name or password that begins with one is refused rather than passed on as another
 * command; so is a command line longer than Windows hands to a program, which would arrive cut.
 *
 * The listing and the dial send the tool's standard output to the capture file (kTempFile in
 * the current directory), in turns with every other listing and dial on that file (see
 * capture_file.cpp). Whatever that name holds is removed first and the file is created new,
 * open to nobody else; this object keeps its handle, reads the output back through it and
 * deletes through it, so a link or a file planted under the name is never written through or
 * reopened. A dial that fails leaves the capture file for the caller to read; the next probe or
 * dial replaces it.
 *
 * The tool runs hidden with no console (see ShellWait), so a prompt of its own, such as the one
 * that a password of "*" asks for, reads nothing and ends instead of waiting for an answer.
 *
 * Console tools write redirected output in the OEM code page, so the capture is read both as
 * OEM and as ANSI text, and a match in either counts.
 *
 * Operations that need another member of this object (the probe before a dial or hang-up, the
 * hang-up and dial of a redial) call it through the object's own interface, as a host would;
 * a failure there ends the caller at that point.
 */
#include "dialer/dialer.h"

#include "dialer/capture_file.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "tools/ToolsApp.h"
#include "tools/ToolsRegExp.h"
#include "tools/ToolsSleep.h"
#include "tools/ToolsString.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

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
    std::wstring_view text = base::BstrView(argument);
    return text.empty() ? setting : std::wstring(text);
}

// The longest command line that CreateProcess takes, its terminating NUL included.
constexpr size_t kMaxCommandLine = 32767;

// A value on the tool's command line, and what it is to a person; no role marks one of this
// code's own switches.
struct ToolArgument {
    std::wstring_view value;
    const wchar_t* role = nullptr;
};

constexpr wchar_t kEntryRole[] = L"entry name";
constexpr wchar_t kUserRole[] = L"user name";
constexpr wchar_t kPasswordRole[] = L"password";

[[noreturn]] void Refuse(const wchar_t* role, const std::wstring& why) {
    throw base::Error(E_INVALIDARG, std::wstring(L"The ") + role + L" " + why);
}

// A command line, and a compared name, end at a NUL: the tool would receive, or the probe
// compare, a different value.
void RefuseNul(std::wstring_view value, const wchar_t* role) {
    if (value.find(L'\0') != std::wstring_view::npos) {
        Refuse(role, L"holds a NUL character, which would cut it short; nothing was run");
    }
}

// Each value is refused before anything runs when the tool would not receive it as that value.
void CheckToolArgument(const ToolArgument& argument) {
    RefuseNul(argument.value, argument.role);
    if (argument.value.starts_with(L'/')) {
        Refuse(argument.role, std::wstring(L"begins with \"/\", which RasDial.exe would take for "
                                           L"one of its switches rather than for the ") +
                                  argument.role + L"; nothing was run");
    }
}

// The tool in the system directory. For a 32-bit process on 64-bit Windows the file-system
// redirection turns that folder into SysWOW64, which holds the 32-bit tool.
std::wstring ToolPath() {
    wchar_t directory[MAX_PATH];
    UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        base::ThrowLastError(L"Cannot find the system directory");
    }
    std::wstring path = std::wstring(directory, length) + L"\\" + kTool;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw base::Error(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                          L"The dial-up tool " + path + L" does not exist");
    }
    return path;
}

// The tool's command line: its full path, then each argument quoted so that it arrives as
// exactly one argument. Refused, naming the longest value, when Windows would cut it.
std::wstring ToolCommand(std::initializer_list<ToolArgument> arguments) {
    const ToolArgument* longest = nullptr;
    for (const ToolArgument& argument : arguments) {
        if (argument.role) {
            CheckToolArgument(argument);
            if (!longest || argument.value.size() > longest->value.size()) {
                longest = &argument;
            }
        }
    }
    // A path holds no quotation mark, so plain quotes keep one with blanks in one piece.
    std::wstring line = L"\"" + ToolPath() + L"\"";
    for (const ToolArgument& argument : arguments) {
        line += L' ';
        line += tools::QuoteArgument(argument.value);
    }
    if (line.size() + 1 > kMaxCommandLine && longest) {
        Refuse(longest->role,
               L"is too long: the command line for RasDial.exe would be " +
                   std::to_wstring(line.size()) + L" characters long, and Windows passes at most " +
                   std::to_wstring(kMaxCommandLine - 1) + L" to a program; nothing was run");
    }
    return line;
}

std::wstring ListingCommand() {
    return ToolCommand({});
}

std::wstring DialCommand(std::wstring_view entry, std::wstring_view user,
                         std::wstring_view password) {
    return ToolCommand({{entry, kEntryRole}, {user, kUserRole}, {password, kPasswordRole}});
}

std::wstring DisconnectCommand(std::wstring_view entry) {
    return ToolCommand({{entry, kEntryRole}, {kDisconnect}});
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f';
}

std::wstring_view TrimBlanks(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameName(std::wstring_view line, std::wstring_view name) {
    return ::CompareStringOrdinal(line.data(), static_cast<int>(line.size()), name.data(),
                                  static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// Whether the entry is one of the names that the listing gives. In every language the listing
// is a heading line (connected entries follow, or none are connected), the names one a line,
// and a closing line (the command completed); so the names are the lines between the first and
// the last non-empty line, and the tool's own lines are never taken for one. A whole line must
// be the name, letter case ignored and blanks around either set aside. An empty name is on no
// line.
bool IsListed(std::wstring_view listing, std::wstring_view entry) {
    const std::wstring_view name = TrimBlanks(entry);
    if (name.empty()) {
        return false;
    }
    bool headingSeen = false;
    std::optional<std::wstring_view> previous; // a name unless it turns out to be the last line
    while (!listing.empty()) {
        const size_t end = listing.find_first_of(L"\r\n");
        const std::wstring_view line = TrimBlanks(listing.substr(0, end));
        listing = end == std::wstring_view::npos ? std::wstring_view() : listing.substr(end + 1);
        if (line.empty()) {
            continue;
        }
        if (!headingSeen) {
            headingSeen = true;
            continue;
        }
        if (previous && SameName(*previous, name)) {
            return true;
        }
        previous = line;
    }
    return false;
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
    base::UniqueBstr name(entry);
    VARIANT_BOOL connected = VARIANT_FALSE;
    base::PassOnFailure(Self()->IsConnected(name.get(), &connected));
    return connected != VARIANT_FALSE;
}

STDMETHODIMP Dialer::IsConnected(BSTR strADSL, VARIANT_BOOL* result) {
    return Call(result, [&](bool& connected) {
        std::wstring_view entry = base::BstrView(strADSL);
        RefuseNul(entry, kEntryRole);
        const std::wstring command = ListingCommand();
        CaptureFile listing(tempFile_);
        // The listing's exit code says nothing about the entry; only its text counts.
        tools::ShellWait(command, SW_HIDE, listing.get());
        connected =
            listing.AnyReading([&](const std::wstring& text) { return IsListed(text, entry); });
        listing.Delete();
    });
}

namespace {

// Runs the dial with its output captured. Nothing when the tool fails (the capture stays for the
// caller to read), otherwise whether its output announces the entry as connected.
std::optional<bool> DialAnnounced(const std::wstring& command, const std::wstring& entry,
                                  const std::wstring& captureName) {
    CaptureFile output(captureName);
    if (tools::ShellWait(command, SW_HIDE, output.get()) != 0) {
        return std::nullopt;
    }
    const std::wstring announcement = kConnectedMessage + tools::RegExpEscape(entry);
    const bool announced =
        output.AnyReading([&](const std::wstring& text) { return Matches(text, announcement); });
    output.Delete();
    return announced;
}

} // namespace

STDMETHODIMP Dialer::RasDial(BSTR strADSL, BSTR strUid, BSTR strPassword, VARIANT_BOOL* result) {
    return Call(result, [&](bool& connected) {
        std::wstring entry = OrSetting(strADSL, adsl_);
        std::wstring user = OrSetting(strUid, uid_);
        std::wstring password = OrSetting(strPassword, password_);
        if (entry.empty() || user.empty()) {
            return;
        }
        const std::wstring command = DialCommand(entry, user, password);
        if (Probe(entry)) {
            connected = true;
            return;
        }
        const std::optional<bool> announced = DialAnnounced(command, entry, tempFile_);
        // The tool speaks the system's language; where its words are unknown, the listing
        // tells whether the entry came up.
        connected = announced && (*announced || Probe(entry));
    });
}

STDMETHODIMP Dialer::RasHangup(BSTR strADSL, VARIANT_BOOL* result) {
    return Call(result, [&](bool& disconnected) {
        std::wstring entry = OrSetting(strADSL, adsl_);
        if (entry.empty()) {
            return;
        }
        const std::wstring command = DisconnectCommand(entry);
        if (!Probe(entry)) {
            disconnected = true;
            return;
        }
        disconnected = tools::ShellWait(command, SW_HIDE) == 0;
    });
}

STDMETHODIMP Dialer::RasRedial(BSTR strADSL, BSTR strUid, BSTR strPassword, VARIANT_BOOL* result) {
    return Call(result, [&](bool& connected) {
        // What the hang-up or the dial would refuse is refused before either runs the tool.
        const std::wstring entry = OrSetting(strADSL, adsl_);
        const std::wstring user = OrSetting(strUid, uid_);
        if (!entry.empty()) {
            DisconnectCommand(entry);
            if (!user.empty()) {
                DialCommand(entry, user, OrSetting(strPassword, password_));
            }
        }
        // The hang-up's own answer does not matter: the dial that follows decides.
        VARIANT_BOOL ignored = VARIANT_FALSE;
        base::PassOnFailure(Self()->RasHangup(strADSL, &ignored));
        Pause(delayHangup_);
        VARIANT_BOOL dialled = VARIANT_FALSE;
        base::PassOnFailure(Self()->RasDial(strADSL, strUid, strPassword, &dialled));
        connected = dialled != VARIANT_FALSE;
        Pause(delayDial_);
    });
}

} // namespace dialer
