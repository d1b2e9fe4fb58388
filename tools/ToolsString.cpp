#include "tools/ToolsString.h"

#include "base/Error.h"
#include "base/Owners.h"

#include <windows.h>
#include <oleauto.h>

namespace tools {

namespace {

int CheckedLength(size_t size) {
    if (size > static_cast<size_t>(INT_MAX)) {
        throw base::Error(E_OUTOFMEMORY, L"Text is too long to convert");
    }
    return static_cast<int>(size);
}

std::wstring FromCodePage(UINT codePage, std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    int length = CheckedLength(bytes.size());
    int needed = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        base::ThrowLastError(codePage == CP_OEMCP ? L"Cannot decode text from the OEM code page"
                                                  : L"Cannot decode text from the ANSI code page");
    }
    std::wstring text(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), needed);
    return text;
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
        base::ThrowLastError(L"Cannot convert text to the ANSI code page");
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
    // For UTF-8 and UTF-7 Windows requires flags 0 and no default-character flag, and fails the
    // call otherwise (Wine accepts either). Those code pages hold every character; the round
    // trip below still catches a lone surrogate, which the conversion replaces.
    const UINT codePage = ::GetACP();
    const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultFlag = utf ? nullptr : &usedDefault;
    int needed = ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr,
                                       usedDefaultFlag);
    if (needed <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, bytes.data(), needed, nullptr,
                          usedDefaultFlag);
    // Some code pages map a character to another without flagging it; only a faithful round
    // trip proves the text survives.
    if (usedDefault || FromAnsi(bytes) != text) {
        return std::nullopt;
    }
    return bytes;
}

std::wstring FromAnsi(std::string_view bytes) {
    return FromCodePage(CP_ACP, bytes);
}

std::wstring FromOem(std::string_view bytes) {
    return FromCodePage(CP_OEMCP, bytes);
}

long ToLong(std::wstring_view text) {
    base::UniqueBstr copy(text);
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
