// QKDialer's probe, dial, hang-up and redial, driven late-bound against the RasDial.exe
// stand-in (testbed/rasdial), whose log shows every argument vector that reached the tool. The
// stand-in lies in the system folder of the Wine prefix, put there by the tests' rasdial
// fixture; each test points it at a folder of its own through RASDIAL_SIM_DIR.
#include "testbed/component_test.h"
#include "testbed/message_window.h"

#include "ZUVezEradez3.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace testbed;

struct ToolRun {
    ULONGLONG time = 0; // start, milliseconds since 1601
    std::vector<std::wstring> args;
};

// The tool run without arguments lists the connected entries: the probe's command.
const std::vector<std::wstring> kNoArguments = {};

ULONGLONG Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
}

std::wstring Environment(const wchar_t* name) {
    std::wstring value(32767, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), 32767));
    return value;
}

bool ChineseCodePage() {
    return GetACP() == 936;
}

std::wstring ReadUtf8(const std::wstring& path) {
    base::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr)) {
        read = 0;
    }
    std::wstring text(read, L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(read), text.data(), int(read)));
    return text;
}

void WriteUtf8(const std::wstring& path, const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(),
                                     int(bytes.size()), nullptr, nullptr));
    base::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr));
}

// Removes a folder and its files; a file that the tool's console host still holds for a moment
// after the tool ended is waited for.
void RemoveFolder(const std::wstring& dir) {
    for (int attempt = 0; attempt < 100 && !RemoveDirectoryW(dir.c_str()); ++attempt) {
        WIN32_FIND_DATAW found;
        base::UniqueFind search(FindFirstFileW((dir + L"\\*").c_str(), &found));
        if (!search) {
            return;
        }
        do {
            DeleteFileW((dir + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search.get(), &found));
        Sleep(20);
    }
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class DialerTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        dir_ = TempPath(L" dialer"); // a blank in the path of the tool when it runs from here
        RemoveFolder(dir_); // Wine reuses process ids: a folder of an earlier run may be there
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
        savedDir_.resize(MAX_PATH);
        savedDir_.resize(GetCurrentDirectoryW(MAX_PATH, savedDir_.data()));
        savedPath_ = Environment(L"PATH");
        SetCurrentDirectoryW(dir_.c_str());
        SetEnvironmentVariableW(L"RASDIAL_SIM_DIR", dir_.c_str());
        dialer_ = CreateDispatch(CLSID_QKDialer);
        ASSERT_TRUE(dialer_);
        base::UniqueVariant ini = Arg((dir_ + L"\\dialer.ini").c_str());
        ASSERT_EQ(Put(dialer_.get(), L"IniFilename", &ini).hr, S_OK);
    }

    void TearDown() override {
        dialer_.reset();
        SetCurrentDirectoryW(savedDir_.c_str());
        SetEnvironmentVariableW(L"PATH", savedPath_.c_str());
        SetEnvironmentVariableW(L"RASDIAL_SIM_DIR", nullptr);
        RemoveFolder(dir_);
        ComponentTest::TearDown();
    }

    std::wstring File(const wchar_t* name) const { return dir_ + L"\\" + name; }

    // The stand-in's settings, one "key=value" a line.
    void Simulate(const std::vector<std::wstring>& lines) {
        std::wstring text;
        for (const auto& line : lines) {
            text += line + L"\n";
        }
        WriteUtf8(File(L"rasdial.cfg"), text);
    }
    void Connected(const std::wstring& names) { WriteUtf8(File(L"connected.txt"), names); }

    void Store(const wchar_t* adsl, const wchar_t* uid, const wchar_t* password) {
        std::pair<const wchar_t*, const wchar_t*> settings[] = {
            {L"ADSL", adsl}, {L"Uid", uid}, {L"Password", password}};
        for (auto [name, value] : settings) {
            base::UniqueVariant v = Arg(value);
            ASSERT_EQ(Put(dialer_.get(), name, &v).hr, S_OK);
        }
    }
    void Store(const wchar_t* delay, long milliseconds) {
        base::UniqueVariant v = Arg(milliseconds);
        ASSERT_EQ(Put(dialer_.get(), delay, &v).hr, S_OK);
    }

    // Calls an operation with the given text arguments (fewer than declared: the rest omitted)
    // and hands back its Boolean answer; a failure fails the test.
    bool Ask(const wchar_t* member, std::vector<std::wstring> args = {}) {
        CallOutcome outcome = Attempt(member, args);
        EXPECT_EQ(outcome.hr, S_OK) << outcome.description;
        EXPECT_EQ(outcome.result.vt, VT_BOOL);
        return outcome.result.boolVal != VARIANT_FALSE;
    }
    CallOutcome Attempt(const wchar_t* member, const std::vector<std::wstring>& args) {
        std::vector<base::UniqueVariant> values;
        std::vector<VARIANT*> pointers;
        for (const auto& arg : args) {
            base::UniqueVariant value;
            value.vt = VT_BSTR;
            value.bstrVal = SysAllocStringLen(arg.data(), static_cast<UINT>(arg.size()));
            values.push_back(std::move(value));
        }
        for (auto& value : values) {
            pointers.push_back(&value);
        }
        return Call(dialer_.get(), member, pointers);
    }

    // The runs of the stand-in, oldest first; each call takes them, so the next sees only its own.
    std::vector<ToolRun> TakeRuns() {
        std::vector<ToolRun> runs;
        std::wstring log = ReadUtf8(File(L"calls.log"));
        DeleteFileW(File(L"calls.log").c_str());
        for (size_t start = 0, end; (end = log.find(L"\r\n", start)) != std::wstring::npos;
             start = end + 2) {
            ToolRun run;
            std::wstring field;
            std::vector<std::wstring> fields;
            for (size_t i = start; i <= end; ++i) {
                wchar_t c = i < end ? log[i] : L'\t';
                if (c == L'\t') {
                    fields.push_back(std::exchange(field, {}));
                } else if (c == L'\\') {
                    wchar_t next = log[++i];
                    field += next == L't'   ? L'\t'
                             : next == L'r' ? L'\r'
                             : next == L'n' ? L'\n'
                                            : next;
                } else {
                    field += c;
                }
            }
            run.time = std::stoull(fields[0]);
            EXPECT_EQ(std::stoul(fields[1]), fields.size() - 2);
            run.args.assign(fields.begin() + 2, fields.end());
            runs.push_back(std::move(run));
        }
        return runs;
    }
    std::vector<std::vector<std::wstring>> TakeCommands() {
        std::vector<std::vector<std::wstring>> commands;
        for (ToolRun& run : TakeRuns()) {
            commands.push_back(std::move(run.args));
        }
        return commands;
    }

    std::wstring dir_, savedDir_, savedPath_;
    ComPtr<IDispatch> dialer_;
};

