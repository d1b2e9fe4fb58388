// The dialer object and its settings.
#include "dialer/dialer.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "tools/ToolsIni.h"
#include "tools/ToolsString.h"

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
// cannot take unchanged is refused before anything changes.
void CheckStorable(const wchar_t* setting, const std::wstring& value) {
    if (value.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring::npos) {
        throw base::Error(E_INVALIDARG, std::wstring(L"The ") + setting +
                                            L" setting cannot hold a line break or a NUL "
                                            L"character; nothing was changed");
    }
    if (!tools::ToAnsiExactly(value)) {
        throw base::Error(E_INVALIDARG,
                          std::wstring(L"The ") + setting +
                              L" setting holds a character that the system's ANSI code page "
                              L"cannot represent, so the settings file cannot hold it or be "
                              L"named by it; nothing was changed");
    }
}

} // namespace

HRESULT Dialer::Initialize() {
    tempFile_ = kTempFile;
    delayDial_ = kDefaultDelay;
    delayHangup_ = kDefaultDelay;
    base::UniqueBstr name;
    try {
        name = base::UniqueBstr(kDefaultIniFilename);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return Self()->put_IniFilename(name.get());
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
    CheckStorable(setting, trimmed);
    field = std::move(trimmed);
    tools::IniWrite(iniFilename_, kAdslSection, key, ProfileValue(field));
}

void Dialer::StoreDelay(long& field, const wchar_t* key, long value) {
    field = ClampDelay(value);
    tools::IniWrite(iniFilename_, kDelaySection, key, std::to_wstring(field));
}

STDMETHODIMP Dialer::put_IniFilename(BSTR value) {
    return Call([&] {
        std::wstring name = tools::TrimSpaces(base::BstrView(value));
        CheckStorable(L"IniFilename", name);
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
