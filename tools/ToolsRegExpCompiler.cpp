// The compiler: parses a pattern and emits its program in one pass, without recursion. The groups
// still open wait on a stack of their own, an alternative gets its choice point inserted in front
// of it when a "|" ends it, and a quantifier copies the code of the atom before it (repetitions
// are unrolled: min copies, then either a loop or max - min optional copies, up to a fixed
// program size).
//
// Patterns come from callers and may be hostile: character classes are sorted ranges, groups may
// nest 500 deep, and neither parsing nor compiling recurses, so no pattern can exhaust the stack.
// Once the code is written, the compiler works out what lets a search skip ahead: whether only
// position 0 can start a match, which code units can start one, and the literal that every match
// begins with.
#include "tools/ToolsRegExpProgram.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace tools::regexp_engine {

namespace {

constexpr size_t kMaxInstructions = 1 << 20;
constexpr int kMaxNesting = 500;

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

bool Consumes(Op op) {
    return op == Op::Char || op == Op::Any || op == Op::Class;
}

class Compiler {
public:
    Compiler(std::wstring_view pattern, Program& program)
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
    Program& program_;
    std::vector<Instruction>& code_;
    std::vector<Group> open_;
    size_t pos_ = 0;
    int groupsOpened_ = 0;
};

} // namespace

CharClass::CharClass(Ranges members, bool negate, bool ignoreCase)
    : ranges(Normalized(ignoreCase ? regexp_case::CloseOverCase(members) : std::move(members))),
      negated(negate) {
    for (const auto& [first, last] : ranges) {
        for (unsigned c = first; c <= last && c < 0x80; ++c) {
            ascii[c >> 6] |= std::uint64_t{1} << (c & 63);
        }
    }
}

void Compile(std::wstring_view pattern, Program& program) {
    Compiler(pattern, program).Compile();
}

} // namespace tools::regexp_engine
