// The regular-expression engine that stands in for the platform's "VBScript.RegExp" class where
// that class cannot be created (Windows releases without VBScript).
//
// Grammar: ECMAScript, with the web-compatibility rules that script engines follow (a "{" or "]"
// that cannot be read otherwise is a literal; a backslash before any other character stands for
// that character; "\1".."\9" beyond the number of groups are octal escapes). Supported: literals,
// ".", classes with ranges and \d \D \s \S \w \W, groups (capturing and "(?:"), back-references,
// "(?=" and "(?!" look-aheads, greedy and lazy quantifiers including {n,m}, "^", "$", \b, \B.
// Ignoring case compares code units after upper-casing them (never mapping a non-ASCII character
// onto an ASCII one), as ECMAScript does.
//
// Matching backtracks like the platform's engine, but keeps its choice points on a stack in the
// heap, so a long subject cannot overflow the thread's stack (std::regex recurses once per
// character and overflows a 1 MB stack on subjects of a few thousand characters).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

class BuiltInRegExp {
public:
    // Compiles pattern. Throws tools::Error(kRegExpSyntaxError) saying what is malformed and
    // where, or tools::Error(E_OUTOFMEMORY) when its repetition counts make it too large.
    BuiltInRegExp(std::wstring_view pattern, bool ignoreCase, bool multiLine);
    BuiltInRegExp(BuiltInRegExp&&) noexcept;
    BuiltInRegExp& operator=(BuiltInRegExp&&) noexcept;
    ~BuiltInRegExp();

    // True when the pattern matches at some position of subject.
    bool Search(std::wstring_view subject);

    struct Program;

private:
    struct Backtrack {
        int kind;     // a choice point to resume at, or a register value to restore
        int index;    // the instruction, or the register
        ptrdiff_t at; // the subject position, or the register's former value
    };

    bool Run(int pc, ptrdiff_t& position);
    void SetRegister(int index, ptrdiff_t value);

    std::unique_ptr<Program> program_;
    // Scratch of the current search, kept between searches to spare allocations.
    std::wstring folded_;
    std::wstring_view text_;
    std::vector<ptrdiff_t> registers_;
    std::vector<Backtrack> stack_;
};

} // namespace tools
