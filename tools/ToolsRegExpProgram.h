// The compiled form of a pattern, which the compiler writes and the two matchers read: a list of
// instructions over one position in the subject and a set of registers, with the pattern's
// character classes and what the compiler found out about where a match can start. Consuming
// instructions (Char, Any, Class) take the code unit at the position; the others test the
// position, choose between two ways (Split) or set registers.
#pragma once

#include "base/Error.h"
#include "tools/ToolsRegExpCase.h"
#include "tools/ToolsRegExpEngine.h"
#include "tools/ToolsRegExpLiteralSearch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tools::regexp_engine {

using Ranges = regexp_case::Ranges;

constexpr int kUnbounded = -1;
// The budget of a search: steps per subject code unit on top of a fixed allowance (a step is an
// instruction that backtracking runs, or a state that the automaton visits), and the most
// entries held at once (choice points and register changes, or starts of counted repetitions).
constexpr size_t kBaseSteps = 1000000;
constexpr size_t kStepsPerCodeUnit = 500;
constexpr size_t kMaxHeldEntries = 1 << 21;
// The steps that a search of a subject of length code units may take. It saturates, so that a
// subject too long for the sum in a 32-bit size_t gets the largest budget, not a wrapped one.
constexpr size_t StepBudget(size_t length) {
    constexpr size_t kMost = static_cast<size_t>(-1);
    return length > (kMost - kBaseSteps) / kStepsPerCodeUnit
               ? kMost
               : kBaseSteps + kStepsPerCodeUnit * length;
}
static_assert(StepBudget(0) == kBaseSteps);
static_assert(StepBudget(static_cast<size_t>(-1)) == static_cast<size_t>(-1));
static_assert(StepBudget(9'000'000) > StepBudget(8'000'000),
              "a longer subject never gets fewer steps");
// How much of the subject a "too complex" description quotes.
constexpr size_t kQuotedSubject = 100;

inline bool IsLineTerminator(wchar_t c) {
    return c == L'\n' || c == L'\r' || c == 0x2028 || c == 0x2029;
}

inline bool IsWordCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_';
}

// A character class: sorted, merged ranges (closed over letter case when case is ignored), with
// the ASCII members also as a bit map for the common case. Built by the compiler.
struct CharClass {
    Ranges ranges;
    std::array<std::uint64_t, 2> ascii{};
    bool negated = false;

    CharClass(Ranges members, bool negate, bool ignoreCase);

    bool Contains(wchar_t c) const {
        bool member;
        if (c < 0x80) {
            member = (ascii[c >> 6] >> (c & 63)) & 1;
        } else {
            auto it =
                std::upper_bound(ranges.begin(), ranges.end(), c,
                                 [](wchar_t value, const auto& r) { return value < r.first; });
            member = it != ranges.begin() && c <= std::prev(it)->second;
        }
        return member != negated;
    }
};

enum class Op : std::uint8_t {
    Char,            // a: the code unit (its canonical form when case is ignored)
    Any,             // any code unit but a line terminator
    Class,           // a: the class
    LineStart,       // ^
    LineEnd,         // $
    WordBoundary,    // \b
    NotWordBoundary, // \B
    Split,           // try a, and b when that fails
    Jump,            // a
    Save,            // register a = position
    ClearGroups,     // registers a to b - 1 = unset, at the start of each repetition
    Backref,         // a: the group
    LoopMark,        // register a = position, at the start of a repetition
    LoopCheck,       // fail when the repetition consumed nothing since register a was set
    LookAhead,       // a: 1 when negative; b: where to go on; the body follows, ending in Match
    Count,           // a to b (kUnbounded) times the consuming instruction that follows, whose b
                     // numbers the repetition; the way on is after that instruction
    Match,
};

struct Instruction {
    Op op;
    int a = 0;
    int b = 0;
};

// Pushes where control goes from the instruction at pc when it does not consume: both ways of a
// Split, a Jump's target, past a look-ahead's body, or the next instruction.
inline void PushSuccessors(const Instruction& in, int pc, std::vector<int>& work) {
    switch (in.op) {
    case Op::Split:
        work.push_back(in.b);
        work.push_back(in.a);
        break;
    case Op::Jump:
        work.push_back(in.a);
        break;
    case Op::LookAhead:
        work.push_back(in.b);
        break;
    default:
        work.push_back(pc + 1);
        break;
    }
}