using Commands = std::vector<std::vector<std::wstring>>;

// Probe lines: an entry is connected when a whole line of the listing is its name.
TEST_F(DialerTest, ProbeAnswersAboutWholeListedNamesNotTheToolsWording) {
    // Nothing connected: the words of the tool's own messages are no entries.
    for (const wchar_t* word : {L"Command", L"completed", L"connections", L"successfully"}) {
        EXPECT_FALSE(Ask(L"IsConnected", {word})) << word;
    }
    Connected(L"Office VPN\r\n  Broadband Connection\t\r\nADSL 2\r\n");
    EXPECT_TRUE(Ask(L"IsConnected", {L"broadband CONNECTION"}));
    EXPECT_TRUE(Ask(L"IsConnected", {L"adsl 2"}));
    EXPECT_FALSE(Ask(L"IsConnected", {L"ADSL"}));
    EXPECT_FALSE(Ask(L"IsConnected", {L"band Conn"}));
    EXPECT_FALSE(Ask(L"IsConnected", {L"Connected"}));
    // Pattern characters in a name match only themselves.
    EXPECT_FALSE(Ask(L"IsConnected", {L"Office (VPN)"}));
    EXPECT_FALSE(Ask(L"IsConnected", {L"Office.VPN"}));
    // No fallback to the stored entry, and an empty name is never connected.
    EXPECT_FALSE(Ask(L"IsConnected", {L""}));
    EXPECT_EQ(TakeCommands(), Commands(12, kNoArguments));
    EXPECT_FALSE(Exists(File(L"QKDialer.tmp")));
    // A dial of "ADSL" while "ADSL 2" is connected dials.
    Simulate({L"entry=ADSL\tu\tp"});
    EXPECT_TRUE(Ask(L"RasDial", {L"ADSL", L"u", L"p"}));
    EXPECT_EQ(TakeCommands(), (Commands{kNoArguments, {L"ADSL", L"u", L"p"}}));
}

// The listing's first and last lines in each language of the stand-in: the heading when nothing
// is connected, the heading when something is, and the closing line.
struct ToolLines {
    const wchar_t* language;
    std::wstring none, some, closing;
};

