// The dialer object and its settings.
#include "dialer/dialer.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "tools/ToolsFile.h"
#include "tools/ToolsIni.h"
#include "tools/ToolsString.h"

#include <optional>
#include <string>

namespace dialer {

namespace {

constexpr wchar_t kAdslSection[] = L"Adsl";
constexpr wchar_t kDelaySection[] = L"Delay";

long ClampDelay(long value) {
    return value < 0 ? 0 : value;
}

bool IsProfileBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\v' || c == L'\f';
}

// The profile functions drop blanks around a value and one pair of matching quotes enclosing
// it. A value that would lose either is written inside an extra pair of double quotes, which
// the profile functions remove again on reading, so that it reads back exactly as it was set.
std::wstring ProfileValue(const std::wstring& value) {
    if (value.empty()) {
        return value;
    }
    wchar_t first = value.front(), last = value.back();
    bool quoted = value.size() >= 2 && (first == L'"' || first == L'\'') && last == first;
    if (quoted || IsProfileBlank(first) || IsProfileBlank(last)) {
        return L"\"" + value + L"\"";
    }
    return value;
}

// A text setting is stored as one line of the settings file in the system ANSI code page, and
// the settings file is named to the profile functions in that code page too; a value that they
// cannot take unchanged is refused before anything changes. Returns the value's ANSI form.
std::string CheckStorable(const wchar_t* setting, const std::wstring& value) {
    if (value.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring::npos) {
        throw base::Error(E_INVALIDARG, std::wstring(L"The ") + setting +
                                            L" setting cannot hold a line break or a NUL "
                                            L"character; nothing was changed");
    }
    std::optional<std::string> ansi = tools::ToAnsiExactly(value);
    if (!ansi) {
        throw base::Error(E_INVALIDARG,
                          std::wstring(L"The ") + setting +
                              L" setting holds a character that the system's ANSI code page "
                              L"cannot represent, so the settings file cannot hold it or be "
                              L"named by it; nothing was changed");
    }
    return std::move(*ansi);
}

void RefuseLongerThan(const wchar_t* setting, const std::string& ansi, size_t limit,
                      const wchar_t* reason) {
    if (ansi.size() > limit) {
        throw base::Error(E_INVALIDARG, std::wstring(L"The ") + setting + L" setting is " +
                                            std::to_wstring(ansi.size()) +
                                            L" bytes long in the system's ANSI code page, " +
                                            L"longer than the " + std::to_wstring(limit) + L" " +
                                            reason + L"; nothing was changed");
    }
}

// The value as the settings file holds it, in the quotes that it may need. A form longer than the
// profile functions give back would come back cut at the next load (Wine cuts a quoted value
// before it removes the quotes), so it is refused.
std::wstring FileForm(const wchar_t* setting, const std::wstring& value) {
    CheckStorable(setting, value);
    std::wstring form = ProfileValue(value);
    RefuseLongerThan(setting, tools::ToAnsi(form), tools::kIniReadLimit,
                     L"that the settings file can give back");
    return form;
}

// The file that the profile functions open for a name: a name without a directory lies in the
// Windows directory; any other is resolved against the current directory. Empty when the path
// cannot be had.
std::wstring ProfilePath(const std::wstring& name) {
    if (name.find_first_of(L"\\/:") == std::wstring::npos) {
        std::wstring path(MAX_PATH, L'\0');
        const UINT length = ::GetWindowsDirectoryW(path.data(), MAX_PATH);
        return length == 0 || length >= MAX_PATH ? std::wstring()
                                                 : path.substr(0, length) + L"\\" + name;
    }
    return tools::FullPathName(name);
}

// The profile functions take a file name, and the path that they make of it, of MAX_PATH - 1
// characters at most: Wine's copy the path into a buffer of MAX_PATH characters and overrun it
// with a longer one. So a longer name never reaches them.
void CheckFileName(const std::wstring& name) {
    constexpr size_t kLimit = MAX_PATH - 1;
    RefuseLongerThan(L"IniFilename", CheckStorable(L"IniFilename", name), kLimit,
                     L"that a settings file name may have");
    const std::wstring path = ProfilePath(name);
    if (path.size() > kLimit) {
        throw base::Error(E_INVALIDARG, L"The IniFilename setting names the file " + path +
                                            L", whose path is " + std::to_wstring(path.size()) +
                                            L" characters long, longer than the " +
                                            std::to_wstring(kLimit) +
                                            L" that a settings file may have; nothing was changed");
    }
}

} // namespace

