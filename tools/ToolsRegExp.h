// Matching text against regular expressions, and escaping literal text into a pattern.
//
// The platform's "VBScript.RegExp" class does the matching, created late-bound by its ProgID and
// driven through IDispatch. Windows releases that retire VBScript no longer register that class;
// there a built-in engine with the ECMAScript grammar stands in (ToolsRegExpEngine.h), so that
// a pattern still matches instead of every test silently answering False.
#pragma once

#include "tools/ToolsRegExpEngine.h"
#include "tools/ToolsRegExpLiteralSearch.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

struct IDispatch;

namespace base {
template <class T> class ComPtr; // base/Owners.h
}

namespace tools {

class PlatformRegExp;

// Which engine a RegExp uses. Automatic: the platform class when it can be created, otherwise
// the built-in engine. BuiltIn: the built-in engine always.
enum class RegExpEngine { Automatic, BuiltIn };

// Puts a backslash before each of \ . + * ? [ ^ ] $ ( ) { } = ! < > | : and copies every other
// character unchanged, so that the result, used as a pattern, matches exactly the text.
std::wstring RegExpEscape(std::wstring_view text);

// A new "VBScript.RegExp" object (CLSIDFromProgID, then CoCreateInstance), or null when the
// class cannot be created for any reason (not registered, COM not initialised on the thread).
base::ComPtr<IDispatch> CreateRegExp();

// A regular expression with its options set, reusable for any number of subjects.
class RegExp {
public:
    // With the platform class, sets IgnoreCase, MultiLine, Global and Pattern in that order;
    // a failure to set one throws base::Error. A malformed pattern does not fail here: like the
    // platform class, the built-in engine compiles the pattern at the first Test or Compile.
    RegExp(std::wstring_view pattern, bool ignoreCase, bool multiLine, bool global,
           RegExpEngine engine = RegExpEngine::Automatic);
    RegExp(RegExp&&) noexcept;
    RegExp& operator=(RegExp&&) noexcept;
    ~RegExp();

    // True when the pattern matches at some position of subject ("^" and "$" in the pattern tie
    // it to a start or an end). A malformed pattern throws base::Error: the built-in engine's
    // kRegExpSyntaxError (0x800A1399), or the platform's own HRESULT, always with a description
    // that names the pattern. The built-in engine throws kRegExpTooComplex for a pattern whose
    // test against subject would take too long. global has no effect on the answer.
    bool Test(std::wstring_view subject);

    // Makes a malformed pattern fail now, as Test would, before any subject is at hand: the
    // built-in engine compiles the pattern, the platform class tests the empty text.
    void Compile();

    bool UsesPlatformClass() const { return platform_ != nullptr; }

private:
    std::unique_ptr<PlatformRegExp> platform_; // the platform's object, when it is used
    std::wstring pattern_;
    bool ignoreCase_;
    bool multiLine_;
    std::unique_ptr<BuiltInRegExp> builtIn_; // compiled at the first Test
};

// RegExp(pattern, ignoreCase, multiLine, global, engine).Test(subject): a fresh object for every
// call, released before it returns.
bool RegExpTest(std::wstring_view subject, std::wstring_view pattern, bool ignoreCase,
                bool multiLine, bool global, RegExpEngine engine = RegExpEngine::Automatic);

} // namespace tools
