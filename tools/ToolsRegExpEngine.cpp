#include "tools/ToolsRegExpEngine.h"

#include "base/Error.h"
#include "tools/ToolsRegExpCase.h"
#include "tools/ToolsRegExp.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tools {

namespace {

using Ranges = regexp_case::Ranges;

constexpr int kUnbounded = -1;
constexpr size_t kMaxInstructions = 1 << 20;
constexpr int kMaxNesting = 500;
// The budget of a search: steps per subject code unit on top of a fixed allowance (a step is an
// instruction that backtracking runs, or a state that the automaton visits), and the most
// entries held at once (choice points and register changes, or starts of counted repetitions).
constexpr size_t kBaseSteps = 1000000;
constexpr size_t kStepsPerCodeUnit = 500;
constexpr size_t kMaxHeldEntries = 1 << 21;
// How much of the subject a "too complex" description quotes.
constexpr size_t kQuotedSubject = 100;

bool IsLineTerminator(wchar_t c) {
    return c == L'\n' || c == L'\r' || c == 0x2028 || c == 0x2029;
}

bool IsWordCharacter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_';
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

bool IsClassEscape(wchar_t c) {
    switch (c) {
    case L'd':
    case L'D':
    case L's':
    case L'S':
    case L'w':
    case L'W':
        return true;
    default:
        return false;
    }
}

// Ranges sorted and merged.
Ranges Normalized(Ranges ranges) {
    std::sort(ranges.begin(), ranges.end());
    Ranges merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1) {
            merged.back().second = std::max(merged.back().second, range.second);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

// The code units that none of the ranges holds.
Ranges Complement(const Ranges& ranges) {
    Ranges complement;
    unsigned next = 0;
    for (const auto& [first, last] : Normalized(ranges)) {
        if (first > next) {
            complement.emplace_back(static_cast<wchar_t>(next), static_cast<wchar_t>(first - 1));
        }
        next = static_cast<unsigned>(last) + 1;
    }
    if (next <= 0xFFFF) {
        complement.emplace_back(static_cast<wchar_t>(next), static_cast<wchar_t>(0xFFFF));
    }
    return complement;
}

// The members of \d, \s and \w (lower-case letter) or of their complements (upper-case letter).
Ranges ClassEscapeRanges(wchar_t letter) {
    Ranges members;
    switch (letter | 0x20) {
    case L'd':
        members = {{L'0', L'9'}};
        break;
    case L'w':
        members = {{L'0', L'9'}, {L'A', L'Z'}, {L'_', L'_'}, {L'a', L'z'}};
        break;
    default: // s: white space and line terminators
        members = {{0x09, 0x0D},     {0x20, 0x20},     {0xA0, 0xA0},     {0x1680, 0x1680},
                   {0x2000, 0x200A}, {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F},
                   {0x3000, 0x3000}, {0xFEFF, 0xFEFF}};
        break;
    }
    return (letter & 0x20) ? members : Complement(members);
}

// A character class: sorted, merged ranges (closed over letter case when case is ignored), with
// the ASCII members also as a bit map for the common case.
struct CharClass {
    Ranges ranges;
    std::array<std::uint64_t, 2> ascii{};
    bool negated = false;

    CharClass(Ranges members, bool negate, bool ignoreCase)
        : ranges(Normalized(ignoreCase ? regexp_case::CloseOverCase(members) : std::move(members))),
          negated(negate) {
        for (const auto& [first, last] : ranges) {
            for (unsigned c = first; c <= last && c < 0x80; ++c) {
                ascii[c >> 6] |= std::uint64_t{1} << (c & 63);
            }
        }
    }

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

bool Consumes(Op op) {
    return op == Op::Char || op == Op::Any || op == Op::Class;
}

// Pushes where control goes from the instruction at pc when it does not consume: both ways of a
// Split, a Jump's target, past a look-ahead's body, or the next instruction.
void PushSuccessors(const Instruction& in, int pc, std::vector<int>& work) {
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

} // namespace

struct BuiltInRegExp::Program {
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

namespace {

// Parses the pattern and emits its program in one pass, without recursion: the groups still
// open wait on a stack of their own, an alternative gets its choice point inserted in front of it
// when a "|" ends it, and a quantifier copies the code of the atom before it (repetitions are
// unrolled: min copies, then either a loop or max - min optional copies).
class Compiler {
public:
    Compiler(std::wstring_view pattern, BuiltInRegExp::Program& program)
        : pattern_(pattern), program_(program), code_(program.code) {
        Prescan();
        program_.registers = 2 * program_.groups;
    }

    void Compile() {
        open_.emplace_back(); // the whole pattern, a group without brackets
        while (!AtEnd()) {
            switch (Peek()) {
            case L'|':
                ++pos_;
                NextAlternative(open_.back());
                break;
            case L')':
                if (open_.size() == 1) {
                    Fail(L"unmatched \")\"");
                }
                ++pos_;
                EndGroup();
                break;
            case L'(':
                StartGroup();
                break;
            default:
                Term();
                break;
            }
        }
        if (open_.size() > 1) {
            pos_ = open_.back().openAt;
            Fail(L"missing \")\" for the group");
        }
        EndAlternatives(open_.back());
        Add({Op::Match});
        NumberCounts();
        program_.anchored = !program_.multiLine && code_.front().op == Op::LineStart;
        FindStartFilter();
        FindPrefix();
    }

private:
    struct Group {
        enum Kind { Whole, Capturing, NonCapturing, LookAhead } kind = Whole;
        size_t openAt = 0;        // where its "(" is in the pattern
        int start = 0;            // its first instruction
        int alternativeStart = 0; // the first instruction of its current alternative
        int groupsBefore = 0;     // the capturing groups opened before it
        std::vector<int> exits;   // the jumps from the ends of its alternatives to its end
    };

private:
    [[noreturn, gnu::noinline, gnu::cold]] void Fail(std::wstring_view reason) const {
        throw base::Error(kRegExpSyntaxError, L"The regular expression \"" +
                                                  std::wstring(pattern_) + L"\" is malformed: " +
                                                  std::wstring(reason) + L" at character " +
                                                  std::to_wstring(pos_ + 1));
    }

    bool AtEnd() const { return pos_ >= pattern_.size(); }
    // The character ahead of the position, or NUL past the end (NUL is also an ordinary pattern
    // character, so tests for it go through Has or AtEnd).
    wchar_t Peek(size_t ahead = 0) const {
        return pos_ + ahead < pattern_.size() ? pattern_[pos_ + ahead] : L'\0';
    }
    bool Has(size_t ahead) const { return pos_ + ahead < pattern_.size(); }

    // Counts the groups of the whole pattern, by which back-references are told from octal
    // escapes, and notes whether it may need backtracking: it has a look-ahead, or a back-slash
    // before a digit other than 0 outside a class (which may be a back-reference).
    void Prescan() {
        int count = 0;
        bool inClass = false;
        for (size_t i = 0; i < pattern_.size(); ++i) {
            const wchar_t c = pattern_[i];
            const wchar_t next = i + 1 < pattern_.size() ? pattern_[i + 1] : L'\0';
            if (c == L'\\') {
                program_.needsBacktracking =
                    program_.needsBacktracking || (!inClass && next >= L'1' && next <= L'9');
                ++i;
            } else if (inClass) {
                inClass = c != L']';
            } else if (c == L'[') {
                inClass = true;
            } else if (c == L'(' && next != L'?') {
                ++count;
            } else if (c == L'(' && i + 2 < pattern_.size()) {
                const wchar_t kind = pattern_[i + 2];
                program_.needsBacktracking =
                    program_.needsBacktracking || kind == L'=' || kind == L'!';
            }
        }
        program_.groups = count;
    }

    // A brace quantifier {n}, {n,} or {n,m} at the current position: its length in characters,
    // or 0 when the brace does not start one (it is then a literal).
    [[gnu::noinline]] size_t ReadBraces(int& min, int& max) const {
        size_t i = pos_ + 1;
        auto number = [&](int& value) {
            const size_t start = i;
            long long n = 0;
            while (i < pattern_.size() && IsDigit(pattern_[i])) {
                n = std::min<long long>(n * 10 + (pattern_[i] - L'0'), INT_MAX);
                ++i;
            }
            value = static_cast<int>(n);
            return i > start;
        };
        if (!number(min)) {
            return 0;
        }
        max = min;
        if (i < pattern_.size() && pattern_[i] == L',') {
            ++i;
            if (!number(max)) {
                max = kUnbounded;
            }
        }
        if (i >= pattern_.size() || pattern_[i] != L'}') {
            return 0;
        }
        return i + 1 - pos_;
    }

    // A character escape after a backslash (consumed), inside a class or outside one.
    wchar_t ReadCharacterEscape(bool inClass) {
        const wchar_t c = Peek();
        ++pos_;
        switch (c) {
        case L'f':
            return L'\f';
        case L'n':
            return L'\n';
        case L'r':
            return L'\r';
        case L't':
            return L'\t';
        case L'v':
            return L'\v';
        case L'b':
            return L'\b'; // only reached inside a class
        case L'c': {
            const wchar_t letter = Peek();
            const bool accepted = (letter >= L'a' && letter <= L'z') ||
                                  (letter >= L'A' && letter <= L'Z') ||
                                  (inClass && (IsDigit(letter) || letter == L'_'));
            if (accepted) {
                ++pos_;
                return static_cast<wchar_t>(letter % 32);
            }
            // "\c" without a letter stands for a backslash; the "c" is read again as itself.
            --pos_;
            return L'\\';
        }
        case L'x':
        case L'u': {
            const size_t digits = c == L'x' ? 2 : 4;
            int value = 0;
            for (size_t i = 0; i < digits; ++i) {
                const int digit = HexValue(Peek(i));
                if (digit < 0) {
                    return c;
                }
                value = value * 16 + digit;
            }
            pos_ += digits;
            return static_cast<wchar_t>(value);
        }
        default:
            break;
        }
        if (c >= L'0' && c <= L'7') {
            // A legacy octal escape: up to three digits, at most \377.
            int value = c - L'0';
            for (int i = 0; i < 2 && Peek() >= L'0' && Peek() <= L'7'; ++i) {
                const int next = value * 8 + (Peek() - L'0');
                if (next > 0377) {
                    break;
                }
                value = next;
                ++pos_;
            }
            return static_cast<wchar_t>(value);
        }
        return c;
    }

    // One member of a class: its code unit, or -1 for a class escape, whose members go straight
    // into members.
    int ReadClassAtom(Ranges& members) {
        const wchar_t c = Peek();
        ++pos_;
        if (c != L'\\') {
            return c;
        }
        if (AtEnd()) {
            Fail(L"\"\\\" at the end of the pattern");
        }
        if (IsClassEscape(Peek())) {
            const Ranges escape = ClassEscapeRanges(Peek());
            members.insert(members.end(), escape.begin(), escape.end());
            ++pos_;
            return -1;
        }
        return ReadCharacterEscape(true);
    }

    [[noreturn, gnu::noinline, gnu::cold]] void FailTooLarge() const {
        throw base::Error(E_OUTOFMEMORY, L"The regular expression \"" + program_.pattern +
                                             L"\" repeats too much to be compiled");
    }

    int Here() const { return static_cast<int>(code_.size()); }
    Instruction& At(int pc) { return code_[static_cast<size_t>(pc)]; }

    int Add(Instruction instruction) {
        if (code_.size() >= kMaxInstructions) {
            FailTooLarge();
        }
        code_.push_back(instruction);
        return Here() - 1;
    }

    void AddChar(wchar_t c) { Add({Op::Char, program_.Fold(regexp_case::CanonicalTable(), c)}); }

    void AddClass(Ranges members, bool negated) {
        // A class of one code unit (in any case, when case is ignored) is that code unit.
        if (const int single = SingleCodeUnit(members); !negated && single >= 0) {
            AddChar(static_cast<wchar_t>(single));
            return;
        }
        Add({Op::Class, static_cast<int>(program_.classes.size())});
        program_.classes.emplace_back(std::move(members), negated, program_.ignoreCase);
    }

    // The code unit (folded) that all the members stand for, or -1 when they are not all one.
    int SingleCodeUnit(const Ranges& members) const {
        const wchar_t* canonical = regexp_case::CanonicalTable();
        int single = -1;
        for (const auto& [first, last] : members) {
            for (unsigned c = first; c <= last; ++c) {
                const int folded = program_.Fold(canonical, static_cast<wchar_t>(c));
                if (single >= 0 && folded != single) {
                    return -1;
                }
                single = folded;
            }
        }
        return single;
    }

    // Adds offset to every jump target of the instructions from first on that points at first or
    // beyond: the code from first on has moved by offset.
    static void Relocate(Instruction* begin, Instruction* end, int first, int offset) {
        for (Instruction* in = begin; in != end; ++in) {
            const bool hasA = in->op == Op::Split || in->op == Op::Jump;
            const bool hasB = in->op == Op::Split || in->op == Op::LookAhead;
            if (hasA && in->a >= first) {
                in->a += offset;
            }
            if (hasB && in->b >= first) {
                in->b += offset;
            }
        }
    }

    // A term other than a group: an assertion, or an atom with its quantifier if it has one.
    void Term() {
        const wchar_t c = Peek();
        const int start = Here();
        switch (c) {
        case L'^':
            ++pos_;
            Add({Op::LineStart});
            return;
        case L'$':
            ++pos_;
            Add({Op::LineEnd});
            return;
        case L'\\':
            if (Peek(1) == L'b' || Peek(1) == L'B') {
                Add({Peek(1) == L'b' ? Op::WordBoundary : Op::NotWordBoundary});
                pos_ += 2;
                return;
            }
            ++pos_;
            AtomEscape();
            break;
        case L'[':
            ++pos_;
            Class();
            break;
        case L'.':
            ++pos_;
            Add({Op::Any});
            break;
        case L'*':
        case L'+':
        case L'?':
            Fail(L"nothing to repeat");
        default:
            if (int min = 0, max = 0; c == L'{' && ReadBraces(min, max) != 0) {
                Fail(L"nothing to repeat");
            }
            ++pos_;
            AddChar(c);
            break;
        }
        Quantify(start, groupsOpened_);
    }

    void StartGroup() {
        if (open_.size() > static_cast<size_t>(kMaxNesting)) {
            Fail(L"groups nested more than 500 deep");
        }
        Group group;
        group.openAt = pos_;
        group.start = Here();
        group.groupsBefore = groupsOpened_;
        ++pos_;
        if (Peek() == L'?') {
            const wchar_t kind = Peek(1);
            if (kind == L'=' || kind == L'!') {
                group.kind = Group::LookAhead;
                Add({Op::LookAhead, kind == L'!' ? 1 : 0});
                program_.needsBacktracking = true;
            } else if (kind == L':') {
                group.kind = Group::NonCapturing;
            } else {
                ++pos_;
                Fail(L"invalid group");
            }
            pos_ += 2;
        } else {
            group.kind = Group::Capturing;
            Add({Op::Save, 2 * groupsOpened_++});
        }
        group.alternativeStart = Here();
        open_.push_back(std::move(group));
    }

    void EndGroup() {
        Group group = std::move(open_.back());
        open_.pop_back();
        EndAlternatives(group);
        if (group.kind == Group::Capturing) {
            Add({Op::Save, 2 * group.groupsBefore + 1});
        } else if (group.kind == Group::LookAhead) {
            Add({Op::Match});
            At(group.start).b = Here();
        }
        Quantify(group.start, group.groupsBefore);
    }

    // At a "|": the alternative that it ends gets a choice point in front of it, which tries it
    // and otherwise the next, and a jump to the end of the group after it.
    void NextAlternative(Group& group) {
        const int at = group.alternativeStart;
        Add({Op::Jump}); // makes room; the alternative moves up by one
        std::move_backward(code_.begin() + at, code_.end() - 1, code_.end());
        Relocate(code_.data() + at + 1, code_.data() + code_.size(), at, 1);
        group.exits.push_back(Add({Op::Jump}));
        At(at) = {Op::Split, at + 1, Here()};
        group.alternativeStart = Here();
    }

    void EndAlternatives(const Group& group) {
        for (int exit : group.exits) {
            At(exit).a = Here();
        }
    }

    // Appends a copy of code that was at pc first, its jumps moved along.
    void Append(const std::vector<Instruction>& code, int first) {
        const int start = Here();
        for (const Instruction& in : code) {
            Add(in);
        }
        Relocate(code_.data() + start, code_.data() + code_.size(), first, start - first);
    }

    void SetSplit(int split, int body, int skip, bool greedy) {
        At(split).a = greedy ? body : skip;
        At(split).b = greedy ? skip : body;
    }

    // The quantifier after the atom whose code starts at atomStart, if there is one: the atom's
    // code is replaced by its repetition. Each pass starts with the groups inside the atom unset,
    // so that a back-reference never sees what an earlier pass captured.
    void Quantify(int atomStart, int groupsBefore) {
        int min = 0;
        int max = 0;
        if (!ReadQuantifier(min, max)) {
            return;
        }
        bool greedy = true;
        if (Peek() == L'?') {
            greedy = false;
            ++pos_;
        }
        if (max == 0) {
            code_.resize(static_cast<size_t>(atomStart));
            return;
        }
        // One code unit repeated is counted, not unrolled, where no backtracking follows the
        // program: the automaton keeps where each repetition under way began.
        if (!program_.needsBacktracking && Here() == atomStart + 1 && Consumes(At(atomStart).op) &&
            !(min <= 1 && max == 1)) {
            const Instruction atom = At(atomStart);
            At(atomStart) = {Op::Count, min, max};
            Add(atom);
            return;
        }
        const std::vector<Instruction> atom(code_.begin() + atomStart, code_.end());
        code_.resize(static_cast<size_t>(atomStart));
        const int groupsEnd = groupsOpened_;
        auto pass = [&] {
            if (groupsEnd > groupsBefore) {
                Add({Op::ClearGroups, 2 * groupsBefore, 2 * groupsEnd});
            }
            Append(atom, atomStart);
        };
        for (int i = 0; i < min && !atom.empty(); ++i) {
            pass();
        }
        if (max == kUnbounded) {
            // An iteration that consumes nothing ends the loop, or x* with an x that can match
            // the empty text would never end.
            const int loopRegister = program_.registers++;
            const int split = Add({Op::Split});
            Add({Op::LoopMark, loopRegister});
            pass();
            Add({Op::LoopCheck, loopRegister});
            Add({Op::Jump, split});
            SetSplit(split, split + 1, Here(), greedy);
            return;
        }
        std::vector<int> splits;
        for (int i = min; i < max; ++i) {
            splits.push_back(Add({Op::Split}));
            pass();
        }
        for (int split : splits) {
            SetSplit(split, split + 1, Here(), greedy);
        }
    }

    // Reads a quantifier at the position, if there is one: *, +, ?, {n}, {n,} or {n,m}.
    [[gnu::noinline]] bool ReadQuantifier(int& min, int& max) {
        switch (Peek()) {
        case L'*':
            min = 0;
            max = kUnbounded;
            break;
        case L'+':
            min = 1;
            max = kUnbounded;
            break;
        case L'?':
            min = 0;
            max = 1;
            break;
        case L'{':
            if (size_t length = ReadBraces(min, max)) {
                if (max != kUnbounded && max < min) {
                    Fail(L"numbers out of order in a {} quantifier");
                }
                pos_ += length - 1;
                break;
            }
            return false;
        default:
            return false;
        }
        ++pos_;
        return true;
    }

    // The escape after a backslash outside a class; the backslash is consumed.
    [[gnu::noinline]] void AtomEscape() {
        if (AtEnd()) {
            Fail(L"\"\\\" at the end of the pattern");
        }
        const wchar_t c = Peek();
        if (IsClassEscape(c)) {
            ++pos_;
            AddClass(ClassEscapeRanges(c), false);
            return;
        }
        if (c >= L'1' && c <= L'9') {
            const size_t start = pos_;
            long long n = 0;
            while (IsDigit(Peek())) {
                n = std::min<long long>(n * 10 + (Peek() - L'0'), INT_MAX);
                ++pos_;
            }
            if (n <= program_.groups) {
                Add({Op::Backref, static_cast<int>(n)});
                program_.needsBacktracking = true;
                return;
            }
            pos_ = start;
        }
        AddChar(ReadCharacterEscape(false));
    }

    // A class after its "[" (consumed).
    [[gnu::noinline]] void Class() {
        const size_t open = pos_ - 1;
        bool negated = false;
        if (Peek() == L'^') {
            negated = true;
            ++pos_;
        }
        Ranges members;
        auto add = [&](int c) {
            if (c >= 0) {
                members.emplace_back(static_cast<wchar_t>(c), static_cast<wchar_t>(c));
            }
        };
        for (;;) {
            if (AtEnd()) {
                pos_ = open;
                Fail(L"missing \"]\" for the character class");
            }
            if (Peek() == L']') {
                ++pos_;
                break;
            }
            int first = ReadClassAtom(members);
            if (Peek() == L'-' && Has(1) && Peek(1) != L']') {
                ++pos_;
                if (first < 0) {
                    // A hyphen after a class escape is a literal, as the script engines read it.
                    add(L'-');
                    continue;
                }
                const size_t secondAt = pos_;
                int last = ReadClassAtom(members);
                if (last < 0) {
                    pos_ = secondAt;
                    Fail(L"a class escape ends a range in the character class");
                }
                if (first > last) {
                    pos_ = secondAt;
                    Fail(L"range out of order in the character class");
                }
                members.emplace_back(static_cast<wchar_t>(first), static_cast<wchar_t>(last));
            } else {
                add(first);
            }
        }
        AddClass(std::move(members), negated);
    }

    // The code units that the first consuming instruction of any match can accept. Assertions
    // and look-aheads are passed over, which can only widen the filter. No filter when a match
    // can be empty, start with anything, or start with a back-reference.
    void FindStartFilter() {
        const std::vector<Instruction>& code = program_.code;
        const wchar_t* canonical = regexp_case::CanonicalTable();
        StartFilter filter;
        std::vector<bool> seen(code.size());
        std::vector<int> work{0};
        while (!work.empty()) {
            const int pc = work.back();
            work.pop_back();
            if (seen[static_cast<size_t>(pc)]) {
                continue;
            }
            seen[static_cast<size_t>(pc)] = true;
            const Instruction& in = code[static_cast<size_t>(pc)];
            switch (in.op) {
            case Op::Match:
            case Op::Any:
            case Op::Backref:
                return;
            case Op::Count:
                work.push_back(pc + 1);
                if (in.a == 0) {
                    work.push_back(pc + 2);
                }
                break;
            case Op::Char:
                for (unsigned c = 0; c < 0x80; ++c) {
                    if (program_.Fold(canonical, static_cast<wchar_t>(c)) == in.a) {
                        filter.Add(static_cast<wchar_t>(c));
                    }
                }
                filter.nonAscii = filter.nonAscii || in.a >= 0x80;
                break;
            case Op::Class: {
                const CharClass& set = program_.classes[static_cast<size_t>(in.a)];
                for (unsigned c = 0; c < 0x80; ++c) {
                    if (set.Contains(static_cast<wchar_t>(c))) {
                        filter.Add(static_cast<wchar_t>(c));
                    }
                }
                filter.nonAscii = filter.nonAscii || set.negated ||
                                  (!set.ranges.empty() && set.ranges.back().second >= 0x80);
                break;
            }
            default:
                PushSuccessors(in, pc, work);
                break;
            }
        }
        program_.startFilter = filter;
        program_.filtered = true;
    }

    // Each Count instruction gets its number, copies of one made by a repetition too.
    void NumberCounts() {
        for (size_t pc = 0; pc < code_.size(); ++pc) {
            if (code_[pc].op == Op::Count) {
                code_[pc + 1].b = program_.counts++;
            }
        }
    }

    // The code units that the program consumes first, one by one, before anything else: no jump
    // leads into them, since a loop or an alternative begins with a choice point.
    void FindPrefix() {
        std::wstring literal;
        int pc = 0;
        for (;; ++pc) {
            const Instruction& in = code_[static_cast<size_t>(pc)];
            if (in.op == Op::Char) {
                literal.push_back(static_cast<wchar_t>(in.a));
            } else if (in.op != Op::Save) {
                break;
            }
        }
        if (!literal.empty()) {
            program_.prefix = std::make_unique<LiteralSearch>(literal, program_.ignoreCase);
            program_.afterPrefix = pc;
        }
    }

    std::wstring_view pattern_;
    BuiltInRegExp::Program& program_;
    std::vector<Instruction>& code_;
    std::vector<Group> open_;
    size_t pos_ = 0;
    int groupsOpened_ = 0;
};

// Where a search may start at or after position from: the next position whose code unit passes
// the start filter, or text.size() + 1 when there is none (no match can start at the end).
size_t NextStart(const BuiltInRegExp::Program& program, std::wstring_view text, size_t from) {
    if (!program.filtered) {
        return from;
    }
    while (from < text.size() && !program.startFilter.Accepts(text[from])) {
        ++from;
    }
    return from < text.size() ? from : text.size() + 1;
}

enum BacktrackKind { kChoice, kRestore };

} // namespace

// Simulates the program's automaton over the subject, one position at a time, with every thread
// that is alive at that position: no thread is ever tried twice at one position, so the time is
// proportional to the subject's length times the program's, within the same budget of steps as
// backtracking. Two things keep common programs far below it: threads start only where the
// program's literal prefix ends, found by a literal search, and a counted repetition of one code
// unit is one state that keeps where each repetition under way began, not a copy per count.
class BuiltInRegExp::Automaton {
public:
    explicit Automaton(const Program& program)
        : program_(program), marks_(program.code.size(), 0),
          counts_(static_cast<size_t>(program.counts)) {}

    bool Search(std::wstring_view text) {
        text_ = text;
        steps_ = kBaseSteps + kStepsPerCodeUnit * text.size();
        held_ = 0;
        if (++search_ == 0) {
            for (CountState& count : counts_) {
                count.search = 0;
            }
            search_ = 1;
        }
        current_.clear();
        const wchar_t* canonical = regexp_case::CanonicalTable();
        const LiteralSearch* prefix = program_.prefix.get();
        size_t prefixState = 0; // of the literal search over the text before the position
        for (size_t at = 0;; ++at) {
            if (current_.empty()) {
                if (program_.anchored && at > 0) {
                    return false;
                }
                at = prefix ? SkipToPrefix(at, prefixState) : NextStart(program_, text, at);
                if (at > text.size()) {
                    return false;
                }
                NewStamp();
            }
            const bool start =
                prefix ? prefixState == prefix->Length() : at == 0 || !program_.anchored;
            if (start && AddThreads(current_, prefix ? program_.afterPrefix : 0, at)) {
                return true;
            }
            if (at == text.size()) {
                return false;
            }
            const wchar_t c = text[at];
            const wchar_t folded = program_.Fold(canonical, c);
            if (prefix) {
                prefixState = prefix->Next(prefixState, folded);
            }
            if (Step(c, folded, at)) {
                return true;
            }
        }
    }

private:
    // Where a counted repetition began each time that it is still under way, oldest first from
    // first; valid for the search numbered search.
    struct CountState {
        std::uint32_t search = 0;
        size_t first = 0;
        std::vector<size_t> starts;
    };

    // The position at or after at where the prefix ends next, the search's state kept in state;
    // text.size() + 1 when it ends nowhere.
    size_t SkipToPrefix(size_t at, size_t& state) const {
        const LiteralSearch& prefix = *program_.prefix;
        while (state != prefix.Length()) {
            if (at == text_.size()) {
                return at + 1;
            }
            state = prefix.Next(state, prefix.Fold(text_[at++]));
        }
        return at;
    }

    void Spend() {
        if (steps_-- == 0) {
            program_.FailTooComplex(text_);
        }
    }

    void NewStamp() {
        if (++stamp_ == 0) {
            std::fill(marks_.begin(), marks_.end(), 0);
            stamp_ = 1;
        }
    }

    // Adds pc to list unless the list has it.
    void Hold(std::vector<int>& list, int pc) {
        std::uint32_t& mark = marks_[static_cast<size_t>(pc)];
        if (mark != stamp_) {
            mark = stamp_;
            list.push_back(pc);
        }
    }

    // Moves the threads of the current list over the code unit at position at (c, folded: its
    // canonical form) into the next list; true when a Match is reachable after it.
    bool Step(wchar_t c, wchar_t folded, size_t at) {
        NewStamp();
        next_.clear();
        for (int pc : current_) {
            Spend();
            const Instruction& in = program_.code[static_cast<size_t>(pc)];
            const bool matched = in.op == Op::Count ? StepCount(pc, c, folded, at)
                                                    : program_.Accepts(in, c, folded) &&
                                                          AddThreads(next_, pc + 1, at + 1);
            if (matched) {
                return true;
            }
        }
        std::swap(current_, next_);
        return false;
    }

    CountState& CountOf(int pc) {
        CountState& count =
            counts_[static_cast<size_t>(program_.code[static_cast<size_t>(pc) + 1].b)];
        if (count.search != search_) {
            count.search = search_;
            count.first = 0;
            count.starts.clear();
        }
        return count;
    }

    // A repetition of the Count instruction at pc begins at position at. A start between two
    // others is dropped when theirs cover every count that it could end with: it ends nothing
    // that they do not.
    void BeginCount(int pc, size_t at) {
        const Instruction& in = program_.code[static_cast<size_t>(pc)];
        CountState& count = CountOf(pc);
        std::vector<size_t>& starts = count.starts;
        const size_t held = starts.size() - count.first;
        if (held > 0 && starts.back() == at) {
            return;
        }
        if (held >= 2 && (in.b == kUnbounded ||
                          at - starts[starts.size() - 2] <= static_cast<size_t>(in.b - in.a) + 1)) {
            starts.back() = at;
            return;
        }
        if (++held_ > kMaxHeldEntries) {
            program_.FailTooComplex(text_);
        }
        starts.push_back(at);
    }

    // The repetitions under way of the Count instruction at pc (those that began at or before
    // at) take the code unit at position at, or end; true when a Match is reachable after it.
    bool StepCount(int pc, wchar_t c, wchar_t folded, size_t at) {
        const Instruction& in = program_.code[static_cast<size_t>(pc)];
        CountState& count = CountOf(pc);
        std::vector<size_t>& starts = count.starts;
        const bool accepted =
            program_.Accepts(program_.code[static_cast<size_t>(pc) + 1], c, folded);
        // Those that cannot take it: all when it does not fit, or those that have their most.
        while (count.first < starts.size() && starts[count.first] <= at &&
               (!accepted ||
                (in.b != kUnbounded && at - starts[count.first] >= static_cast<size_t>(in.b)))) {
            ++count.first;
            --held_;
        }
        if (count.first == starts.size() || starts[count.first] > at) {
            return false;
        }
        if (count.first > 64 && count.first * 2 > starts.size()) {
            starts.erase(starts.begin(), starts.begin() + static_cast<ptrdiff_t>(count.first));
            count.first = 0;
        }
        Hold(next_, pc);
        // The oldest has the most; it ends the repetition when that is enough.
        return at + 1 - starts[count.first] >= static_cast<size_t>(in.a) &&
               AddThreads(next_, pc + 2, at + 1);
    }

    // Adds to list the consuming instructions reachable from pc at position at without
    // consuming; true when a Match is reachable.
    bool AddThreads(std::vector<int>& list, int pc, size_t at) {
        const std::vector<Instruction>& code = program_.code;
        work_.push_back(pc);
        while (!work_.empty()) {
            Spend();
            pc = work_.back();
            work_.pop_back();
            const Instruction& in = code[static_cast<size_t>(pc)];
            if (in.op == Op::Count) {
                BeginCount(pc, at);
            }
            std::uint32_t& mark = marks_[static_cast<size_t>(pc)];
            if (mark == stamp_) {
                continue;
            }
            mark = stamp_;
            switch (in.op) {
            case Op::Char:
            case Op::Any:
            case Op::Class:
                list.push_back(pc);
                break;
            case Op::Count:
                list.push_back(pc);
                if (in.a == 0) {
                    work_.push_back(pc + 2);
                }
                break;
            case Op::Match:
                work_.clear();
                return true;
            case Op::LineStart:
            case Op::LineEnd:
            case Op::WordBoundary:
            case Op::NotWordBoundary:
                if (program_.AssertionHolds(in.op, text_, at)) {
                    work_.push_back(pc + 1);
                }
                break;
            default:
                // Captures and the empty-iteration check change nothing about whether a match
                // exists: an iteration that consumed nothing is the same thread as none.
                PushSuccessors(in, pc, work_);
                break;
            }
        }
        return false;
    }

    const Program& program_;
    std::wstring_view text_;
    std::vector<std::uint32_t> marks_; // the stamp of the list that holds each instruction
    std::uint32_t stamp_ = 0;
    std::vector<CountState> counts_;
    std::uint32_t search_ = 0;
    size_t held_ = 0;  // starts of counted repetitions held
    size_t steps_ = 0; // left of the budget
    std::vector<int> current_;
    std::vector<int> next_;
    std::vector<int> work_;
};

// Tries the alternatives one at a time in the pattern's order of preference, as back-references
// and look-aheads need, within a budget of steps and choice points.
class BuiltInRegExp::Backtracker {
public:
    explicit Backtracker(const Program& program) : program_(program) {}

    bool Search(std::wstring_view subject) {
        subject_ = subject;
        const wchar_t* canonical = regexp_case::CanonicalTable();
        folded_.resize(subject.size());
        for (size_t i = 0; i < subject.size(); ++i) {
            folded_[i] = program_.Fold(canonical, subject[i]);
        }
        registers_.assign(static_cast<size_t>(program_.registers), -1);
        stack_.clear();
        steps_ = kBaseSteps + kStepsPerCodeUnit * subject.size();
        if (program_.prefix) {
            return SearchWherePrefixEnds();
        }
        const size_t last = program_.anchored ? 0 : subject.size();
        for (size_t start = NextStart(program_, subject, 0); start <= last;
             start = NextStart(program_, subject, start + 1)) {
            ptrdiff_t position = static_cast<ptrdiff_t>(start);
            if (Run(0, position)) {
                return true;
            }
        }
        return false;
    }

private:
    // Tries a match at each position where the program's literal prefix occurs.
    bool SearchWherePrefixEnds() {
        const LiteralSearch& prefix = *program_.prefix;
        size_t state = 0;
        for (size_t at = 0; at < folded_.size();) {
            state = prefix.Next(state, folded_[at++]);
            if (state == prefix.Length()) {
                ptrdiff_t position = static_cast<ptrdiff_t>(at - prefix.Length());
                if (Run(0, position)) {
                    return true;
                }
            }
        }
        return false;
    }

    struct Entry {
        int kind;     // a choice point to resume at, or a register value to restore
        int index;    // the instruction, or the register
        ptrdiff_t at; // the subject position, or the register's former value
    };

    void Push(const Entry& entry) {
        if (stack_.size() >= kMaxHeldEntries) {
            program_.FailTooComplex(subject_);
        }
        stack_.push_back(entry);
    }

    void SetRegister(int index, ptrdiff_t value) {
        ptrdiff_t& slot = registers_[static_cast<size_t>(index)];
        if (slot != value) {
            Push({kRestore, index, slot});
            slot = value;
        }
    }

    // Whether the group's text (the empty text when the group took no part) is at position at;
    // advances at past it.
    bool MatchBackref(int group, ptrdiff_t& at) const {
        const ptrdiff_t from = registers_[static_cast<size_t>(2 * (group - 1))];
        const ptrdiff_t to = registers_[static_cast<size_t>(2 * (group - 1) + 1)];
        if (from < 0 || to < from) {
            return true;
        }
        const size_t length = static_cast<size_t>(to - from);
        const std::wstring_view text = folded_;
        const bool ok = text.size() - static_cast<size_t>(at) >= length &&
                        text.substr(static_cast<size_t>(at), length) ==
                            text.substr(static_cast<size_t>(from), length);
        at += static_cast<ptrdiff_t>(length);
        return ok;
    }

    // Runs a look-ahead's body at position at. The body is atomic: once it has matched, its
    // choice points are dropped, but a positive one keeps its captures (undoably). A negative
    // one keeps nothing. Nesting is bounded by the pattern's, not the subject's.
    bool LookAhead(const Instruction& in, int pc, ptrdiff_t at) {
        const size_t mark = stack_.size();
        ptrdiff_t bodyEnd = at;
        const bool matched = Run(pc + 1, bodyEnd);
        if (matched && in.a == 0) {
            size_t kept = mark;
            for (size_t i = mark; i < stack_.size(); ++i) {
                if (stack_[i].kind == kRestore) {
                    stack_[kept++] = stack_[i];
                }
            }
            stack_.resize(kept);
        } else if (matched) {
            Unwind(mark);
        }
        return matched == (in.a == 0);
    }

    void Unwind(size_t mark) {
        while (stack_.size() > mark) {
            const Entry& entry = stack_.back();
            if (entry.kind == kRestore) {
                registers_[static_cast<size_t>(entry.index)] = entry.at;
            }
            stack_.pop_back();
        }
    }

    // Runs the program from pc at position until a Match instruction, backtracking through the
    // choice points that it pushes itself. On success position is where the match ended and the
    // entries that the run pushed stay on the stack (the caller decides what to keep of them);
    // on failure they are all undone.
    bool Run(int pc, ptrdiff_t& position) {
        const std::vector<Instruction>& code = program_.code;
        const std::wstring_view text = subject_;
        const ptrdiff_t end = static_cast<ptrdiff_t>(text.size());
        const size_t base = stack_.size();
        ptrdiff_t at = position;
        for (;;) {
            if (steps_-- == 0) {
                program_.FailTooComplex(subject_);
            }
            const Instruction& in = code[static_cast<size_t>(pc)];
            bool ok = true;
            switch (in.op) {
            case Op::Char:
            case Op::Any:
            case Op::Class:
                ok = at < end && program_.Accepts(in, text[static_cast<size_t>(at)],
                                                  folded_[static_cast<size_t>(at)]);
                ++at;
                ++pc;
                break;
            case Op::LineStart:
            case Op::LineEnd:
            case Op::WordBoundary:
            case Op::NotWordBoundary:
                ok = program_.AssertionHolds(in.op, text, static_cast<size_t>(at));
                ++pc;
                break;
            case Op::Split:
                Push({kChoice, in.b, at});
                pc = in.a;
                break;
            case Op::Jump:
                pc = in.a;
                break;
            case Op::Save:
            case Op::LoopMark:
                SetRegister(in.a, at);
                ++pc;
                break;
            case Op::ClearGroups:
                for (int r = in.a; r < in.b; ++r) {
                    SetRegister(r, -1);
                }
                ++pc;
                break;
            case Op::LoopCheck:
                ok = registers_[static_cast<size_t>(in.a)] != at;
                ++pc;
                break;
            case Op::Backref:
                ok = MatchBackref(in.a, at);
                ++pc;
                break;
            case Op::LookAhead:
                ok = LookAhead(in, pc, at);
                pc = in.b;
                break;
            case Op::Count:
                // Programs that need backtracking unroll their repetitions instead.
                throw base::Error(E_UNEXPECTED, L"The regular expression \"" + program_.pattern +
                                                    L"\" was compiled for the wrong engine");
            case Op::Match:
                position = at;
                return true;
            }
            if (ok) {
                continue;
            }
            for (;;) {
                if (stack_.size() == base) {
                    return false;
                }
                const Entry entry = stack_.back();
                stack_.pop_back();
                if (entry.kind == kRestore) {
                    registers_[static_cast<size_t>(entry.index)] = entry.at;
                    continue;
                }
                pc = entry.index;
                at = entry.at;
                break;
            }
        }
    }

    const Program& program_;
    std::wstring_view subject_;
    std::wstring folded_; // the subject in canonical form when case is ignored
    std::vector<ptrdiff_t> registers_;
    std::vector<Entry> stack_;
    size_t steps_ = 0; // left of the budget
};

BuiltInRegExp::BuiltInRegExp(std::wstring_view pattern, bool ignoreCase, bool multiLine)
    : program_(std::make_unique<Program>()) {
    program_->pattern = pattern;
    program_->ignoreCase = ignoreCase;
    program_->multiLine = multiLine;
    Compiler(pattern, *program_).Compile();
    if (program_->needsBacktracking) {
        backtracker_ = std::make_unique<Backtracker>(*program_);
    } else {
        automaton_ = std::make_unique<Automaton>(*program_);
    }
}

BuiltInRegExp::BuiltInRegExp(BuiltInRegExp&&) noexcept = default;
BuiltInRegExp& BuiltInRegExp::operator=(BuiltInRegExp&&) noexcept = default;
BuiltInRegExp::~BuiltInRegExp() = default;

bool BuiltInRegExp::Search(std::wstring_view subject) {
    return automaton_ ? automaton_->Search(subject) : backtracker_->Search(subject);
}

} // namespace tools
