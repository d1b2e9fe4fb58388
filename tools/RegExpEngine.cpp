#include "tools/RegExpEngine.h"

#include "tools/Error.h"
#include "tools/ToolsRegExp.h"

#include <windows.h>

#include <algorithm>
#include <bitset>
#include <climits>
#include <cstdint>
#include <utility>

namespace tools {

namespace {

// Upper-case mapping of every UTF-16 code unit, built once on first use. Surrogate halves map to
// themselves.
const wchar_t* UpperCaseTable() {
    static const std::unique_ptr<wchar_t[]> table = [] {
        auto upper = std::make_unique<wchar_t[]>(0x10000);
        for (unsigned c = 0; c < 0x10000; ++c) {
            upper[c] = static_cast<wchar_t>(c);
        }
        ::CharUpperBuffW(upper.get(), 0xD800);
        ::CharUpperBuffW(upper.get() + 0xE000, 0x2000);
        return upper;
    }();
    return table.get();
}

// The form in which two characters compare equal when case is ignored.
wchar_t Canonicalize(const wchar_t* upper, wchar_t c) {
    wchar_t u = upper[c];
    return c >= 0x80 && u < 0x80 ? c : u;
}

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

using CharSet = std::bitset<0x10000>;

void AddRange(CharSet& set, unsigned first, unsigned last) {
    for (unsigned c = first; c <= last; ++c) {
        set.set(c);
    }
}

// The members of \d, \s and \w (lower-case letter) or of their complements (upper-case letter).
void AddClassEscape(CharSet& set, wchar_t letter) {
    CharSet members;
    switch (letter | 0x20) {
    case L'd':
        AddRange(members, L'0', L'9');
        break;
    case L'w':
        AddRange(members, L'0', L'9');
        AddRange(members, L'A', L'Z');
        AddRange(members, L'a', L'z');
        members.set(L'_');
        break;
    default: // s: white space and line terminators
        for (unsigned c : {0x09u, 0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x20u, 0xA0u, 0x1680u, 0x2028u,
                           0x2029u, 0x202Fu, 0x205Fu, 0x3000u, 0xFEFFu}) {
            members.set(c);
        }
        AddRange(members, 0x2000, 0x200A);
        break;
    }
    set |= (letter & 0x20) ? members : ~members;
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

enum class Op : std::uint8_t {
    Char,            // a: the code unit
    Any,             // any code unit but a line terminator
    Class,           // a: the class; b: 1 when negated
    LineStart,       // ^
    LineEnd,         // $
    WordBoundary,    // \b
    NotWordBoundary, // \B
    Split,           // try a, and b when that fails
    Jump,            // a
    Save,            // register a = position
    Backref,         // a: the group
    LoopMark,        // register a = position, at the start of a repetition
    LoopCheck,       // fail when the repetition consumed nothing since register a was set
    LookAhead,       // a: 1 when negative; b: where to go on; the body follows, ending in Match
    Match,
};

struct Instruction {
    Op op;
    int a = 0;
    int b = 0;
};

constexpr int kUnbounded = -1;
constexpr size_t kMaxInstructions = 1 << 20;
constexpr int kMaxNesting = 500;

struct Node {
    enum Kind {
        Empty,
        Char,
        Any,
        Class,
        LineStart,
        LineEnd,
        WordBoundary,
        NotWordBoundary,
        Group,
        LookAhead,
        Backref,
        Sequence,
        Alternation,
        Repeat,
    };
    explicit Node(Kind k = Empty) : kind(k) {}

    Kind kind;
    int value = 0;        // Char: code unit; Class: index; Group: number, 0 when not capturing;
                          // Backref: group
    bool negated = false; // Class, LookAhead
    int min = 0;
    int max = 0; // kUnbounded for no upper limit
    bool greedy = true;
    std::vector<Node> children;
};

} // namespace

struct BuiltInRegExp::Program {
    std::vector<Instruction> code;
    std::vector<CharSet> classes; // canonicalized when case is ignored
    int groups = 0;
    int registers = 0; // two per group, then one per repetition
    bool ignoreCase = false;
    bool multiLine = false;
};

namespace {

class Parser {
public:
    Parser(std::wstring_view pattern, BuiltInRegExp::Program& program)
        : pattern_(pattern), program_(program) {
        program_.groups = CountGroups();
    }

