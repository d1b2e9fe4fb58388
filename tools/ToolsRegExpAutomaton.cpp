// The automaton: answers a pattern without back-references and look-aheads by simulating its
// program over the subject, one position at a time, with every thread that is alive at that
// position, all alternatives at once. A yes-or-no search needs no captures and no preference
// between alternatives, so no thread is ever tried twice at one position: the time is
// proportional to the subject's length times the program's, whatever the pattern, within the same
// budget of steps as backtracking.
//
// Two things keep common programs far below that budget: threads start only where the program's
// literal prefix ends, found by a literal search, and a counted repetition of one code unit is
// one state that keeps where each repetition under way began, not a copy per count.
#include "tools/ToolsRegExpProgram.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace tools::regexp_engine {

namespace {

class Automaton final : public Matcher {
public:
    explicit Automaton(const Program& program)
        : program_(program), marks_(program.code.size(), 0),
          counts_(static_cast<size_t>(program.counts)) {}

    bool Search(std::wstring_view text) override {
        text_ = text;
        steps_ = StepBudget(text.size());
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

} // namespace

std::unique_ptr<Matcher> MakeAutomaton(const Program& program) {
    return std::make_unique<Automaton>(program);
}

} // namespace tools::regexp_engine
