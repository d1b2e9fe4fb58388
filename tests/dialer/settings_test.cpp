// QKDialer's settings and their INI file, through the real module.
#include "testbed/component_test.h"
#include "tools/ToolsString.h"

#include "ZUVezEradez3.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using namespace testbed;
using base::ComPtr;

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Ansi(const std::wstring& text) {
    return tools::ToAnsi(text);
}

class SettingsTest : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        ini_ = TempPath(L".ini");
        ASSERT_EQ(CreateComponentObject(CLSID_QKDialer, IID__QKDialer, dialer_.put_void()), S_OK);
        ASSERT_EQ(dialer_->put_IniFilename(base::UniqueBstr(ini_).get()), S_OK);
    }
    void TearDown() override {
        dialer_.reset();
        ComponentTest::TearDown();
    }

    std::wstring Text(HRESULT (STDMETHODCALLTYPE _QKDialer::*getter)(BSTR*)) {
        base::UniqueBstr value;
        EXPECT_EQ((dialer_.get()->*getter)(value.put()), S_OK);
        return value.str();
    }
    long Number(HRESULT (STDMETHODCALLTYPE _QKDialer::*getter)(long*)) {
        long value = -1;
        EXPECT_EQ((dialer_.get()->*getter)(&value), S_OK);
        return value;
    }
    void WriteFile(const std::string& content) {
        std::ofstream(std::filesystem::path(ini_), std::ios::binary) << content;
    }
    HRESULT Reload() { return dialer_->Reload(); }

    std::wstring ini_;
    ComPtr<_QKDialer> dialer_;
};

TEST_F(SettingsTest, NewObjectWithoutSettingsFileHasDefaultsAndCreatesNoFile) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring defaultFile = std::wstring(windows) + L"\\REZarArerur.ini";
    DeleteFileW(defaultFile.c_str());
    ComPtr<_QKDialer> fresh;
    ASSERT_EQ(CreateComponentObject(CLSID_QKDialer, IID__QKDialer, fresh.put_void()), S_OK);
    base::UniqueBstr name, adsl, uid, password;
    long dial = 0, hangup = 0;
    fresh->get_IniFilename(name.put());
    fresh->get_ADSL(adsl.put());
    fresh->get_Uid(uid.put());
    fresh->get_Password(password.put());
    fresh->get_DelayDial(&dial);
    fresh->get_DelayHangup(&hangup);
    EXPECT_EQ(name.str(), L"REZarArerur.ini");
    EXPECT_EQ(adsl.str() + uid.str() + password.str(), L"");
    EXPECT_EQ(dial, 100);
    EXPECT_EQ(hangup, 100);
    EXPECT_EQ(GetFileAttributesW(defaultFile.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsTest, DefaultSettingsFileLivesInTheWindowsDirectory) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring defaultFile = std::wstring(windows) + L"\\REZarArerur.ini";
    std::ofstream(std::filesystem::path(defaultFile), std::ios::binary)
        << "[Adsl]\r\nadsl=FromWindows\r\n";
    ComPtr<_QKDialer> fresh;
    ASSERT_EQ(CreateComponentObject(CLSID_QKDialer, IID__QKDialer, fresh.put_void()), S_OK);
    base::UniqueBstr adsl;
    fresh->get_ADSL(adsl.put());
    DeleteFileW(defaultFile.c_str());
    EXPECT_EQ(adsl.str(), L"FromWindows");
}

TEST_F(SettingsTest, TextSettersTrimSpacesAndWriteTheirKey) {
    ASSERT_EQ(dialer_->put_ADSL(base::UniqueBstr(L"  My  Entry  ").get()), S_OK);
    ASSERT_EQ(dialer_->put_Uid(base::UniqueBstr(L" user01").get()), S_OK);
    ASSERT_EQ(dialer_->put_Password(base::UniqueBstr(L"p@ss ").get()), S_OK);
    EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"My  Entry");
    std::string file = FileBytes(ini_);
    EXPECT_NE(file.find("[Adsl]"), std::string::npos);
    EXPECT_NE(file.find("adsl=My  Entry\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("uid=user01\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("password=p@ss\r\n"), std::string::npos) << file;
}