    Node Parse() {
        Node root = ParseDisjunction(0);
        if (pos_ < pattern_.size()) {
            Fail(L"unmatched \")\"");
        }
        return root;
    }

private:
    [[noreturn]] void Fail(const std::wstring& reason) const {
        throw Error(kRegExpSyntaxError, L"The regular expression \"" + std::wstring(pattern_) +
                                            L"\" is malformed: " + reason + L" at character " +
                                            std::to_wstring(pos_ + 1));
    }

    bool AtEnd() const { return pos_ >= pattern_.size(); }
    // The character ahead of the position, or NUL past the end (NUL is also an ordinary pattern
    // character, so tests for it go through Has or AtEnd).
    wchar_t Peek(size_t ahead = 0) const {
        return pos_ + ahead < pattern_.size() ? pattern_[pos_ + ahead] : L'\0';
    }
    bool Has(size_t ahead) const { return pos_ + ahead < pattern_.size(); }

    // Back-references are told from octal escapes by the number of groups in the whole pattern.
    int CountGroups() const {
        int count = 0;
        bool inClass = false;
        for (size_t i = 0; i < pattern_.size(); ++i) {
            wchar_t c = pattern_[i];
            if (c == L'\\') {
                ++i;
            } else if (inClass) {
                inClass = c != L']';
            } else if (c == L'[') {
                inClass = true;
            } else if (c == L'(' && (i + 1 >= pattern_.size() || pattern_[i + 1] != L'?')) {
                ++count;
            }
        }
        return count;
    }

    Node ParseDisjunction(int depth) {
        if (depth > kMaxNesting) {
            Fail(L"groups nested too deeply");
        }
        Node first = ParseAlternative(depth);
        if (Peek() != L'|') {
            return first;
        }
        Node alternation{Node::Alternation};
        alternation.children.push_back(std::move(first));
        while (Peek() == L'|') {
            ++pos_;
            alternation.children.push_back(ParseAlternative(depth));
        }
        return alternation;
    }

    Node ParseAlternative(int depth) {
        Node sequence{Node::Sequence};
        while (!AtEnd() && Peek() != L'|' && Peek() != L')') {
            sequence.children.push_back(ParseTerm(depth));
        }
        return sequence;
    }

    Node ParseTerm(int depth) {
        const wchar_t c = Peek();
        Node atom;
        switch (c) {
        case L'^':
            ++pos_;
            return Node{Node::LineStart};
        case L'$':
            ++pos_;
            return Node{Node::LineEnd};
        case L'\\':
            if (Peek(1) == L'b' || Peek(1) == L'B') {
                const bool boundary = Peek(1) == L'b';
                pos_ += 2;
                return Node{boundary ? Node::WordBoundary : Node::NotWordBoundary};
            }
            ++pos_;
            atom = ParseAtomEscape();
            break;
        case L'(':
            atom = ParseGroup(depth);
            break;
        case L'[':
            ++pos_;
            atom = ParseClass();
            break;
        case L'.':
            ++pos_;
            atom = Node{Node::Any};
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
            atom = CharNode(c);
            break;
        }
        return ParseQuantifier(std::move(atom));
    }

    Node CharNode(wchar_t c) const {
        Node node{Node::Char};
        node.value = c;
        return node;
    }

    Node ClassNode(CharSet set, bool negated) {
        Node node{Node::Class};
        node.value = static_cast<int>(program_.classes.size());
        node.negated = negated;
        program_.classes.push_back(std::move(set));
        return node;
    }

    Node ParseGroup(int depth) {
        const size_t open = pos_;
        ++pos_;
        Node group{Node::Group};
        if (Peek() == L'?') {
            const wchar_t kind = Peek(1);
            if (kind == L'=' || kind == L'!') {
                group.kind = Node::LookAhead;
                group.negated = kind == L'!';
            } else if (kind != L':') {
                ++pos_;
                Fail(L"invalid group");
            }
            pos_ += 2;
        } else {
            group.value = ++groupsOpened_;
        }
        group.children.push_back(ParseDisjunction(depth + 1));
        if (Peek() != L')') {
            pos_ = open;
            Fail(L"missing \")\" for the group");
        }
        ++pos_;
        return group;
    }