void Dialer::Initialize() {
    tempFile_ = kTempFile;
    delayDial_ = kDefaultDelay;
    delayHangup_ = kDefaultDelay;
    base::UniqueBstr name(kDefaultIniFilename);
    base::PassOnFailure(Self()->put_IniFilename(name.get()));
}

void Dialer::LoadSettings() {
    adsl_ = tools::IniRead(iniFilename_, kAdslSection, L"adsl", L"");
    uid_ = tools::IniRead(iniFilename_, kAdslSection, L"uid", L"");
    password_ = tools::IniRead(iniFilename_, kAdslSection, L"password", L"");
    delayDial_ =
        ClampDelay(tools::ToLong(tools::IniRead(iniFilename_, kDelaySection, L"dial", L"100")));
    delayHangup_ =
        ClampDelay(tools::ToLong(tools::IniRead(iniFilename_, kDelaySection, L"hangup", L"100")));
}

void Dialer::StoreText(std::wstring& field, const wchar_t* setting, const wchar_t* key,
                       BSTR value) {
    std::wstring trimmed = tools::TrimSpaces(base::BstrView(value));
    const std::wstring form = FileForm(setting, trimmed);
    field = std::move(trimmed);
    tools::IniWrite(iniFilename_, kAdslSection, key, form);
}

void Dialer::StoreDelay(long& field, const wchar_t* key, long value) {
    field = ClampDelay(value);
    tools::IniWrite(iniFilename_, kDelaySection, key, std::to_wstring(field));
}

STDMETHODIMP Dialer::put_IniFilename(BSTR value) {
    return Call([&] {
        std::wstring name = tools::TrimSpaces(base::BstrView(value));
        CheckFileName(name);
        iniFilename_ = std::move(name);
        LoadSettings();
    });
}

STDMETHODIMP Dialer::get_IniFilename(BSTR* value) {
    return Call(value, [&](std::wstring& result) { result = iniFilename_; });
}

STDMETHODIMP Dialer::put_ADSL(BSTR value) {
    return Call([&] { StoreText(adsl_, L"ADSL", L"adsl", value); });
}

STDMETHODIMP Dialer::get_ADSL(BSTR* value) {
    return Call(value, [&](std::wstring& result) { result = adsl_; });
}

STDMETHODIMP Dialer::put_Uid(BSTR value) {
    return Call([&] { StoreText(uid_, L"Uid", L"uid", value); });
}

STDMETHODIMP Dialer::get_Uid(BSTR* value) {
    return Call(value, [&](std::wstring& result) { result = uid_; });
}

STDMETHODIMP Dialer::put_Password(BSTR value) {
    return Call([&] { StoreText(password_, L"Password", L"password", value); });
}

STDMETHODIMP Dialer::get_Password(BSTR* value) {
    return Call(value, [&](std::wstring& result) { result = password_; });
}

STDMETHODIMP Dialer::put_DelayDial(long value) {
    return Call([&] { StoreDelay(delayDial_, L"dial", value); });
}

STDMETHODIMP Dialer::get_DelayDial(long* value) {
    return Call(value, [&](long& result) { result = delayDial_; });
}

STDMETHODIMP Dialer::put_DelayHangup(long value) {
    return Call([&] { StoreDelay(delayHangup_, L"hangup", value); });
}

STDMETHODIMP Dialer::get_DelayHangup(long* value) {
    return Call(value, [&](long& result) { result = delayHangup_; });
}

STDMETHODIMP Dialer::Reload() {
    return Call([&] {
        base::UniqueBstr name(iniFilename_);
        base::PassOnFailure(Self()->put_IniFilename(name.get()));
    });
}

} // namespace dialer