TEST_F(DialerTest, TheListingsOwnLinesAreNoEntriesInAnyLanguage) {
    std::vector<ToolLines> languages = {
        {L"en", L"No connections", L"Connected to", L"Command completed successfully."},
        {L"de", L"Keine Verbindungen", L"Verbunden mit",
         L"Befehl wurde erfolgreich ausgef\u00fchrt."},
        {L"fr", L"Aucune connexion", L"Connect\u00e9 \u00e0",
         L"La commande s'est termin\u00e9e correctement."},
    };
    if (ChineseCodePage()) {
        languages.push_back({L"zh", L"\u6ca1\u6709\u8fde\u63a5", L"\u5df2\u8fde\u63a5",
                             L"\u547d\u4ee4\u5df2\u6210\u529f\u5b8c\u6210\u3002"});
    }
    for (const ToolLines& lines : languages) {
        SCOPED_TRACE(lines.language);
        Simulate({std::wstring(L"language=") + lines.language});
        Connected(L"");
        EXPECT_FALSE(Ask(L"IsConnected", {lines.none}));
        EXPECT_FALSE(Ask(L"IsConnected", {lines.closing}));
        Connected(L"Office\r\n");
        EXPECT_FALSE(Ask(L"IsConnected", {lines.some}));
        // Entries of those names are found when they are listed.
        Connected(lines.none + L"\r\n" + lines.closing + L"\r\n");
        EXPECT_TRUE(Ask(L"IsConnected", {lines.none}));
        EXPECT_TRUE(Ask(L"IsConnected", {lines.closing}));
    }
}

TEST_F(DialerTest, DialFallsBackToStoredSettingsForExactlyEmptyArguments) {
    Simulate({L"entry=Broadband Connection\tuser01\tsecret", L"entry=Second\tuser01\tsecret",
              L"entry=Third\tother\tsecret", L"entry=Fourth\t \tsecret"});
    Store(L"Broadband Connection", L"user01", L"secret");
    EXPECT_TRUE(Ask(L"RasDial"));
    EXPECT_TRUE(Ask(L"RasDial", {L"Second"}));
    EXPECT_TRUE(Ask(L"RasDial", {L"Third", L"other", L""}));
    EXPECT_TRUE(Ask(L"RasDial", {L"Fourth", L" "})); // a text of spaces is not empty
    EXPECT_EQ(TakeCommands(), (Commands{kNoArguments,
                                        {L"Broadband Connection", L"user01", L"secret"},
                                        kNoArguments,
                                        {L"Second", L"user01", L"secret"},
                                        kNoArguments,
                                        {L"Third", L"other", L"secret"},
                                        kNoArguments,
                                        {L"Fourth", L" ", L"secret"}}));
    // Connected already: probed, not dialled again.
    EXPECT_TRUE(Ask(L"RasDial"));
    EXPECT_EQ(TakeCommands(), Commands{kNoArguments});
    EXPECT_FALSE(Exists(File(L"QKDialer.tmp")));
}

TEST_F(DialerTest, NothingRunsWithoutAnEntryOrAUser) {
    Simulate({L"entry=MyDsl\tu\t"});
    EXPECT_FALSE(Ask(L"RasDial"));
    EXPECT_FALSE(Ask(L"RasDial", {L"MyDsl"}));
    EXPECT_FALSE(Ask(L"RasHangup"));
    EXPECT_FALSE(Ask(L"RasRedial"));
    EXPECT_EQ(TakeCommands(), Commands{});
    // An empty password is allowed and still reaches the tool as an argument of its own.
    Store(L"MyDsl", L"u", L"");
    EXPECT_TRUE(Ask(L"RasDial"));
    EXPECT_EQ(TakeCommands(), (Commands{kNoArguments, {L"MyDsl", L"u", L""}}));
}

