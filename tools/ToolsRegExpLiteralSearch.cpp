#include "tools/ToolsRegExpLiteralSearch.h"

#include "tools/ToolsRegExpCase.h"

namespace tools {

LiteralSearch::LiteralSearch(std::wstring_view literal, bool ignoreCase)
    : canonical_(ignoreCase ? regexp_case::CanonicalTable() : nullptr),
      fallback_(literal.size() + 1, 0) {
    literal_.reserve(literal.size());
    for (wchar_t c : literal) {
        literal_.push_back(Fold(c));
    }
    for (size_t state = 2; state <= literal_.size(); ++state) {
        size_t border = fallback_[state - 1];
        while (border > 0 && literal_[border] != literal_[state - 1]) {
            border = fallback_[border];
        }
        fallback_[state] = literal_[border] == literal_[state - 1] ? border + 1 : 0;
    }
}

size_t LiteralSearch::Next(size_t state, wchar_t folded) const {
    if (state == literal_.size()) {
        state = fallback_[state];
    }
    while (state > 0 && literal_[state] != folded) {
        state = fallback_[state];
    }
    return literal_[state] == folded ? state + 1 : 0;
}

bool LiteralSearch::FoundIn(std::wstring_view text) const {
    if (literal_.empty()) {
        return true;
    }
    size_t state = 0;
    for (wchar_t c : text) {
        state = Next(state, Fold(c));
        if (state == literal_.size()) {
            return true;
        }
    }
    return false;
}

} // namespace tools
