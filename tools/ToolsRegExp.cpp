#include "tools/ToolsRegExp.h"

#include "base/Error.h"
#include "base/LateBinding.h"
#include "tools/ToolsRegExpEngine.h"

#include <oleauto.h>

namespace tools {

namespace {

constexpr std::wstring_view kEscaped = L"\\.+*?[^]$(){}=!<>|:";

} // namespace

// The platform's "VBScript.RegExp" object with its options set.
class PlatformRegExp {
public:
    // Sets IgnoreCase, MultiLine, Global and Pattern in that order.
    PlatformRegExp(base::ComPtr<IDispatch> object, std::wstring_view pattern, bool ignoreCase,
                   bool multiLine, bool global)
        : object_(std::move(object)) {
        Put(L"IgnoreCase", base::BoolVariant(ignoreCase));
        Put(L"MultiLine", base::BoolVariant(multiLine));
        Put(L"Global", base::BoolVariant(global));
        Put(L"Pattern", base::TextVariant(pattern));
        testId_ = MemberId(L"Test");
    }

    // Test(subject); a failure names `pattern` and keeps the object's code.
    bool Test(std::wstring_view subject, const std::wstring& pattern) {
        base::UniqueVariant argument = base::TextVariant(subject);
        base::Invocation outcome =
            base::TryInvoke(object_.get(), testId_, DISPATCH_METHOD, {&argument});
        if (FAILED(outcome.hr)) {
            throw Rejected(outcome, pattern);
        }
        base::UniqueVariant result = std::move(outcome.result);
        base::UniqueVariant answer;
        base::ThrowIfFailed(::VariantChangeType(&answer, &result, 0, VT_BOOL),
                            L"The regular-expression object answered Test with no Boolean");
        return answer.boolVal != VARIANT_FALSE;
    }

private:
    // Windows' class describes a malformed pattern itself ("Syntax error in regular expression",
    // 0x800A1399). Wine's raises E_FAIL without a description, and the system's text for that
    // code says nothing of the pattern: a failure of Test that comes without a reason of its own
    // is a pattern the engine could not compile.
    static base::Error Rejected(const base::Invocation& outcome, const std::wstring& pattern) {
        const HRESULT hr = outcome.hr == DISP_E_EXCEPTION ? outcome.scode : outcome.hr;
        std::wstring reason = outcome.description;
        if (reason.empty()) {
            reason = hr == E_OUTOFMEMORY ? base::SystemMessage(hr)
                                         : L"it is not a valid regular expression";
        }
        return base::Error(hr, L"The regular-expression engine rejected the pattern \"" + pattern +
                                   L"\": " + reason);
    }

    DISPID MemberId(const wchar_t* name) {
        return base::DispatchId(object_.get(), name,
                                std::wstring(L"The regular-expression object has no member ") +
                                    name);
    }

    void Put(const wchar_t* name, base::UniqueVariant value) {
        base::Invoke(object_.get(), MemberId(name), DISPATCH_PROPERTYPUT, {&value},
                     std::wstring(L"Cannot set ") + name + L" of the regular-expression object");
    }

    base::ComPtr<IDispatch> object_;
    DISPID testId_ = DISPID_UNKNOWN;
};

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
    if (base::ComPtr<IDispatch> object = CreateRegExp()) {
        platform_ = std::make_unique<PlatformRegExp>(std::move(object), pattern, ignoreCase,
                                                     multiLine, global);
    }
}

RegExp::RegExp(RegExp&&) noexcept = default;
RegExp& RegExp::operator=(RegExp&&) noexcept = default;
RegExp::~RegExp() = default;

bool RegExp::Test(std::wstring_view subject) {
    if (platform_) {
        return platform_->Test(subject, pattern_);
    }
    Compile();
    return builtIn_->Search(subject);
}

void RegExp::Compile() {
    if (platform_) {
        platform_->Test(L"", pattern_);
    } else if (!builtIn_) {
        builtIn_ = std::make_unique<BuiltInRegExp>(pattern_, ignoreCase_, multiLine_);
    }
}

bool RegExpTest(std::wstring_view subject, std::wstring_view pattern, bool ignoreCase,
                bool multiLine, bool global, RegExpEngine engine) {
    return RegExp(pattern, ignoreCase, multiLine, global, engine).Test(subject);
}

} // namespace tools
