#!/usr/bin/env python3
"""Prints the rows of kUpperCaseRuns in ToolsRegExpCase.cpp: the code units whose canonical form
for case-ignoring matching differs from themselves, as runs of (first, count, delta, stride).

The canonical form is the ECMAScript one (non-Unicode patterns): the upper-case mapping of the
code unit when that is exactly one code unit and does not map a non-ASCII character onto an
ASCII one; otherwise the code unit itself. Python's str.upper() is the full Unicode mapping,
so a character that upper-cases to several (German sharp s) keeps itself, as the rule says.
"""
import unicodedata


def canonical(c):
    if 0xD800 <= c <= 0xDFFF:
        return c
    upper = chr(c).upper()
    if len(upper) != 1 or ord(upper) > 0xFFFF or (c >= 0x80 and ord(upper) < 0x80):
        return c
    return ord(upper)


changed = [(c, canonical(c) - c) for c in range(0x10000) if canonical(c) != c]
assert all(canonical(c + d) == c + d for c, d in changed), "canonical forms must be fixed points"

print(f"// Unicode {unicodedata.unidata_version}: {len(changed)} code units")
i = 0
while i < len(changed):
    first, delta = changed[i]
    count, stride = 1, 1
    for step in (1, 2):
        n = 1
        while (i + n < len(changed) and changed[i + n][0] == first + n * step
               and changed[i + n][1] == delta):
            n += 1
        if n > count:
            count, stride = n, step
    print(f"    {{0x{first:04X}, {count}, {delta}, {stride}}},")
    i += count