TEST_F(SettingsTest, DelaysClampAtZeroAndWritePlainDecimal) {
    ASSERT_EQ(dialer_->put_DelayDial(-5), S_OK);
    ASSERT_EQ(dialer_->put_DelayHangup(1500), S_OK);
    EXPECT_EQ(Number(&_QKDialer::get_DelayDial), 0);
    std::string file = FileBytes(ini_);
    EXPECT_NE(file.find("[Delay]"), std::string::npos);
    EXPECT_NE(file.find("dial=0\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("hangup=1500\r\n"), std::string::npos) << file;
}

TEST_F(SettingsTest, DelayKeysLoadLeniently) {
    const std::pair<const char*, long> cases[] = {
        {"dial=\r\n", 0},      {"dial=soon\r\n", 0},
        {"dial=-20\r\n", 0},   {"dial=99999999999\r\n", 0},
        {"dial= 42 \r\n", 42}, {"other=1\r\n", 100},
    };
    for (auto [line, want] : cases) {
        WriteFile(std::string("[Delay]\r\n") + line);
        ASSERT_EQ(Reload(), S_OK);
        EXPECT_EQ(Number(&_QKDialer::get_DelayDial), want) << line;
        EXPECT_EQ(Number(&_QKDialer::get_DelayHangup), 100) << line;
    }
}

TEST_F(SettingsTest, AssigningTheFileNameReplacesAllFiveSettings) {
    ASSERT_EQ(dialer_->put_DelayDial(7), S_OK);
    ASSERT_EQ(dialer_->put_ADSL(base::UniqueBstr(L"Old").get()), S_OK);
    std::wstring other = TempPath(L".ini");
    std::ofstream(std::filesystem::path(other), std::ios::binary)
        << "[Adsl]\r\nadsl=  Spaced  \r\nuid=u\r\n";
    ASSERT_EQ(dialer_->put_IniFilename(base::UniqueBstr(L"  " + other + L"  ").get()), S_OK);
    EXPECT_EQ(Text(&_QKDialer::get_IniFilename), other);
    EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"Spaced"); // the profile functions drop the blanks
    EXPECT_EQ(Text(&_QKDialer::get_Uid), L"u");
    EXPECT_EQ(Text(&_QKDialer::get_Password), L"");
    EXPECT_EQ(Number(&_QKDialer::get_DelayDial), 100);
    std::wstring missing = TempPath(L".ini");
    ASSERT_EQ(dialer_->put_IniFilename(base::UniqueBstr(missing).get()), S_OK);
    EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"");
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsTest, WrittenSettingsSurviveAReloadAndHandEditsWaitForOne) {
    ASSERT_EQ(dialer_->put_DelayHangup(3000), S_OK);
    ASSERT_EQ(dialer_->put_IniFilename(base::UniqueBstr(ini_).get()), S_OK);
    EXPECT_EQ(Number(&_QKDialer::get_DelayHangup), 3000);
    WriteFile("[Delay]\r\nhangup=10\r\n[Adsl]\r\nadsl=Edited\r\n");
    EXPECT_EQ(Number(&_QKDialer::get_DelayHangup), 3000);
    ASSERT_EQ(Reload(), S_OK);
    EXPECT_EQ(Number(&_QKDialer::get_DelayHangup), 10);
    EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"Edited");
}

TEST_F(SettingsTest, EmptyPasswordIsWrittenAndReadBackEmpty) {
    WriteFile("[Adsl]\r\npassword=secret\r\n");
    ASSERT_EQ(Reload(), S_OK);
    ASSERT_EQ(dialer_->put_Password(base::UniqueBstr(L"").get()), S_OK);
    EXPECT_NE(FileBytes(ini_).find("password=\r\n"), std::string::npos);
    ASSERT_EQ(Reload(), S_OK);
    EXPECT_EQ(Text(&_QKDialer::get_Password), L"");
}

