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
 * The listing and the dial send the tool's standard output to the capture file (kTempFile in
 * the current directory). Whatever that name holds is removed first and the file is created
 * new, open to no other writer; this object keeps its handle, reads the output back through it
 * and deletes through it, so a link or a file planted under the name is never written through
 * or reopened. A dial that fails leaves the capture file for the caller to read; the next probe
 * or dial replaces it.
 *
 * Console tools write redirected output in the OEM code page, so the capture is read both as
 * OEM and as ANSI text, and a match in either counts.
 *
 * Operations that need another member of this object (the probe before a dial or hang-up, the
 * hang-up and dial of a redial) call it through the object's own interface, as a host would;
 * a failure there ends the caller at that point.
 */
#include "dialer/dialer.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "tools/ToolsApp.h"
#include "tools/ToolsFile.h"
#include "tools/ToolsRegExp.h"
#include "tools/ToolsSleep.h"
#include "tools/ToolsString.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

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

// A command line, and a compared name, end at a NUL: the tool would receive, or the probe
// compare, a different value. Such an argument is refused before anything runs.
void RefuseNul(std::initializer_list<std::wstring_view> arguments) {
    for (std::wstring_view argument : arguments) {
        if (argument.find(L'\0') != std::wstring_view::npos) {
            throw base::Error(E_INVALIDARG, L"An entry name, user name or password that holds "
                                            L"a NUL character cannot be passed to RasDial.exe");
        }
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
// exactly one argument.
std::wstring ToolCommand(std::initializer_list<std::wstring_view> arguments) {
    // A path holds no quotation mark, so plain quotes keep one with blanks in one piece.
    std::wstring line = L"\"" + ToolPath() + L"\"";
    for (std::wstring_view argument : arguments) {
        line += L' ';
        line += tools::QuoteArgument(argument);
    }
    return line;
}

std::wstring FullPathOf(const std::wstring& name) {
    wchar_t buffer[MAX_PATH];
    DWORD length = ::GetFullPathNameW(name.c_str(), MAX_PATH, buffer, nullptr);
    return length == 0 || length >= MAX_PATH ? name : std::wstring(buffer, length);
}

// The capture file, made new for one run of the tool and held by this object alone.
class CaptureFile {
public:
    // Removes whatever the name holds, then creates the file new, shared with readers only.
    // Throws, naming the file, when either step fails. On Windows, deleting a hard or symbolic
    // link removes the link and leaves what it points to (Wine follows a Unix symbolic link
    // instead), and CREATE_NEW fails on any name that is taken again meanwhile.
    explicit CaptureFile(const std::wstring& name) {
        if (!::DeleteFileW(name.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
            base::ThrowLastError(L"Cannot remove the old capture file " + FullPathOf(name));
        }
        file_.reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
        if (!file_) {
            base::ThrowLastError(L"Cannot create the capture file " + FullPathOf(name));
        }
        name_ = name;
    }

    HANDLE get() const { return file_.get(); }

    // The tool's output, decoded as OEM text and, where the system's code pages differ, as
    // ANSI text.
    std::vector<std::wstring> Readings() const {
        std::vector<unsigned char> bytes = tools::ReadOpenFileBytes(file_.get());
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::vector<std::wstring> readings{tools::FromOem(text)};
        if (::GetOEMCP() != ::GetACP()) {
            readings.push_back(tools::FromAnsi(text));
        }
        return readings;
    }

    // Deletes the file through this object's handle and lets it go; the name is free again.
    void Delete() {
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (!::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition,
                                          sizeof(disposition))) {
            base::ThrowLastError(L"Cannot delete the capture file " + FullPathOf(name_));
        }
        file_.reset();
    }

private:
    base::UniqueFile file_;
    std::wstring name_;
};

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

// Whether a whole line of the listing is the entry's name, letter case ignored and blanks
// around either set aside. An empty name is on no line.
bool IsListed(std::wstring_view listing, std::wstring_view entry) {
    const std::wstring_view name = TrimBlanks(entry);
    if (name.empty()) {
        return false;
    }
    while (!listing.empty()) {
        const size_t end = listing.find_first_of(L"\r\n");
        const std::wstring_view line = TrimBlanks(listing.substr(0, end));
        if (::CompareStringOrdinal(line.data(), static_cast<int>(line.size()), name.data(),
                                   static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
        listing = end == std::wstring_view::npos ? std::wstring_view() : listing.substr(end + 1);
    }
    return false;
}

bool Matches(const std::wstring& subject, const std::wstring& pattern) {
    return tools::RegExpTest(subject, pattern, true, true, true);
}

template <class Test> bool AnyReading(const std::vector<std::wstring>& readings, Test test) {
    for (const std::wstring& reading : readings) {
        if (test(reading)) {
            return true;
        }
    }
    return false;
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
        RefuseNul({entry});
        const std::wstring command = ToolCommand({});
        CaptureFile listing(tempFile_);
        // The listing's exit code says nothing about the entry; only its text counts.
        tools::ShellWait(command, SW_HIDE, listing.get());
        connected = AnyReading(listing.Readings(),
                               [&](const std::wstring& text) { return IsListed(text, entry); });
        listing.Delete();
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
        RefuseNul({entry, user, password});
        if (Probe(entry)) {
            connected = true;
            return;
        }
        const std::wstring command = ToolCommand({entry, user, password});
        CaptureFile output(tempFile_);
        if (tools::ShellWait(command, SW_HIDE, output.get()) != 0) {
            return; // the capture stays for the caller to read
        }
        const std::wstring announcement = kConnectedMessage + tools::RegExpEscape(entry);
        const bool announced = AnyReading(output.Readings(), [&](const std::wstring& text) {
            return Matches(text, announcement);
        });
        output.Delete();
        // The tool speaks the system's language; where its words are unknown, the listing
        // tells whether the entry came up.
        connected = announced || Probe(entry);
    });
}

STDMETHODIMP Dialer::RasHangup(BSTR strADSL, VARIANT_BOOL* result) {
    return Call(result, [&](bool& disconnected) {
        std::wstring entry = OrSetting(strADSL, adsl_);
        if (entry.empty()) {
            return;
        }
        RefuseNul({entry});
        if (!Probe(entry)) {
            disconnected = true;
            return;
        }
        disconnected = tools::ShellWait(ToolCommand({entry, kDisconnect}), SW_HIDE) == 0;
    });
}

STDMETHODIMP Dialer::RasRedial(BSTR strADSL, BSTR strUid, BSTR strPassword, VARIANT_BOOL* result) {
    return Call(result, [&](bool& connected) {
        RefuseNul({base::BstrView(strADSL), base::BstrView(strUid), base::BstrView(strPassword)});
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