TEST_F(DialerTest, ArgumentsReachTheToolVerbatim) {
    std::vector<std::vector<std::wstring>> cases = {
        {L"Broadband Connection", L"user 01", L"pass word"},
        {L"say \"hi\"", L"a\\b", L"C:\\dir\\"},
        {L"Broadband Connection (2)", L"\\\\server\\\"x\\\\", L"& | < > ^ % !"},
        {L"[Home", L"%PATH%", L"!PATH!&echo x>y"},
        {L" padded ", L"\"", L"\\"},
    };
    if (ChineseCodePage()) {
        cases.push_back({L"宽带连接 (2)", L"用户", L"密码 \"一\"\\"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        Simulate({L"entry=" + c[0] + L"\t" + c[1] + L"\t" + c[2]});
        EXPECT_TRUE(Ask(L"RasDial", c));
        EXPECT_TRUE(Ask(L"IsConnected", {c[0]}));
        EXPECT_EQ(TakeCommands(), (Commands{kNoArguments, c, kNoArguments}));
        EXPECT_TRUE(Ask(L"RasHangup", {c[0]}));
        EXPECT_EQ(TakeCommands(), (Commands{kNoArguments, {c[0], L"/disconnect"}}));
    }
}

TEST_F(DialerTest, AnArgumentWithANulIsRefusedBeforeAnyToolRuns) {
    Simulate({L"entry=Entry\tu\tp"});
    Connected(L"Broadband\r\n");
    const std::wstring nul(L"p\0rest", 6);
    const std::pair<const wchar_t*, std::vector<std::wstring>> calls[] = {
        {L"RasDial", {L"Entry", L"u", nul}},
        {L"RasRedial", {L"Entry", L"u", nul}},
        {L"RasHangup", {nul}},
        {L"IsConnected", {std::wstring(L"Broad\0band", 10)}},
    };
    for (const auto& [member, args] : calls) {
        SCOPED_TRACE(member);
        CallOutcome outcome = Attempt(member, args);
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome.scode, E_INVALIDARG);
        EXPECT_EQ(outcome.result.boolVal, VARIANT_FALSE);
    }
    EXPECT_EQ(TakeCommands(), Commands{});
}

// Switches and length: a value that the tool would not receive as that value (one it takes for
// a switch, one of a command line that Windows would cut) is refused, named, before any tool
// runs; stored settings as much as arguments.
TEST_F(DialerTest, AValueTheToolWouldNotReceiveAsGivenIsRefusedBeforeAnyToolRuns) {
    Simulate({L"entry=Entry\tu\tp"});
    Connected(L"Entry\r\n");
    const std::wstring huge(40000, L'p');
    const std::tuple<const wchar_t*, std::vector<std::wstring>, const wchar_t*> calls[] = {
        {L"RasDial", {L"/PHONEBOOK:C:\\evil.pbk", L"u", L"p"}, L"entry name"},
        {L"RasDial", {L"Entry", L"/PHONEBOOK:C:\\evil.pbk", L"p"}, L"user name"},
        {L"RasDial", {L"Entry", L"u", L"/DISCONNECT"}, L"password"},
        {L"RasHangup", {L"/d"}, L"entry name"},
        {L"RasRedial", {L"Entry", L"u", L"/DISCONNECT"}, L"password"},
        {L"RasDial", {L"Entry", L"u", huge}, L"password"},
        {L"RasRedial", {L"Entry", huge, L"p"}, L"user name"},
        {L"RasHangup", {std::wstring(33000, L'e')}, L"entry name"},
    };
    for (const auto& [member, args, role] : calls) {
        SCOPED_TRACE(member + (L" " + args[0].substr(0, 20)));
        CallOutcome outcome = Attempt(member, args);
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(outcome.scode, E_INVALIDARG);
        EXPECT_NE(outcome.description.find(role), std::wstring::npos) << outcome.description;
    }
    Store(L"Entry", L"u", L"/DISCONNECT");
    EXPECT_EQ(Attempt(L"RasDial", {}).scode, E_INVALIDARG);
    EXPECT_EQ(Attempt(L"RasRedial", {}).scode, E_INVALIDARG);
    EXPECT_EQ(TakeCommands(), Commands{});

    // A "/" further in, and the longest command line that Windows passes, reach the tool whole.
    wchar_t system[MAX_PATH];
    const std::wstring start = L"\"" + std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)) +
                               L"\\RasDial.exe\" Entry u/x ";
    const std::wstring longest(32766 - start.size(), L'p');
    Connected(L"");
    Simulate({L"entry=Entry\tu/x\t" + longest});
    EXPECT_TRUE(Ask(L"RasDial", {L"Entry", L"u/x", longest}));
    EXPECT_EQ(TakeCommands(), (Commands{kNoArguments, {L"Entry", L"u/x", longest}}));
    EXPECT_EQ(Attempt(L"RasDial", {L"Other", L"u/x", longest + L"p"}).scode, E_INVALIDARG);
}

// Floods: the output is read up to a bound; beyond it the call fails clearly, holding no more.
TEST_F(DialerTest, OutputBeyondTheBoundFailsTheCallAndOutputWithinItIsRead) {
    Connected(L"Entry\r\n");
    Simulate({L"flood=1000000"});
    EXPECT_TRUE(Ask(L"IsConnected", {L"Entry"}));
    Simulate({L"flood=1100000"});
    CallOutcome outcome = Attempt(L"IsConnected", {L"Entry"});
    EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.scode, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    EXPECT_NE(outcome.description.find(L"QKDialer.tmp"), std::wstring::npos) << outcome.description;
}

// Languages: a known success message decides at once; in any other wording the listing does.
TEST_F(DialerTest, ADialThatExitsWithZeroSucceedsInAnyLanguage) {
    for (const wchar_t* language : {L"en", L"zh", L"de"}) {
        SCOPED_TRACE(language);
        Connected(L"");
        Simulate({L"entry=Entry\tu\tp", std::wstring(L"language=") + language});
        // Chinese text cannot pass through a Western code page, so there only the listing can
        // tell, as it does for German.
        bool known = language == std::wstring(L"en") ||
                     (language == std::wstring(L"zh") && ChineseCodePage());
        EXPECT_TRUE(Ask(L"RasDial", {L"Entry", L"u", L"p"}));
        Commands expected{kNoArguments, {L"Entry", L"u", L"p"}};
        if (!known) {
            expected.push_back(kNoArguments);
        }
        EXPECT_EQ(TakeCommands(), expected);
        EXPECT_FALSE(Exists(File(L"QKDialer.tmp")));
    }
}