    // A brace quantifier {n}, {n,} or {n,m} at the current position: its length in characters,
    // or 0 when the brace does not start one (it is then a literal).
    size_t ReadBraces(int& min, int& max) const {
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

    Node ParseQuantifier(Node atom) {
        int min = 0;
        int max = 0;
        switch (Peek()) {
        case L'*':
            max = kUnbounded;
            break;
        case L'+':
            min = 1;
            max = kUnbounded;
            break;
        case L'?':
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
            return atom;
        default:
            return atom;
        }
        ++pos_;
        Node repeat{Node::Repeat};
        repeat.min = min;
        repeat.max = max;
        if (Peek() == L'?') {
            repeat.greedy = false;
            ++pos_;
        }
        repeat.children.push_back(std::move(atom));
        return repeat;
    }

    // The escape after a backslash outside a class; the backslash is consumed.
    Node ParseAtomEscape() {
        if (AtEnd()) {
            Fail(L"\"\\\" at the end of the pattern");
        }
        const wchar_t c = Peek();
        if (IsClassEscape(c)) {
            ++pos_;
            CharSet set;
            AddClassEscape(set, c);
            return ClassNode(std::move(set), false);
        }
        if (c >= L'1' && c <= L'9') {
            const size_t start = pos_;
            long long n = 0;
            while (IsDigit(Peek())) {
                n = std::min<long long>(n * 10 + (Peek() - L'0'), INT_MAX);
                ++pos_;
            }
            if (n <= program_.groups) {
                Node node{Node::Backref};
                node.value = static_cast<int>(n);
                return node;
            }
            pos_ = start;
        }
        return CharNode(ReadCharacterEscape(false));
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

    // A class after its "[" (consumed).
    Node ParseClass() {
        const size_t open = pos_ - 1;
        bool negated = false;
        if (Peek() == L'^') {
            negated = true;
            ++pos_;
        }
        CharSet set;
        for (;;) {
            if (AtEnd()) {
                pos_ = open;
                Fail(L"missing \"]\" for the character class");
            }
            if (Peek() == L']') {
                ++pos_;
                break;
            }
            int first = ReadClassAtom(set);
            if (Peek() == L'-' && Has(1) && Peek(1) != L']') {
                ++pos_;
                const size_t secondAt = pos_;
                int last = ReadClassAtom(set);
                if (first < 0 || last < 0) {
                    // A range next to a class escape: the hyphen is a literal.
                    set.set(L'-');
                    if (first >= 0) {
                        set.set(static_cast<size_t>(first));
                    }
                    if (last >= 0) {
                        set.set(static_cast<size_t>(last));
                    }
                    continue;
                }
                if (first > last) {
                    pos_ = secondAt;
                    Fail(L"range out of order in the character class");
                }
                AddRange(set, static_cast<unsigned>(first), static_cast<unsigned>(last));
            } else if (first >= 0) {
                set.set(static_cast<size_t>(first));
            }
        }
        return ClassNode(std::move(set), negated);
    }

    // One member of a class: its code unit, or -1 for a class escape, whose members go straight
    // into set.
    int ReadClassAtom(CharSet& set) {
        const wchar_t c = Peek();
        ++pos_;
        if (c != L'\\') {
            return c;
        }
        if (AtEnd()) {
            Fail(L"\"\\\" at the end of the pattern");
        }
        if (IsClassEscape(Peek())) {
            AddClassEscape(set, Peek());
            ++pos_;
            return -1;
        }
        return ReadCharacterEscape(true);
    }

    std::wstring_view pattern_;
    BuiltInRegExp::Program& program_;
    size_t pos_ = 0;
    int groupsOpened_ = 0;
};

class Compiler {
public:
    explicit Compiler(BuiltInRegExp::Program& program, std::wstring_view pattern)
        : program_(program), pattern_(pattern) {
        program_.registers = 2 * program_.groups;
    }

    void Compile(const Node& root) {
        if (program_.ignoreCase) {
            const wchar_t* upper = UpperCaseTable();
            for (CharSet& set : program_.classes) {
                CharSet canonical;
                for (unsigned c = 0; c < 0x10000; ++c) {
                    if (set.test(c)) {
                        canonical.set(Canonicalize(upper, static_cast<wchar_t>(c)));
                    }
                }
                set = canonical;
            }
        }
        Emit(root);
        Add({Op::Match});
    }

private:
    int Add(Instruction instruction) {
        if (program_.code.size() >= kMaxInstructions) {
            throw Error(E_OUTOFMEMORY, L"The regular expression \"" + std::wstring(pattern_) +
                                           L"\" repeats too much to be compiled");
        }
        program_.code.push_back(instruction);
        return static_cast<int>(program_.code.size() - 1);
    }
    int Here() const { return static_cast<int>(program_.code.size()); }

    void Emit(const Node& node) {
        switch (node.kind) {
        case Node::Empty:
            break;
        case Node::Char: {
            wchar_t c = static_cast<wchar_t>(node.value);
            if (program_.ignoreCase) {
                c = Canonicalize(UpperCaseTable(), c);
            }
            Add({Op::Char, c});
            break;
        }
        case Node::Any:
            Add({Op::Any});
            break;
        case Node::Class:
            Add({Op::Class, node.value, node.negated ? 1 : 0});
            break;
        case Node::LineStart:
            Add({Op::LineStart});
            break;
        case Node::LineEnd:
            Add({Op::LineEnd});
            break;
        case Node::WordBoundary:
            Add({Op::WordBoundary});
            break;
        case Node::NotWordBoundary:
            Add({Op::NotWordBoundary});
            break;
        case Node::Backref:
            Add({Op::Backref, node.value});
            break;
        case Node::Group:
            if (node.value > 0) {
                Add({Op::Save, 2 * (node.value - 1)});
                Emit(node.children[0]);
                Add({Op::Save, 2 * (node.value - 1) + 1});
            } else {
                Emit(node.children[0]);
            }
            break;
        case Node::LookAhead: {
            const int look = Add({Op::LookAhead, node.negated ? 1 : 0});
            Emit(node.children[0]);
            Add({Op::Match});
            program_.code[static_cast<size_t>(look)].b = Here();
            break;
        }
        case Node::Sequence:
            for (const Node& child : node.children) {
                Emit(child);
            }
            break;
        case Node::Alternation: {
            std::vector<int> exits;
            for (size_t i = 0; i + 1 < node.children.size(); ++i) {
                const int split = Add({Op::Split, Here() + 1});
                Emit(node.children[i]);
                exits.push_back(Add({Op::Jump}));
                program_.code[static_cast<size_t>(split)].b = Here();
            }
            Emit(node.children.back());
            for (int exit : exits) {
                program_.code[static_cast<size_t>(exit)].a = Here();
            }
            break;
        }
        case Node::Repeat:
            EmitRepeat(node);
            break;
        }
    }

    void SetSplit(int split, int body, int skip, bool greedy) {
        Instruction& instruction = program_.code[static_cast<size_t>(split)];
        instruction.a = greedy ? body : skip;
        instruction.b = greedy ? skip : body;
    }

    // Repetitions are unrolled: min copies, then either a loop or max - min optional copies.
    void EmitRepeat(const Node& node) {
        const Node& body = node.children[0];
        for (int i = 0; i < node.min; ++i) {
            const int before = Here();
            Emit(body);
            if (Here() == before) {
                break; // copies of a body that compiles to nothing add nothing
            }
        }
        if (node.max == kUnbounded) {
            // An iteration that consumes nothing ends the loop, or x* with an x that can match
            // the empty text would never end.
            const int loopRegister = program_.registers++;
            const int split = Add({Op::Split});
            Add({Op::LoopMark, loopRegister});
            Emit(body);
            Add({Op::LoopCheck, loopRegister});
            Add({Op::Jump, split});
            SetSplit(split, split + 1, Here(), node.greedy);
            return;
        }
        std::vector<std::pair<int, int>> splits;
        for (int i = node.min; i < node.max; ++i) {
            const int split = Add({Op::Split});
            splits.emplace_back(split, Here());
            Emit(body);
        }
        for (auto [split, start] : splits) {
            SetSplit(split, start, Here(), node.greedy);
        }
    }

    BuiltInRegExp::Program& program_;
    std::wstring_view pattern_;
};

enum BacktrackKind { kChoice, kRestore };

} // namespace

BuiltInRegExp::BuiltInRegExp(std::wstring_view pattern, bool ignoreCase, bool multiLine)
    : program_(std::make_unique<Program>()) {
    program_->ignoreCase = ignoreCase;
    program_->multiLine = multiLine;
    Node root = Parser(pattern, *program_).Parse();
    Compiler(*program_, pattern).Compile(root);
}

BuiltInRegExp::BuiltInRegExp(BuiltInRegExp&&) noexcept = default;
BuiltInRegExp& BuiltInRegExp::operator=(BuiltInRegExp&&) noexcept = default;
BuiltInRegExp::~BuiltInRegExp() = default;

bool BuiltInRegExp::Search(std::wstring_view subject) {
    text_ = subject;
    if (program_->ignoreCase) {
        // Matching runs on the canonical form of the subject; the pattern is already in it.
        // Canonicalizing keeps line terminators and the ASCII word characters as they are.
        const wchar_t* upper = UpperCaseTable();
        folded_.resize(subject.size());
        for (size_t i = 0; i < subject.size(); ++i) {
            folded_[i] = Canonicalize(upper, subject[i]);
        }
        text_ = folded_;
    }
    registers_.assign(static_cast<size_t>(program_->registers), -1);
    stack_.clear();
    const bool anchored = !program_->multiLine && program_->code.front().op == Op::LineStart;
    const ptrdiff_t last = anchored ? 0 : static_cast<ptrdiff_t>(text_.size());
    for (ptrdiff_t start = 0; start <= last; ++start) {
        ptrdiff_t position = start;
        if (Run(0, position)) {
            return true;
        }
    }
    return false;
}

void BuiltInRegExp::SetRegister(int index, ptrdiff_t value) {
    ptrdiff_t& slot = registers_[static_cast<size_t>(index)];
    stack_.push_back({kRestore, index, slot});
    slot = value;
}

// Runs the program from pc at position until a Match instruction, backtracking through the
// choice points that it pushes itself. On success position is where the match ended and the
// entries that the run pushed stay on the stack (the caller decides what to keep of them); on
// failure they are all undone.
bool BuiltInRegExp::Run(int pc, ptrdiff_t& position) {
    const std::vector<Instruction>& code = program_->code;
    const std::wstring_view text = text_;
    const ptrdiff_t end = static_cast<ptrdiff_t>(text.size());
    const size_t base = stack_.size();
    ptrdiff_t at = position;
    auto isWord = [&](ptrdiff_t i) {
        return i >= 0 && i < end && IsWordCharacter(text[static_cast<size_t>(i)]);
    };
    for (;;) {
        const Instruction& in = code[static_cast<size_t>(pc)];
        bool ok = true;
        switch (in.op) {
        case Op::Char:
            ok = at < end && text[static_cast<size_t>(at)] == static_cast<wchar_t>(in.a);
            ++at;
            ++pc;
            break;
        case Op::Any:
            ok = at < end && !IsLineTerminator(text[static_cast<size_t>(at)]);
            ++at;
            ++pc;
            break;
        case Op::Class:
            ok = at < end && program_->classes[static_cast<size_t>(in.a)].test(
                                 text[static_cast<size_t>(at)]) != (in.b != 0);
            ++at;
            ++pc;
            break;
        case Op::LineStart:
            ok = at == 0 ||
                 (program_->multiLine && IsLineTerminator(text[static_cast<size_t>(at - 1)]));
            ++pc;
            break;
        case Op::LineEnd:
            ok = at == end ||
                 (program_->multiLine && IsLineTerminator(text[static_cast<size_t>(at)]));
            ++pc;
            break;
        case Op::WordBoundary:
        case Op::NotWordBoundary:
            ok = (isWord(at - 1) != isWord(at)) == (in.op == Op::WordBoundary);
            ++pc;
            break;
        case Op::Split:
            stack_.push_back({kChoice, in.b, at});
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
        case Op::LoopCheck:
            ok = registers_[static_cast<size_t>(in.a)] != at;
            ++pc;
            break;
        case Op::Backref: {
            // A group that has not taken part in the match matches the empty text.
            const ptrdiff_t from = registers_[static_cast<size_t>(2 * (in.a - 1))];
            const ptrdiff_t to = registers_[static_cast<size_t>(2 * (in.a - 1) + 1)];
            if (from >= 0 && to >= from) {
                const ptrdiff_t length = to - from;
                ok = end - at >= length &&
                     text.substr(static_cast<size_t>(at), static_cast<size_t>(length)) ==
                         text.substr(static_cast<size_t>(from), static_cast<size_t>(length));
                at += length;
            }
            ++pc;
            break;
        }
        case Op::LookAhead: {
            // The body runs as a search of its own (nesting depth is bounded by the pattern).
            // It is atomic: once it has matched, its choice points are dropped, but the register
            // changes stay undoable. A negative look-ahead keeps nothing of its body.
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
                while (stack_.size() > mark) {
                    const Backtrack& entry = stack_.back();
                    if (entry.kind == kRestore) {
                        registers_[static_cast<size_t>(entry.index)] = entry.at;
                    }
                    stack_.pop_back();
                }
            }
            ok = matched == (in.a == 0);
            pc = in.b;
            break;
        }
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
            const Backtrack entry = stack_.back();
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

} // namespace tools