// Under Wine, LC_ALL=hi_IN.UTF-8 makes the ANSI code page UTF-8 (65001), as "Beta: Use Unicode
// UTF-8" does on Windows 10 and 11; the check below confirms it in the run under that locale.
bool Utf8System() {
    wchar_t locale[64] = {};
    if (GetEnvironmentVariableW(L"LC_ALL", locale, 64) && wcsncmp(locale, L"hi_IN", 5) == 0) {
        EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    }
    return GetACP() == CP_UTF8;
}

// What the system's ANSI code page cannot hold: a lone surrogate even in UTF-8.
std::vector<std::wstring> Unrepresentable() {
    if (Utf8System()) {
        return {L"lone \xD800 surrogate"};
    }
    return {L"\u0E01", L"smile \U0001F600", GetACP() == 936 ? L"\u00C5\u0E01" : L"\u4e2d\u6587"};
}

TEST_F(SettingsTest, UnstorableTextIsRefusedAndChangesNothing) {
    ASSERT_EQ(dialer_->put_Password(base::UniqueBstr(L"kept").get()), S_OK);
    std::string before = FileBytes(ini_);
    std::vector<std::wstring> unstorable = Unrepresentable();
    unstorable.insert(unstorable.end(),
                      {L"a\r\nadsl=injected", L"two\nlines", std::wstring(L"nul\0x", 5)});
    for (const auto& value : unstorable) {
        EXPECT_EQ(dialer_->put_Password(base::UniqueBstr(value).get()), E_INVALIDARG);
        EXPECT_EQ(Text(&_QKDialer::get_Password), L"kept");
        EXPECT_EQ(FileBytes(ini_), before);
    }
    EXPECT_EQ(dialer_->put_ADSL(base::UniqueBstr(L"x\ry").get()), E_INVALIDARG);
    EXPECT_EQ(dialer_->put_Uid(base::UniqueBstr(L"x\ny").get()), E_INVALIDARG);
}

// A settings-file name that the ANSI profile functions cannot be given would lose every later
// write; it is refused, and the object keeps its file and settings.
TEST_F(SettingsTest, AnUnrepresentableSettingsFileNameIsRefused) {
    ASSERT_EQ(dialer_->put_ADSL(base::UniqueBstr(L"Entry").get()), S_OK);
    std::vector<std::wstring> names = Unrepresentable();
    names.push_back(std::wstring(L"cut\0.ini", 8));
    for (std::wstring name : names) {
        name = TempPath(name + L".ini");
        EXPECT_EQ(dialer_->put_IniFilename(base::UniqueBstr(name).get()), E_INVALIDARG);
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
        base::UniqueBstr description;
        info->GetDescription(description.put());
        EXPECT_NE(description.str().find(L"IniFilename"), std::wstring::npos);
        EXPECT_EQ(Text(&_QKDialer::get_IniFilename), ini_);
        EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"Entry");
    }
}

std::wstring Description() {
    ComPtr<IErrorInfo> info;
    base::UniqueBstr description;
    if (GetErrorInfo(0, info.put()) == S_OK) {
        info->GetDescription(description.put());
    }
    return description.str();
}

// Lengths: the profile functions take a file name of MAX_PATH - 1 bytes at most (Wine overran
// its stack with a longer one) and give back values of 259 bytes at most.
TEST_F(SettingsTest, ASettingsFileNameTooLongForTheProfileFunctionsIsRefused) {
    ASSERT_EQ(dialer_->put_ADSL(base::UniqueBstr(L"Entry").get()), S_OK);
    wchar_t windows[MAX_PATH];
    const size_t windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring temp = TempPath(L"");
    const std::wstring names[] = {
        std::wstring(600, L'i'),
        temp + std::wstring(MAX_PATH - temp.size(), L'n'),
        // A bare name lies in the Windows directory, whose path comes first.
        std::wstring(MAX_PATH - windowsLength - 1, L'b'),
    };
    for (const std::wstring& name : names) {
        SCOPED_TRACE(name.size());
        EXPECT_EQ(dialer_->put_IniFilename(base::UniqueBstr(name).get()), E_INVALIDARG);
        EXPECT_NE(Description().find(L"IniFilename"), std::wstring::npos) << Description();
        EXPECT_EQ(Text(&_QKDialer::get_IniFilename), ini_);
        EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"Entry");
    }
    const std::wstring longest = std::wstring(MAX_PATH - windowsLength - 2, L'b');
    EXPECT_EQ(dialer_->put_IniFilename(base::UniqueBstr(longest).get()), S_OK);
    EXPECT_EQ(dialer_->put_ADSL(base::UniqueBstr(L"Stored").get()), S_OK);
    EXPECT_EQ(Reload(), S_OK);
    EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"Stored");
    DeleteFileW((std::wstring(windows) + L"\\" + longest).c_str());
}

