#include "tools/ToolsRegExp.h"

#include "base/Error.h"
#include "tools/RegExpEngine.h"

#include <windows.h>
#include <oleauto.h>

namespace tools {

namespace {

constexpr std::wstring_view kEscaped = L"\\.+*?[^]$(){}=!<>|:";

DISPID MemberId(IDispatch* object, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    base::ThrowIfFailed(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
                        std::wstring(L"The regular-expression object has no member ") + name);
    return id;
}

// Invokes a member and throws what it raises: the exception's own code when it raised one,
// otherwise the call's HRESULT, described by `context` followed by the exception's description
// or, when that is empty (Wine raises a malformed pattern without one), the system's message.
void Invoke(IDispatch* object, DISPID id, WORD flags, VARIANT* argument, VARIANT* result,
            const std::wstring& context) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{argument, nullptr, 1, 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    UINT argumentError = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info,
                                &argumentError);
    if (SUCCEEDED(hr)) {
        return;
    }
    std::wstring detail;
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) {
            info.pfnDeferredFillIn(&info);
        }
        base::UniqueBstr source, text, helpFile;
        *source.put() = info.bstrSource;
        *text.put() = info.bstrDescription;
        *helpFile.put() = info.bstrHelpFile;
        detail = text.str();
        hr = info.scode ? info.scode : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode);
    }
    if (detail.empty()) {
        detail = base::SystemMessage(hr);
    }
    throw base::Error(hr, detail.empty() ? context : context + L": " + detail);
}

void PutBool(IDispatch* object, const wchar_t* name, bool value) {
    base::UniqueVariant argument;
    argument.vt = VT_BOOL;
    argument.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    Invoke(object, MemberId(object, name), DISPATCH_PROPERTYPUT, &argument, nullptr,
           std::wstring(L"Cannot set ") + name + L" of the regular-expression object");
}

} // namespace

std::wstring RegExpEscape(std::wstring_view text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        if (kEscaped.find(c) != std::wstring_view::npos) {
            escaped.push_back(L'\\');
        }
        escaped.push_back(c);
    }
    return escaped;
}

base::ComPtr<IDispatch> CreateRegExp() {
    base::ComPtr<IDispatch> object;
    CLSID clsid;
    if (SUCCEEDED(::CLSIDFromProgID(L"VBScript.RegExp", &clsid))) {
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                           __uuidof(IDispatch), object.put_void());
    }
    return object;
}

RegExp::RegExp(std::wstring_view pattern, bool ignoreCase, bool multiLine, bool global,
               RegExpEngine engine)
    : pattern_(pattern), ignoreCase_(ignoreCase), multiLine_(multiLine) {
    if (engine == RegExpEngine::BuiltIn) {
        return;
    }
    object_ = CreateRegExp();
    if (!object_) {
        return;
    }
    PutBool(object_.get(), L"IgnoreCase", ignoreCase);
    PutBool(object_.get(), L"MultiLine", multiLine);
    PutBool(object_.get(), L"Global", global);
    base::UniqueVariant argument;
    argument.vt = VT_BSTR;
    argument.bstrVal = base::UniqueBstr(pattern).release();
    Invoke(object_.get(), MemberId(object_.get(), L"Pattern"), DISPATCH_PROPERTYPUT, &argument,
           nullptr, L"Cannot set Pattern of the regular-expression object");
    testId_ = MemberId(object_.get(), L"Test");
}

RegExp::RegExp(RegExp&&) noexcept = default;
RegExp& RegExp::operator=(RegExp&&) noexcept = default;
RegExp::~RegExp() = default;

bool RegExp::Test(std::wstring_view subject) {
    if (!object_) {
        if (!builtIn_) {
            builtIn_ = std::make_unique<BuiltInRegExp>(pattern_, ignoreCase_, multiLine_);
        }
        return builtIn_->Search(subject);
    }
    base::UniqueVariant argument;
    argument.vt = VT_BSTR;
    argument.bstrVal = base::UniqueBstr(subject).release();
    base::UniqueVariant result;
    Invoke(object_.get(), testId_, DISPATCH_METHOD, &argument, &result,
           L"The regular-expression engine rejected the pattern \"" + pattern_ + L"\"");
    base::UniqueVariant answer;
    base::ThrowIfFailed(::VariantChangeType(&answer, &result, 0, VT_BOOL),
                        L"The regular-expression object answered Test with no Boolean");
    return answer.boolVal != VARIANT_FALSE;
}

bool RegExpTest(std::wstring_view subject, std::wstring_view pattern, bool ignoreCase,
                bool multiLine, bool global, RegExpEngine engine) {
    return RegExp(pattern, ignoreCase, multiLine, global, engine).Test(subject);
}

} // namespace tools
