// Finding a literal text in other texts, comparing code units as the built-in regular-expression
// engine compares them. The engine finds its programs' literal prefixes with it, and callers whose
// pattern is plain text search with it directly, with nothing to compile.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// A literal text sought in other texts (Knuth-Morris-Pratt: time linear in the text searched,
// whatever the literal). With case ignored, letters compare as the built-in engine compares them
// (ToolsRegExpCase.h), so that FoundIn answers what a test of RegExpEscape(literal) with case
// ignored answers on the built-in engine. Nothing is compiled, so nothing can fail.
class LiteralSearch {
public:
    LiteralSearch(std::wstring_view literal, bool ignoreCase);

    // True when text contains the literal (always, for the empty literal).
    bool FoundIn(std::wstring_view text) const;

    // For a search that goes along with other work over the same text: the code unit c as the
    // literal holds it (its canonical form when case is ignored), and the state after such a
    // code unit, starting from state 0. The literal ends at c when the state equals Length().
    wchar_t Fold(wchar_t c) const { return canonical_ ? canonical_[c] : c; }
    size_t Next(size_t state, wchar_t folded) const;
    size_t Length() const { return literal_.size(); }

private:
    const wchar_t* canonical_;     // the canonical forms, or null when case counts
    std::wstring literal_;         // folded
    std::vector<size_t> fallback_; // per state: the longest proper border of literal_[0, state)
};

} // namespace tools
