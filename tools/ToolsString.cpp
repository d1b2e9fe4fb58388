#include "tools/ToolsString.h"

#include "tools/Error.h"
#include "tools/Owners.h"

#include <windows.h>
#include <oleauto.h>

namespace tools {

namespace {

int CheckedLength(size_t size) {
    if (size > static_cast<size_t>(INT_MAX)) {
        throw Error(E_OUTOFMEMORY, L"Text is too long to convert");
    }
    return static_cast<int>(size);
}

} // namespace

std::string ToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    int length = CheckedLength(text.size());
    int needed =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        ThrowLastError(L"Cannot convert text to the ANSI code page");
    }
    std::string bytes(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), needed, nullptr, nullptr);
    return bytes;
}

std::optional<std::string> ToAnsiExactly(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    int length = CheckedLength(text.size());
    BOOL usedDefault = FALSE;
    int needed = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr,
                                       0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, bytes.data(), needed,
                          nullptr, &usedDefault);
    // Some code pages map a character to another without flagging it; only a faithful round
    // trip proves the text survives.
    if (usedDefault || FromAnsi(bytes) != text) {
        return std::nullopt;
    }
    return bytes;
}

std::wstring FromAnsi(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    int length = CheckedLength(bytes.size());
    int needed = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        ThrowLastError(L"Cannot decode text from the ANSI code page");
    }
    std::wstring text(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), needed);
    return text;
}

long ToLong(std::wstring_view text) {
    UniqueBstr copy(text);
    LONG value = 0;
    if (FAILED(::VarI4FromStr(copy.get(), LOCALE_USER_DEFAULT, 0, &value))) {
        return 0;
    }
    return value;
}

std::wstring TrimSpaces(std::wstring_view text) {
    size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(L' ');
    return std::wstring(text.substr(first, last - first + 1));
}

} // namespace tools
