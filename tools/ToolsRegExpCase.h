// Letter case for the built-in regular-expression engine, as ECMAScript folds it when case is
// ignored: two code units match when their canonical forms are equal. The canonical form of a
// code unit is its upper-case mapping when that is a single code unit and does not turn a
// non-ASCII character into an ASCII one; otherwise the code unit itself. So "µ", "μ" and "Μ"
// match each other, as do "ς", "σ" and "Σ", while "ß" (upper case "SS"), the long s (upper case
// "S") and the Kelvin sign (already upper case) match only themselves.
//
// The platform's CharUpperBuffW does not give these answers (it leaves "µ", "ς", "ϐ" and "ϵ"
// as they are), so the mapping is a compact table of the Unicode data (ToolsRegExpCase.py).
#pragma once

#include <utility>
#include <vector>

namespace tools::regexp_case {

// The canonical form of every UTF-16 code unit, indexed by the code unit.
const wchar_t* CanonicalTable();

// Ranges [first, last] of code units with, added as ranges of one, every code unit whose
// canonical form equals that of a member, in no particular order.
using Ranges = std::vector<std::pair<wchar_t, wchar_t>>;
Ranges CloseOverCase(const Ranges& ranges);

} // namespace tools::regexp_case