// Code pages: console output comes in the OEM code page, which under a Western or Cyrillic
// locale is not the ANSI one (de_DE: ANSI 1252, OEM 850).
TEST_F(DialerTest, OutputIsReadInTheOemAndTheAnsiCodePage) {
    const std::wstring entry = L"Verbindung \u00fcber DSL";
    for (const wchar_t* codePage : {L"oem", L"ansi"}) {
        SCOPED_TRACE(codePage);
        Connected(L"");
        Simulate({L"entry=" + entry + L"\tu\tp", std::wstring(L"codepage=") + codePage});
        EXPECT_TRUE(Ask(L"RasDial", {entry, L"u", L"p"}));
        EXPECT_TRUE(Ask(L"IsConnected", {entry}));
        EXPECT_FALSE(Ask(L"IsConnected", {L"Verbindung uber DSL"}));
        // The success message was understood: no listing after the dial.
        EXPECT_EQ(TakeCommands(),
                  (Commands{kNoArguments, {entry, L"u", L"p"}, kNoArguments, kNoArguments}));
    }
}

TEST_F(DialerTest, FailingDialLeavesTheCaptureFileForTheNextProbe) {
    Simulate({L"entry=Entry\tu\tright", L"dialfail=691"});
    EXPECT_FALSE(Ask(L"RasDial", {L"Entry", L"u", L"wrong"}));
    EXPECT_NE(ReadUtf8(File(L"QKDialer.tmp")).find(L"691"), std::wstring::npos);
    EXPECT_FALSE(Ask(L"IsConnected", {L"Entry"}));
    EXPECT_FALSE(Exists(File(L"QKDialer.tmp")));
}

// Prompts: the tool runs without a console, so a password of "*", which makes it prompt, reads
// nothing and the dial goes on with the empty password instead of waiting for an answer.
TEST_F(DialerTest, APasswordPromptReadsNothingAndTheDialGoesOn) {
    Simulate({L"entry=Open\tu\t", L"entry=Locked\tu\tsecret"});
    EXPECT_TRUE(Ask(L"RasDial", {L"Open", L"u", L"*"}));
    EXPECT_FALSE(Ask(L"RasDial", {L"Locked", L"u", L"*"}));
    EXPECT_NE(ReadUtf8(File(L"QKDialer.tmp")).find(L"691"), std::wstring::npos);
    EXPECT_EQ(
        TakeCommands(),
        (Commands{kNoArguments, {L"Open", L"u", L"*"}, kNoArguments, {L"Locked", L"u", L"*"}}));
}

TEST_F(DialerTest, HangupDisconnectsOnlyAConnectedEntryAndReportsTheToolsAnswer) {
    Store(L"Entry", L"u", L"p");
    EXPECT_TRUE(Ask(L"RasHangup"));
    EXPECT_EQ(TakeCommands(), Commands{kNoArguments});
    Connected(L"Entry\r\n");
    EXPECT_TRUE(Ask(L"RasHangup"));
    EXPECT_FALSE(Ask(L"IsConnected", {L"Entry"}));
    EXPECT_EQ(TakeCommands(), (Commands{kNoArguments, {L"Entry", L"/disconnect"}, kNoArguments}));
    Connected(L"Entry\r\n");
    Simulate({L"disconnectfail=5"});
    EXPECT_FALSE(Ask(L"RasHangup"));
}

TEST_F(DialerTest, RedialHangsUpPausesDialsAndPausesAgain) {
    Simulate({L"entry=Entry\tu\tp"});
    Store(L"Entry", L"u", L"p");
    Store(L"DelayHangup", 700);
    Store(L"DelayDial", 500);
    EXPECT_TRUE(Ask(L"RasRedial"));
    ULONGLONG end = Now();
    std::vector<ToolRun> runs = TakeRuns();
    ASSERT_EQ(runs.size(), 3u); // not connected: two probes and a dial
    EXPECT_EQ(runs[0].args, kNoArguments);
    EXPECT_EQ(runs[1].args, kNoArguments);
    EXPECT_EQ(runs[2].args, (std::vector<std::wstring>{L"Entry", L"u", L"p"}));
    EXPECT_GE(runs[1].time - runs[0].time, 700u);
    EXPECT_GE(end - runs[2].time, 500u);

    Store(L"DelayHangup", 0);
    Store(L"DelayDial", 0);
    EXPECT_TRUE(Ask(L"RasRedial", {L"Entry"}));
    EXPECT_EQ(
        TakeCommands(),
        (Commands{kNoArguments, {L"Entry", L"/disconnect"}, kNoArguments, {L"Entry", L"u", L"p"}}));

    // A hang-up that fails does not decide: the entry is still connected, so the dial is True.
    Simulate({L"entry=Entry\tu\tp", L"disconnectfail=5"});
    EXPECT_TRUE(Ask(L"RasRedial"));
    EXPECT_EQ(TakeCommands(), (Commands{kNoArguments, {L"Entry", L"/disconnect"}, kNoArguments}));
}

