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
// Patterns come from callers and may be hostile, so every cost is bounded:
// - A pattern without back-references and look-aheads is answered by simulating its automaton
//   over the subject, all alternatives at once: time linear in the subject, whatever the pattern.
//   A yes-or-no search needs no captures and no preference between alternatives.
// - The others need backtracking. Its choice points live on a stack in the heap, and a test that
//   takes more steps than a budget that grows with the subject's length, or more choice points
//   than a fixed cap, fails with kRegExpTooComplex instead of running for hours.
// - Character classes are sorted ranges; groups may nest 500 deep; repetitions are unrolled up to
//   a fixed program size. Parsing and compiling use no recursion at all, matching none per
//   character: only backtracking recurses, once per nested look-ahead (500 nested look-aheads
//   take about 100 KB of stack in 64-bit code, measured).
#pragma once

#include <memory>
#include <string_view>

namespace tools {

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

    struct Program;
    class Automaton;
    class Backtracker;

private:
    std::unique_ptr<Program> program_;
    std::unique_ptr<Automaton> automaton_;
    std::unique_ptr<Backtracker> backtracker_;
};

} // namespace tools
