// The regular-expression engine that stands in for the platform's "VBScript.RegExp" class where
// that class cannot be created (Windows releases without VBScript).
//
// Grammar: ECMAScript, with the web-compatibility rules that script engines follow (a "{" or "]"
// that cannot be read otherwise is a literal; a backslash before any other character stands for
// that character; "\1".."\9" beyond the number of groups are octal escapes). Supported: literals,
// ".", classes with ranges and \d \D \s \S \w \W, groups (capturing and "(?:"), back-references,
// "(?=" and "(?!" look-aheads, greedy and lazy quantifiers including {n,m}, "^", "$", \b, \B.
// Ignoring case compares the ECMAScript canonical forms of code units (ToolsRegExpCase.h).
//
// Patterns come from callers and may be hostile, so every cost is bounded. The compiler
// (ToolsRegExpCompiler.cpp) turns a pattern into a program (ToolsRegExpProgram.h) without
// recursion. A pattern without back-references and look-aheads is answered by the automaton
// (ToolsRegExpAutomaton.cpp) in time linear in the subject, whatever the pattern; the others need
// the backtracker (ToolsRegExpBacktracker.cpp). Both stop at a budget of steps and memory, and
// fail with kRegExpTooComplex beyond it.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

namespace tools {

namespace regexp_engine {
struct Program;
class Matcher;
} // namespace regexp_engine

// The error that the built-in engine raises for a malformed pattern: the platform class's code
// for a syntax error in a regular expression (5017).
inline constexpr HRESULT kRegExpSyntaxError = static_cast<HRESULT>(0x800A1399);

// The error that the built-in engine raises when testing a subject would take more steps or
// memory than its budget allows (a pattern that backtracks exponentially): 0x80070718, "not
// enough quota is available to process this command", the budget being the quota.
inline constexpr HRESULT kRegExpTooComplex = static_cast<HRESULT>(0x80070718);

class BuiltInRegExp {
public:
    // Compiles pattern. Throws base::Error(kRegExpSyntaxError) saying what is malformed and
    // where, or base::Error(E_OUTOFMEMORY) when its repetition counts make it too large.
    BuiltInRegExp(std::wstring_view pattern, bool ignoreCase, bool multiLine);
    BuiltInRegExp(BuiltInRegExp&&) noexcept;
    BuiltInRegExp& operator=(BuiltInRegExp&&) noexcept;
    ~BuiltInRegExp();

    // True when the pattern matches at some position of subject. Throws
    // base::Error(kRegExpTooComplex) when backtracking would take too long or too much memory.
    bool Search(std::wstring_view subject);

private:
    std::unique_ptr<regexp_engine::Program> program_;
    std::unique_ptr<regexp_engine::Matcher> matcher_; // reads *program_
};

} // namespace tools