// Planting: a RasDial.exe in the current directory or on the PATH is never run; the tool comes
// from the system folder only (the planted files here are no programs at all, so running one
// would fail the call).
TEST_F(DialerTest, APlantedToolIsNeverRun) {
    const std::wstring planted = File(L"planted");
    ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
    for (const std::wstring& path : {File(L"RasDial.exe"), planted + L"\\RasDial.exe"}) {
        WriteUtf8(path, L"not a program");
    }
    SetEnvironmentVariableW(L"PATH", (planted + L";" + savedPath_).c_str());
    Simulate({L"entry=Entry\tu\tp"});
    EXPECT_TRUE(Ask(L"RasDial", {L"Entry", L"u", L"p"}));
    EXPECT_TRUE(Ask(L"RasHangup", {L"Entry"}));
    EXPECT_EQ(
        TakeCommands(),
        (Commands{kNoArguments, {L"Entry", L"u", L"p"}, kNoArguments, {L"Entry", L"/disconnect"}}));
    DeleteFileW((planted + L"\\RasDial.exe").c_str());
    RemoveDirectoryW(planted.c_str());
}

// Links: whatever the capture file's name holds is removed, never written through.
TEST_F(DialerTest, ALinkPlantedAsTheCaptureFileIsRemovedNotWrittenThrough) {
    const std::wstring victim = File(L"victim.txt");
    WriteUtf8(victim, L"precious");
    Simulate({L"entry=Entry\tu\tright"});
    const std::pair<const wchar_t*, std::vector<std::wstring>> calls[] = {
        {L"IsConnected", {L"Entry"}}, {L"RasDial", {L"Entry", L"u", L"wrong"}}};
    for (const auto& [member, args] : calls) {
        SCOPED_TRACE(member);
        ASSERT_TRUE(CreateHardLinkW(File(L"QKDialer.tmp").c_str(), victim.c_str(), nullptr));
        EXPECT_FALSE(Ask(member, args));
        EXPECT_EQ(ReadUtf8(victim), L"precious");
    }
    // The failed dial's output stays under the name, in a file of its own.
    EXPECT_NE(ReadUtf8(File(L"QKDialer.tmp")).find(L"691"), std::wstring::npos);
    EXPECT_EQ(TakeCommands().size(), 3u);
}

