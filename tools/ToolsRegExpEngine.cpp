// The engine's two steps: the compiler turns the pattern into a program once, then every search
// runs that program on the matcher it needs, the automaton when it can, the backtracker when the
// pattern has back-references or look-aheads.
#include "tools/ToolsRegExpEngine.h"

#include "tools/ToolsRegExpProgram.h"

namespace tools {

BuiltInRegExp::BuiltInRegExp(std::wstring_view pattern, bool ignoreCase, bool multiLine)
    : program_(std::make_unique<regexp_engine::Program>()) {
    program_->pattern = pattern;
    program_->ignoreCase = ignoreCase;
    program_->multiLine = multiLine;
    regexp_engine::Compile(pattern, *program_);
    matcher_ = program_->needsBacktracking ? regexp_engine::MakeBacktracker(*program_)
                                           : regexp_engine::MakeAutomaton(*program_);
}

BuiltInRegExp::BuiltInRegExp(BuiltInRegExp&&) noexcept = default;
BuiltInRegExp& BuiltInRegExp::operator=(BuiltInRegExp&&) noexcept = default;
BuiltInRegExp::~BuiltInRegExp() = default;

bool BuiltInRegExp::Search(std::wstring_view subject) {
    return matcher_->Search(subject);
}

} // namespace tools
