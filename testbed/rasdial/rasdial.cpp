/*
 * RasDial.exe stand-in for the tests and the demo: Wine has no dial-up tool, and tests need one
 * whose phone book, answers and timing they control. It accepts the tool's three command forms
 *
 *   RasDial.exe                          lists the connected entries
 *   RasDial.exe entry user password      connects the entry
 *   RasDial.exe entry user *             asks for the password first, as the tool does
 *   RasDial.exe entry /disconnect        disconnects it
 *
 * and answers as the tool does: messages on standard output (in English, Chinese, German or
 * French: the listing's heading and closing lines in each, the other messages in English or
 * Chinese), in
 * the system ANSI code page or, like the real tool's redirected output, in the OEM code page,
 * exit code 0 on success and a Remote Access error code on failure. Like
 * the tool, a program of the ANSI family, it sees its command line through the ANSI code page:
 * characters that the code page cannot hold arrive as whatever the conversion makes of them.
 *
 * A password of "*" makes the tool prompt for the password. The stand-in prints its prompt and
 * reads the answer from the console, where a prompt that hides what is typed reads it. Without a
 * console nothing can be read and the password is the empty one; a console that nobody answers
 * is waited on for at most kPromptWait (a hidden one would keep the tool waiting for ever, but a
 * test run must end), and then the dial fails with kPromptUnanswered.
 *
 * It is installed where the real tool lives (the system directory), so all it knows lives in
 * one directory of the caller's choosing: RASDIAL_SIM_DIR when that is set, otherwise the
 * current directory.
 *
 *   rasdial.cfg    settings, UTF-8, one "key=value" a line; unknown keys are ignored:
 *                    entry=<name><TAB><user><TAB><password>   a phone-book entry (repeatable)
 *                    language=en | zh | de | fr  default: zh when the ANSI code page is 936,
 *                                         else en
 *                    codepage=ansi | oem  the code page of the output, default ansi
 *                    dialfail=691         exit code of a dial with the wrong user or password
 *                    disconnectfail=0     when not 0, every disconnect fails with this code
 *                    dialms=0             how long a dial takes, in milliseconds
 *                    listms=0             how long a listing takes, in milliseconds
 *                    listgate=<file name> a listing waits, besides listms, until this file
 *                                         exists in the directory (at most 60 seconds), so
 *                                         that a test knows a probe is under way
 *                    flood=0              bytes of filler lines that the listing prints after
 *                                         its heading, to stand for a tool gone wild
 *   connected.txt  the connected entries, one a line, UTF-8; kept between runs
 *   calls.log      one line appended per run, UTF-8, written first thing: the start time
 *                  (milliseconds since 1601, UTC), the argument count, then each argument,
 *                  all separated by tabs; inside an argument \ TAB CR LF are written as
 *                  \\ \t \r \n, so every argument vector reads back exactly.
 */
#include "base/Owners.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kEntryNotFound = 623; // the phone book holds no such entry
constexpr int kInvalidParameter = 87;
constexpr int kPromptUnanswered = 1223; // the operation was cancelled by the user
constexpr DWORD kPromptWait = 5000;

struct Entry {
    std::wstring name, user, password;
};

struct Settings {
    std::vector<Entry> entries;
    std::wstring language = ::GetACP() == 936 ? L"zh" : L"en";
    UINT codePage = CP_ACP;
    int dialFail = 691;
    int disconnectFail = 0;
    int dialMs = 0;
    int listMs = 0;
    std::wstring listGate;
    int flood = 0;
};

// One message in the languages that the stand-in speaks; an empty wording is said in English.
struct Words {
    std::wstring english, chinese, german = {}, french = {};
};

const Words kNoConnections{L"No connections", L"没有连接", L"Keine Verbindungen",
                           L"Aucune connexion"};

std::wstring FromCodePage(UINT codePage, std::string_view bytes) {
    int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                       nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                          length);
    return text;
}

std::string ToCodePage(UINT codePage, std::wstring_view text) {
    int length = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          length, nullptr, nullptr);
    return bytes;
}