// A capture file that another party holds open cannot be freed for a new one: the call fails,
// naming the file, and runs nothing, instead of reading what the other party may write.
TEST_F(DialerTest, ACaptureFileHeldByAnotherPartyFailsTheCallBeforeTheToolRuns) {
    Connected(L"Entry\r\n");
    for (DWORD sharing : {FILE_SHARE_READ | FILE_SHARE_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}) {
        base::UniqueFile spoof(CreateFileW(File(L"QKDialer.tmp").c_str(), GENERIC_WRITE, sharing,
                                           nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(spoof);
        CallOutcome outcome = Attempt(L"IsConnected", {L"Entry"});
        EXPECT_EQ(outcome.hr, DISP_E_EXCEPTION);
        EXPECT_NE(outcome.description.find(L"QKDialer.tmp"), std::wstring::npos)
            << outcome.description;
        EXPECT_EQ(TakeCommands(), Commands{});
    }
    EXPECT_TRUE(Ask(L"IsConnected", {L"Entry"}));
}

// Turns: operations on one capture file, of two threads or of two processes, wait for each
// other instead of failing.
int ProbeTimes(int times) {
    ComPtr<IDispatch> dialer = CreateDispatch(CLSID_QKDialer);
    int answered = 0;
    for (int i = 0; dialer && i < times; ++i) {
        base::UniqueVariant name = Arg(L"Entry");
        CallOutcome outcome = Call(dialer.get(), L"IsConnected", {&name});
        answered += outcome.hr == S_OK && outcome.result.boolVal == VARIANT_TRUE;
    }
    return answered;
}

// Each thread calls an object of its own directly: in a single-threaded apartment of its own
// (what COM gives a thread that creates the object there), or as a host that bypasses COM.
TEST_F(DialerTest, ProbesOfTwoThreadsTakeTurns) {
    Connected(L"Entry\r\n");
    Simulate({L"listms=100"});
    for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
        std::atomic<int> answered{0};
        auto prober = [&] {
            Apartment apartment(model);
            answered += ProbeTimes(3);
        };
        std::thread first(prober), second(prober);
        first.join();
        second.join();
        EXPECT_EQ(answered, 6) << "model " << model;
        EXPECT_EQ(TakeCommands().size(), 6u);
    }
}

// Waits for `event` as a single-threaded apartment waits, running the calls that COM delivers
// to the apartment meanwhile.
void PumpUntil(HANDLE event) {
    while (MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
}

// A thread of the multithreaded apartment that probes through a proxy, as COM hands a thread
// there an apartment-threaded object: the object lives in a single-threaded apartment of the
// host, here the test's own thread, and every call runs on that thread.
class MultithreadedProber {
public:
    explicit MultithreadedProber(ComPtr<IDispatch> object) : object_(std::move(object)) {
        EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, object_.get(), &stream_),
                  S_OK);
    }

    // Runs `before` in the thread, then probes `times` times, running `afterFirst` after the
    // first probe; the host's thread must pump until done().
    void Start(int times, std::function<void()> before, std::function<void()> afterFirst) {
        thread_ = std::thread([this, times, before, afterFirst] {
            {
                Apartment apartment(COINIT_MULTITHREADED);
                ComPtr<IDispatch> proxy;
                CoGetInterfaceAndReleaseStream(stream_, IID_IDispatch, proxy.put_void());
                before();
                for (int i = 0; proxy && i < times; ++i) {
                    base::UniqueVariant name = Arg(L"Entry");
                    outcomes_.push_back(Call(proxy.get(), L"IsConnected", {&name}));
                    if (i == 0) {
                        afterFirst();
                    }
                }
            } // the proxy and the apartment go while the host still answers them
            SetEvent(done_.get());
        });
    }

    HANDLE done() const { return done_.get(); }
    const std::vector<CallOutcome>& Finish() {
        thread_.join();
        return outcomes_;
    }

private:
    ComPtr<IDispatch> object_;
    IStream* stream_ = nullptr;
    base::UniqueHandle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread thread_;
    std::vector<CallOutcome> outcomes_;
};

