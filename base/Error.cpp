#include "base/Error.h"

#include "base/Owners.h"

namespace base {

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = ::FormatMessageW(flags, nullptr, static_cast<DWORD>(hr), 0,
                                    reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UniqueLocal owner(buffer);
    std::wstring text(buffer ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

namespace {

// The context, then the system's own words for hr when it has some.
std::wstring Describe(HRESULT hr, std::wstring_view context) {
    std::wstring message(context);
    std::wstring system = SystemMessage(hr);
    if (!system.empty()) {
        message += L": " + system;
    }
    return message;
}

} // namespace

void ThrowIfFailed(HRESULT hr, std::wstring_view context) {
    if (FAILED(hr)) {
        throw Error(hr, Describe(hr, context));
    }
}

void ThrowLastError(std::wstring_view context) {
    DWORD code = ::GetLastError();
    HRESULT hr = code ? HRESULT_FROM_WIN32(code) : E_FAIL;
    throw Error(hr, Describe(hr, context));
}

} // namespace base
