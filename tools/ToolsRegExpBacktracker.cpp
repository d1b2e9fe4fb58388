// The backtracker: tries the alternatives one at a time in the pattern's order of preference,
// as back-references and look-aheads need. Its choice points and the register changes to undo
// live on a stack in the heap, not on the machine's stack: it recurses only once per nested
// look-ahead, so depth is bounded by the pattern, not the subject (500 nested look-aheads take
// about 100 KB of stack in 64-bit code, measured).
//
// Backtracking can take time exponential in the subject's length, so a test that takes more
// steps than a budget that grows with the subject's length, or holds more choice points than a
// fixed cap, fails with kRegExpTooComplex instead of running for hours.
#include "tools/ToolsRegExpProgram.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tools::regexp_engine {

namespace {

enum BacktrackKind { kChoice, kRestore };

class Backtracker final : public Matcher {
public:
    explicit Backtracker(const Program& program) : program_(program) {}

    bool Search(std::wstring_view subject) override {
        subject_ = subject;
        const wchar_t* canonical = regexp_case::CanonicalTable();
        folded_.resize(subject.size());
        for (size_t i = 0; i < subject.size(); ++i) {
            folded_[i] = program_.Fold(canonical, subject[i]);
        }
        registers_.assign(static_cast<size_t>(program_.registers), -1);
        stack_.clear();
        steps_ = StepBudget(subject.size());
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

} // namespace

std::unique_ptr<Matcher> MakeBacktracker(const Program& program) {
    return std::make_unique<Backtracker>(program);
}

} // namespace tools::regexp_engine