// Two threads of the multithreaded apartment, each with an object of its own, share the host's
// single-threaded apartment. A call that arrives there while the other thread's probe waits for
// the tool re-enters that wait and fails at once, saying why and what to do; every other call
// answers True, and none answers False.
TEST_F(DialerTest, ProbesOfTwoMultithreadedThreadsShareTheHostsApartment) {
    Connected(L"Entry\r\n");
    Simulate({L"listgate=gate"}); // listings wait until the second thread has been refused once
    MultithreadedProber first(CreateDispatch(CLSID_QKDialer)),
        second(CreateDispatch(CLSID_QKDialer));
    const auto nothing = [] {};
    first.Start(3, nothing, nothing);
    second.Start(
        3,
        [this] { // until the first thread's probe waits for the tool
            for (int i = 0; i < 6000 && !Exists(File(L"calls.log")); ++i) {
                Sleep(10);
            }
        },
        [this] {
            base::UniqueFile gate(CreateFileW(File(L"gate").c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, 0, nullptr));
        });
    PumpUntil(first.done());
    PumpUntil(second.done());

    const std::vector<CallOutcome>& firsts = first.Finish();
    const std::vector<CallOutcome>& seconds = second.Finish();
    ASSERT_EQ(firsts.size(), 3u);
    ASSERT_EQ(seconds.size(), 3u);
    EXPECT_EQ(firsts[0].hr, S_OK);
    EXPECT_EQ(seconds[0].scode, HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    for (const auto* outcomes : {&firsts, &seconds}) {
        for (const CallOutcome& outcome : *outcomes) {
            if (outcome.hr == S_OK) {
                EXPECT_EQ(outcome.result.boolVal, VARIANT_TRUE);
                continue;
            }
            EXPECT_EQ(outcome.scode, HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
            for (const wchar_t* says : {L"QKDialer.tmp", L"still running in this apartment",
                                        L"one at a time", L"single-threaded apartment"}) {
                EXPECT_NE(outcome.description.find(says), std::wstring::npos)
                    << outcome.description;
            }
        }
    }
}

// Run by the next test in a second process, in the first one's folder.
TEST_F(ComponentTest, DISABLED_SecondProcessProbesFiveTimes) {
    EXPECT_EQ(ProbeTimes(5), 5);
}

TEST_F(DialerTest, ProbesOfTwoProcessesInOneFolderTakeTurns) {
    Connected(L"Entry\r\n");
    Simulate({L"listms=100"});
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program) +
                           L"\" --gtest_also_run_disabled_tests "
                           L"--gtest_filter=ComponentTest.DISABLED_SecondProcessProbesFiveTimes";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process));
    base::UniqueHandle child(process.hProcess), thread(process.hThread);
    // The other process's first probe has started when the tool's log appears.
    for (int i = 0; i < 1000 && !Exists(File(L"calls.log")); ++i) {
        Sleep(10);
    }
    EXPECT_EQ(ProbeTimes(5), 5);
    ASSERT_EQ(WaitForSingleObject(child.get(), 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(child.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(TakeCommands().size(), 10u);
}

// Readers: nobody else can open the capture file while the component holds it, so nobody can
// keep its name taken for the next probe.
TEST_F(DialerTest, NobodyElseCanOpenTheCaptureFileWhileTheToolRuns) {
    Connected(L"Entry\r\n");
    Simulate({L"listms=150"});
    std::atomic<bool> done{false};
    std::atomic<int> opened{0}, refused{0};
    std::thread reader([&] {
        while (!done) {
            base::UniqueFile file(
                CreateFileW(File(L"QKDialer.tmp").c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
            if (file) {
                ++opened;
                Sleep(300); // held, as a hostile reader would
            } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
                ++refused;
            }
            Sleep(5); // a reader, not a load on the file system
        }
    });
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(Ask(L"IsConnected", {L"Entry"}));
    }
    done = true;
    reader.join();
    EXPECT_EQ(opened, 0);
    EXPECT_GT(refused, 0);
}

// Re-entry: a call that the host makes from a message handler while a probe of the same thread
// waits for the tool fails at once with the sharing violation; waiting there could never end.
struct ReenteringHost {
    IDispatch* dialer = nullptr;
    CallOutcome outcome;
    ULONGLONG took = 0;
    bool called = false;
};

LRESULT CALLBACK ReenteringWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = MessageWindow::ContextOf<ReenteringHost>(window);
    if (message == WM_TIMER && host && !host->called) {
        KillTimer(window, wParam);
        host->called = true;
        const ULONGLONG start = GetTickCount64();
        base::UniqueVariant name = Arg(L"Entry");
        host->outcome = Call(host->dialer, L"IsConnected", {&name});
        host->took = GetTickCount64() - start;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(DialerTest, ACallReenteringTheProbingThreadFailsAtOnce) {
    Connected(L"Entry\r\n");
    Simulate({L"listms=1000"});
    ReenteringHost host;
    host.dialer = dialer_.get();
    const MessageWindow window(L"ZuReenteringHost", ReenteringWindow, &host);
    ASSERT_TRUE(window.get());
    SetTimer(window.get(), 1, 200, nullptr);
    EXPECT_TRUE(Ask(L"IsConnected", {L"Entry"}));
    ASSERT_TRUE(host.called);
    EXPECT_EQ(host.outcome.scode, HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    EXPECT_NE(host.outcome.description.find(L"QKDialer.tmp"), std::wstring::npos);
    EXPECT_LT(host.took, 500u);
}

// A host that drops its last reference from a message handler while a dial waits: the dial
// completes on the living object, which goes when the call returns.
struct ReleasingHost {
    ComPtr<IDispatch> dialer;
    std::wstring log;
    HRESULT unloadWhileDialling = E_FAIL;
};

LRESULT CALLBACK ReleasingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = MessageWindow::ContextOf<ReleasingHost>(window);
    if (message == WM_TIMER && host && host->dialer &&
        ReadUtf8(host->log).find(L"\t3\t") != std::wstring::npos) {
        KillTimer(window, wParam);
        host->dialer.reset();
        host->unloadWhileDialling = ComponentCanUnloadNow();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(DialerTest, HostMayReleaseItsLastReferenceWhileADialWaits) {
    Simulate({L"entry=Entry\tu\tp", L"dialms=1500"});
    ReleasingHost host{std::move(dialer_), File(L"calls.log")};
    CallOutcome outcome;
    {
        const MessageWindow window(L"ZuReleasingHost", ReleasingWindow, &host);
        ASSERT_TRUE(window.get());
        SetTimer(window.get(), 1, 20, nullptr);
        IDispatch* object = host.dialer.get();
        base::UniqueVariant entry = Arg(L"Entry"), user = Arg(L"u"), password = Arg(L"p");
        outcome = Call(object, L"RasDial", {&entry, &user, &password});
    }

    EXPECT_FALSE(host.dialer) << "the handler never ran during the dial";
    EXPECT_EQ(host.unloadWhileDialling, S_FALSE);
    EXPECT_EQ(outcome.hr, S_OK);
    EXPECT_EQ(outcome.result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(ComponentCanUnloadNow(), S_OK);
}

} // namespace