// The code units that can start a match, as a filter for where a search may begin: the ASCII
// ones as a bit map, the others all together.
struct StartFilter {
    std::array<std::uint64_t, 2> ascii{};
    bool nonAscii = false;

    bool Accepts(wchar_t c) const {
        return c < 0x80 ? ((ascii[c >> 6] >> (c & 63)) & 1) != 0 : nonAscii;
    }
    void Add(wchar_t c) {
        if (c < 0x80) {
            ascii[c >> 6] |= std::uint64_t{1} << (c & 63);
        } else {
            nonAscii = true;
        }
    }
};

struct Program {
    std::wstring pattern;
    std::vector<Instruction> code;
    std::vector<CharClass> classes;
    int groups = 0;
    int registers = 0; // two per group, then one per repetition
    bool ignoreCase = false;
    bool multiLine = false;
    bool needsBacktracking = false; // back-references or look-aheads
    bool anchored = false;          // only position 0 can start a match
    bool filtered = false;          // startFilter rules out some starting code units
    StartFilter startFilter;
    int counts = 0; // Count instructions
    // The code units that every match begins with, when the program starts with some: a search
    // looks for them as a literal, and the automaton goes on at afterPrefix where they end.
    std::unique_ptr<LiteralSearch> prefix;
    int afterPrefix = 0;

    // Code unit c in the form that Char instructions hold.
    wchar_t Fold(const wchar_t* canonical, wchar_t c) const {
        return ignoreCase ? canonical[c] : c;
    }

    // Whether the assertion holds at position at of text.
    bool AssertionHolds(Op op, std::wstring_view text, size_t at) const {
        switch (op) {
        case Op::LineStart:
            return at == 0 || (multiLine && IsLineTerminator(text[at - 1]));
        case Op::LineEnd:
            return at == text.size() || (multiLine && IsLineTerminator(text[at]));
        default: {
            const bool before = at > 0 && IsWordCharacter(text[at - 1]);
            const bool after = at < text.size() && IsWordCharacter(text[at]);
            return (before != after) == (op == Op::WordBoundary);
        }
        }
    }

    // Whether the consuming instruction accepts code unit c (folded: its canonical form).
    bool Accepts(const Instruction& in, wchar_t c, wchar_t folded) const {
        switch (in.op) {
        case Op::Char:
            return folded == static_cast<wchar_t>(in.a);
        case Op::Any:
            return !IsLineTerminator(c);
        default:
            return classes[static_cast<size_t>(in.a)].Contains(c);
        }
    }

    [[noreturn, gnu::noinline, gnu::cold]] void FailTooComplex(std::wstring_view subject) const {
        std::wstring quoted(subject.substr(0, kQuotedSubject));
        if (subject.size() > kQuotedSubject) {
            quoted += L"...";
        }
        throw base::Error(kRegExpTooComplex, L"The regular expression \"" + pattern +
                                                 L"\" is too complex to test against \"" + quoted +
                                                 L"\"");
    }
};

// Where a search may start at or after position from: the next position whose code unit passes
// the start filter, or text.size() + 1 when there is none (no match can start at the end).
inline size_t NextStart(const Program& program, std::wstring_view text, size_t from) {
    if (!program.filtered) {
        return from;
    }
    while (from < text.size() && !program.startFilter.Accepts(text[from])) {
        ++from;
    }
    return from < text.size() ? from : text.size() + 1;
}

// Parses pattern and writes its program into program, whose pattern and options are set
// (ToolsRegExpCompiler.cpp).
void Compile(std::wstring_view pattern, Program& program);

// What runs a compiled program over subjects: the automaton or the backtracker. It keeps its
// working memory from one search to the next, and reads the program, which must outlive it.
class Matcher {
public:
    virtual ~Matcher() = default;
    // True when the program matches at some position of subject.
    virtual bool Search(std::wstring_view subject) = 0;
};

// For a program that needs no backtracking (ToolsRegExpAutomaton.cpp).
std::unique_ptr<Matcher> MakeAutomaton(const Program& program);
// For a program that needs backtracking, whose repetitions are all unrolled
// (ToolsRegExpBacktracker.cpp).
std::unique_ptr<Matcher> MakeBacktracker(const Program& program);

} // namespace tools::regexp_engine