TEST_F(SettingsTest, AValueLongerThanTheSettingsFileGivesBackIsRefused) {
    // 259 bytes read back whole, the quotes that keep a quoted value as it was counted in.
    for (const std::wstring& value :
         {std::wstring(259, L'p'), L"'" + std::wstring(255, L'q') + L"'"}) {
        ASSERT_EQ(dialer_->put_Password(base::UniqueBstr(value).get()), S_OK);
        ASSERT_EQ(Reload(), S_OK);
        EXPECT_EQ(Text(&_QKDialer::get_Password), value);
    }
    const std::wstring kept = Text(&_QKDialer::get_Password);
    const std::string before = FileBytes(ini_);
    std::vector<std::wstring> tooLong = {std::wstring(260, L'p'), std::wstring(300, L'p'),
                                         L"'" + std::wstring(256, L'q') + L"'"};
    if (GetACP() == 936 || GetACP() == CP_UTF8) { // bytes count, not characters
        tooLong.push_back(std::wstring(130, L'\u4e2d'));
    }
    for (const std::wstring& value : tooLong) {
        SCOPED_TRACE(value.size());
        EXPECT_EQ(dialer_->put_Password(base::UniqueBstr(value).get()), E_INVALIDARG);
        EXPECT_NE(Description().find(L"Password"), std::wstring::npos) << Description();
        EXPECT_EQ(Text(&_QKDialer::get_Password), kept);
        EXPECT_EQ(FileBytes(ini_), before);
    }
    const base::UniqueBstr longest(std::wstring(260, L'x'));
    EXPECT_EQ(dialer_->put_ADSL(longest.get()), E_INVALIDARG);
    EXPECT_EQ(dialer_->put_Uid(longest.get()), E_INVALIDARG);
}

TEST_F(SettingsTest, EveryStorableValueReadsBackExactly) {
    std::wstring values[] = {L"\"quoted\"",
                             L"'single'",
                             L"\ttab at both ends\t",
                             L"a=b;c#d",
                             L"\"",
                             L"x\"y\"",
                             L"%PATH% & ^|<>!",
                             GetACP() == 936 ? L"\u5bbd\u5e26\u8fde\u63a5" : L"caf\u00e9",
                             Utf8System() ? L"\u0939\u093f\u0928\u094d\u0926\u0940 \u4e2d" : L"x"};
    for (const auto& value : values) {
        ASSERT_EQ(dialer_->put_Password(base::UniqueBstr(value).get()), S_OK);
        ASSERT_EQ(Reload(), S_OK);
        EXPECT_EQ(Text(&_QKDialer::get_Password), value);
        // A peer using the platform's profile functions reads the same value.
        char buffer[260] = {};
        GetPrivateProfileStringA("Adsl", "password", "", buffer, 260, Ansi(ini_).c_str());
        EXPECT_EQ(tools::FromAnsi(buffer), value);
    }
}

TEST_F(SettingsTest, UnwritableFileKeepsTheValueInMemoryOnly) {
    std::wstring unwritable = L"Q:\\no\\such\\folder\\settings.ini";
    ASSERT_EQ(dialer_->put_IniFilename(base::UniqueBstr(unwritable).get()), S_OK);
    EXPECT_EQ(dialer_->put_ADSL(base::UniqueBstr(L"Entry").get()), S_OK);
    EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"Entry");
    ASSERT_EQ(Reload(), S_OK);
    EXPECT_EQ(Text(&_QKDialer::get_ADSL), L"");
}

} // namespace