base::UniqueFile OpenFile(const std::wstring& path, DWORD access, DWORD disposition) {
    return base::UniqueFile(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring ReadText(const std::wstring& path) {
    base::UniqueFile file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    std::wstring text = FromCodePage(CP_UTF8, bytes);
    if (!text.empty() && text.front() == 0xFEFF) {
        text.erase(0, 1);
    }
    return text;
}

void WriteBytes(HANDLE handle, std::string_view bytes) {
    DWORD written = 0;
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> parts;
    for (size_t start = 0;;) {
        size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::wstring_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (std::wstring& line : Split(text, L'\n')) {
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring Directory() {
    wchar_t buffer[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableW(L"RASDIAL_SIM_DIR", buffer, MAX_PATH);
    std::wstring dir;
    if (length > 0 && length < MAX_PATH) {
        dir.assign(buffer, length);
    } else {
        dir.assign(buffer, ::GetCurrentDirectoryW(MAX_PATH, buffer));
    }
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') {
        dir += L'\\';
    }
    return dir;
}

Settings LoadSettings(const std::wstring& path) {
    Settings settings;
    for (const std::wstring& line : Lines(ReadText(path))) {
        size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) {
            continue;
        }
        std::wstring key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == L"entry") {
            std::vector<std::wstring> fields = Split(value, L'\t');
            fields.resize(3);
            settings.entries.push_back({fields[0], fields[1], fields[2]});
        } else if (key == L"language") {
            settings.language = value;
        } else if (key == L"codepage") {
            settings.codePage = value == L"oem" ? CP_OEMCP : CP_ACP;
        } else if (key == L"dialfail") {
            settings.dialFail = _wtoi(value.c_str());
        } else if (key == L"disconnectfail") {
            settings.disconnectFail = _wtoi(value.c_str());
        } else if (key == L"dialms") {
            settings.dialMs = _wtoi(value.c_str());
        } else if (key == L"listms") {
            settings.listMs = _wtoi(value.c_str());
        } else if (key == L"listgate") {
            settings.listGate = value;
        } else if (key == L"flood") {
            settings.flood = _wtoi(value.c_str());
        }
    }
    return settings;
}

std::wstring Escaped(std::wstring_view argument) {
    std::wstring text;
    for (wchar_t c : argument) {
        switch (c) {
        case L'\\':
            text += L"\\\\";
            break;
        case L'\t':
            text += L"\\t";
            break;
        case L'\r':
            text += L"\\r";
            break;
        case L'\n':
            text += L"\\n";
            break;
        default:
            text += c;
        }
    }
    return text;
}

void Record(const std::wstring& path, const std::vector<std::wstring>& arguments) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    std::wstring line = std::to_wstring(ticks / 10000) + L'\t' + std::to_wstring(arguments.size());
    for (const std::wstring& argument : arguments) {
        line += L'\t' + Escaped(argument);
    }
    base::UniqueFile log = OpenFile(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    WriteBytes(log.get(), ToCodePage(CP_UTF8, line + L"\r\n"));
}

// The arguments as an ANSI program receives them: the command line passes through the ANSI
// code page before it is split.
std::vector<std::wstring> Arguments() {
    std::wstring line = FromCodePage(CP_ACP, ToCodePage(CP_ACP, ::GetCommandLineW()));
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
    base::UniqueLocal argvOwner(argv);
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return arguments;
}

// The line typed on the console, or nothing when a console is there and nobody answers in time.
// Without a console the answer is the empty line.
std::optional<std::wstring> ReadConsoleLine() {
    base::UniqueFile console(::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!console) {
        return std::wstring();
    }
    if (::WaitForSingleObject(console.get(), kPromptWait) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    wchar_t buffer[256];
    DWORD read = 0;
    if (!::ReadConsoleW(console.get(), buffer, 256, &read, nullptr)) {
        return std::wstring();
    }
    std::wstring line(buffer, read);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) {
        line.pop_back();
    }
    return line;
}

class Tool {
public:
    explicit Tool(const std::wstring& dir)
        : dir_(dir), settings_(LoadSettings(dir + L"rasdial.cfg")),
          statePath_(dir + L"connected.txt"), connected_(Lines(ReadText(statePath_))) {}

    ~Tool() {
        WriteBytes(::GetStdHandle(STD_OUTPUT_HANDLE), ToCodePage(settings_.codePage, output_));
    }

    int List() {
        ::Sleep(static_cast<DWORD>(settings_.listMs > 0 ? settings_.listMs : 0));
        const std::wstring gate = dir_ + settings_.listGate;
        for (int waited = 0; !settings_.listGate.empty() && waited < 60000 &&
                             ::GetFileAttributesW(gate.c_str()) == INVALID_FILE_ATTRIBUTES;
             waited += 10) {
            ::Sleep(10);
        }
        if (connected_.empty()) {
            Say(kNoConnections);
        } else {
            Say({L"Connected to", L"已连接", L"Verbunden mit", L"Connect\u00e9 \u00e0"});
        }
        const std::wstring filler(62, L'-');
        for (int printed = 0; printed < settings_.flood; printed += 64) {
            output_ += filler + L"\r\n";
        }
        for (const std::wstring& name : connected_) {
            output_ += name + L"\r\n";
        }
        return Completed();
    }

    int Dial(const std::wstring& entry, const std::wstring& user, std::wstring password) {
        if (password == L"*") {
            Say({L"Enter the password for " + user + L" to connect to " + entry + L":",
                 L"输入用户 " + user + L" 连接到 " + entry + L" 的密码:"});
            std::optional<std::wstring> typed = ReadConsoleLine();
            if (!typed) {
                return Fail(kPromptUnanswered, L"No password was typed.", L"未输入密码。");
            }
            password = *typed;
        }
        Say({L"Connecting to " + entry + L"...", L"正在连接到 " + entry + L"..."});
        const Entry* found = nullptr;
        for (const Entry& candidate : settings_.entries) {
            if (SameName(candidate.name, entry)) {
                found = &candidate;
            }
        }
        if (!found) {
            return Fail(kEntryNotFound,
                        L"The system could not find the phone book entry for this connection.",
                        L"系统找不到此连接的电话簿项。");
        }
        if (IsConnected(entry)) {
            Say({L"You are already connected to " + entry + L".",
                 L"你已经连接到 " + entry + L"。"});
            return Completed();
        }
        ::Sleep(static_cast<DWORD>(settings_.dialMs > 0 ? settings_.dialMs : 0));
        Say({L"Verifying username and password...", L"正在验证用户名及密码..."});
        if (user != found->user || password != found->password) {
            return Fail(settings_.dialFail,
                        L"Access was denied because the username and/or password was invalid on "
                        L"the domain.",
                        L"因为用户名和/或密码在此域上无效，所以拒绝访问。");
        }
        Say({L"Registering your computer on the network...", L"正在网络上注册您的计算机..."});
        connected_.push_back(entry);
        SaveState();
        Say({L"Successfully connected to " + entry + L".", L"已连接 " + entry + L"。",
             L"Verbindung mit " + entry + L" wurde hergestellt."});
        return Completed();
    }

    int Disconnect(const std::wstring& entry) {
        if (settings_.disconnectFail != 0) {
            return Fail(settings_.disconnectFail, L"The connection could not be disconnected.",
                        L"无法断开连接。");
        }
        if (!IsConnected(entry)) {
            Say(kNoConnections);
            return Completed();
        }
        std::erase_if(connected_, [&](const std::wstring& name) { return SameName(name, entry); });
        SaveState();
        return Completed();
    }

    int Usage() {
        Say({L"USAGE:\r\n\trasdial entryname [username [password|*]] [/DOMAIN:domain]\r\n"
             L"\trasdial [entryname] /DISCONNECT",
             L"用法:\r\n\trasdial entryname [username [password|*]] [/DOMAIN:domain]\r\n"
             L"\trasdial [entryname] /DISCONNECT"});
        return kInvalidParameter;
    }

private:
    // German and French where a wording is given (only the messages that the tests look at
    // have one), otherwise English.
    void Say(const Words& words) {
        const std::wstring& language = settings_.language;
        const std::wstring& text = language == L"zh"                            ? words.chinese
                                   : language == L"de" && !words.german.empty() ? words.german
                                   : language == L"fr" && !words.french.empty() ? words.french
                                                                                : words.english;
        output_ += text + L"\r\n";
    }

    int Completed() {
        Say({L"Command completed successfully.", L"命令已成功完成。",
             L"Befehl wurde erfolgreich ausgef\u00fchrt.",
             L"La commande s'est termin\u00e9e correctement."});
        return 0;
    }

    int Fail(int code, const std::wstring& english, const std::wstring& chinese) {
        std::wstring number = std::to_wstring(code);
        Say({L"\r\nRemote Access error " + number + L" - " + english,
             L"\r\n远程访问错误 " + number + L" - " + chinese});
        return code;
    }

    bool IsConnected(const std::wstring& entry) const {
        for (const std::wstring& name : connected_) {
            if (SameName(name, entry)) {
                return true;
            }
        }
        return false;
    }

    void SaveState() const {
        std::wstring text;
        for (const std::wstring& name : connected_) {
            text += name + L"\r\n";
        }
        base::UniqueFile state = OpenFile(statePath_, GENERIC_WRITE, CREATE_ALWAYS);
        WriteBytes(state.get(), ToCodePage(CP_UTF8, text));
    }

    std::wstring dir_;
    Settings settings_;
    std::wstring statePath_;
    std::vector<std::wstring> connected_;
    std::wstring output_;
};

} // namespace

int main() {
    std::wstring dir = Directory();
    std::vector<std::wstring> arguments = Arguments();
    Record(dir + L"calls.log", arguments);
    Tool tool(dir);
    switch (arguments.size()) {
    case 0:
        return tool.List();
    case 2:
        if (SameName(arguments[1], L"/disconnect") || SameName(arguments[1], L"/d")) {
            return tool.Disconnect(arguments[0]);
        }
        return tool.Usage();
    case 3:
        return tool.Dial(arguments[0], arguments[1], arguments[2]);
    default:
        return tool.Usage();
    }
}
