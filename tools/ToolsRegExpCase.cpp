#include "tools/ToolsRegExpCase.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace tools::regexp_case {

namespace {

// Runs of code units whose canonical form is the code unit plus delta: count code units from
// first, stride apart. Written by ToolsRegExpCase.py.
struct Run {
    std::uint16_t first;
    std::uint16_t count;
    std::int32_t delta;
    std::uint8_t stride;
};

// From Unicode 14.0.0: 1161 code units
constexpr Run kUpperCaseRuns[] = {
    {0x0061, 26, -32, 1},    {0x00B5, 1, 743, 1},    {0x00E0, 23, -32, 1},   {0x00F8, 7, -32, 1},
    {0x00FF, 1, 121, 1},     {0x0101, 24, -1, 2},    {0x0133, 3, -1, 2},     {0x013A, 8, -1, 2},
    {0x014B, 23, -1, 2},     {0x017A, 3, -1, 2},     {0x0180, 1, 195, 1},    {0x0183, 2, -1, 2},
    {0x0188, 1, -1, 1},      {0x018C, 1, -1, 1},     {0x0192, 1, -1, 1},     {0x0195, 1, 97, 1},
    {0x0199, 1, -1, 1},      {0x019A, 1, 163, 1},    {0x019E, 1, 130, 1},    {0x01A1, 3, -1, 2},
    {0x01A8, 1, -1, 1},      {0x01AD, 1, -1, 1},     {0x01B0, 1, -1, 1},     {0x01B4, 2, -1, 2},
    {0x01B9, 1, -1, 1},      {0x01BD, 1, -1, 1},     {0x01BF, 1, 56, 1},     {0x01C5, 1, -1, 1},
    {0x01C6, 1, -2, 1},      {0x01C8, 1, -1, 1},     {0x01C9, 1, -2, 1},     {0x01CB, 1, -1, 1},
    {0x01CC, 1, -2, 1},      {0x01CE, 8, -1, 2},     {0x01DD, 1, -79, 1},    {0x01DF, 9, -1, 2},
    {0x01F2, 1, -1, 1},      {0x01F3, 1, -2, 1},     {0x01F5, 1, -1, 1},     {0x01F9, 20, -1, 2},
    {0x0223, 9, -1, 2},      {0x023C, 1, -1, 1},     {0x023F, 2, 10815, 1},  {0x0242, 1, -1, 1},
    {0x0247, 5, -1, 2},      {0x0250, 1, 10783, 1},  {0x0251, 1, 10780, 1},  {0x0252, 1, 10782, 1},
    {0x0253, 1, -210, 1},    {0x0254, 1, -206, 1},   {0x0256, 2, -205, 1},   {0x0259, 1, -202, 1},
    {0x025B, 1, -203, 1},    {0x025C, 1, 42319, 1},  {0x0260, 1, -205, 1},   {0x0261, 1, 42315, 1},
    {0x0263, 1, -207, 1},    {0x0265, 1, 42280, 1},  {0x0266, 1, 42308, 1},  {0x0268, 1, -209, 1},
    {0x0269, 1, -211, 1},    {0x026A, 1, 42308, 1},  {0x026B, 1, 10743, 1},  {0x026C, 1, 42305, 1},
    {0x026F, 1, -211, 1},    {0x0271, 1, 10749, 1},  {0x0272, 1, -213, 1},   {0x0275, 1, -214, 1},
    {0x027D, 1, 10727, 1},   {0x0280, 1, -218, 1},   {0x0282, 1, 42307, 1},  {0x0283, 1, -218, 1},
    {0x0287, 1, 42282, 1},   {0x0288, 1, -218, 1},   {0x0289, 1, -69, 1},    {0x028A, 2, -217, 1},
    {0x028C, 1, -71, 1},     {0x0292, 1, -219, 1},   {0x029D, 1, 42261, 1},  {0x029E, 1, 42258, 1},
    {0x0345, 1, 84, 1},      {0x0371, 2, -1, 2},     {0x0377, 1, -1, 1},     {0x037B, 3, 130, 1},
    {0x03AC, 1, -38, 1},     {0x03AD, 3, -37, 1},    {0x03B1, 17, -32, 1},   {0x03C2, 1, -31, 1},
    {0x03C3, 9, -32, 1},     {0x03CC, 1, -64, 1},    {0x03CD, 2, -63, 1},    {0x03D0, 1, -62, 1},
    {0x03D1, 1, -57, 1},     {0x03D5, 1, -47, 1},    {0x03D6, 1, -54, 1},    {0x03D7, 1, -8, 1},
    {0x03D9, 12, -1, 2},     {0x03F0, 1, -86, 1},    {0x03F1, 1, -80, 1},    {0x03F2, 1, 7, 1},
    {0x03F3, 1, -116, 1},    {0x03F5, 1, -96, 1},    {0x03F8, 1, -1, 1},     {0x03FB, 1, -1, 1},
    {0x0430, 32, -32, 1},    {0x0450, 16, -80, 1},   {0x0461, 17, -1, 2},    {0x048B, 27, -1, 2},
    {0x04C2, 7, -1, 2},      {0x04CF, 1, -15, 1},    {0x04D1, 48, -1, 2},    {0x0561, 38, -48, 1},
    {0x10D0, 43, 3008, 1},   {0x10FD, 3, 3008, 1},   {0x13F8, 6, -8, 1},     {0x1C80, 1, -6254, 1},
    {0x1C81, 1, -6253, 1},   {0x1C82, 1, -6244, 1},  {0x1C83, 2, -6242, 1},  {0x1C85, 1, -6243, 1},
    {0x1C86, 1, -6236, 1},   {0x1C87, 1, -6181, 1},  {0x1C88, 1, 35266, 1},  {0x1D79, 1, 35332, 1},
    {0x1D7D, 1, 3814, 1},    {0x1D8E, 1, 35384, 1},  {0x1E01, 75, -1, 2},    {0x1E9B, 1, -59, 1},
    {0x1EA1, 48, -1, 2},     {0x1F00, 8, 8, 1},      {0x1F10, 6, 8, 1},      {0x1F20, 8, 8, 1},
    {0x1F30, 8, 8, 1},       {0x1F40, 6, 8, 1},      {0x1F51, 4, 8, 2},      {0x1F60, 8, 8, 1},
    {0x1F70, 2, 74, 1},      {0x1F72, 4, 86, 1},     {0x1F76, 2, 100, 1},    {0x1F78, 2, 128, 1},
    {0x1F7A, 2, 112, 1},     {0x1F7C, 2, 126, 1},    {0x1FB0, 2, 8, 1},      {0x1FBE, 1, -7205, 1},
    {0x1FD0, 2, 8, 1},       {0x1FE0, 2, 8, 1},      {0x1FE5, 1, 7, 1},      {0x214E, 1, -28, 1},
    {0x2170, 16, -16, 1},    {0x2184, 1, -1, 1},     {0x24D0, 26, -26, 1},   {0x2C30, 48, -48, 1},
    {0x2C61, 1, -1, 1},      {0x2C65, 1, -10795, 1}, {0x2C66, 1, -10792, 1}, {0x2C68, 3, -1, 2},
    {0x2C73, 1, -1, 1},      {0x2C76, 1, -1, 1},     {0x2C81, 50, -1, 2},    {0x2CEC, 2, -1, 2},
    {0x2CF3, 1, -1, 1},      {0x2D00, 38, -7264, 1}, {0x2D27, 1, -7264, 1},  {0x2D2D, 1, -7264, 1},
    {0xA641, 23, -1, 2},     {0xA681, 14, -1, 2},    {0xA723, 7, -1, 2},     {0xA733, 31, -1, 2},
    {0xA77A, 2, -1, 2},      {0xA77F, 5, -1, 2},     {0xA78C, 1, -1, 1},     {0xA791, 2, -1, 2},
    {0xA794, 1, 48, 1},      {0xA797, 10, -1, 2},    {0xA7B5, 8, -1, 2},     {0xA7C8, 2, -1, 2},
    {0xA7D1, 1, -1, 1},      {0xA7D7, 2, -1, 2},     {0xA7F6, 1, -1, 1},     {0xAB53, 1, -928, 1},
    {0xAB70, 80, -38864, 1}, {0xFF41, 26, -32, 1},
};

constexpr unsigned kCodeUnits = 0x10000;

// The canonical form of every code unit, and the code units that share a canonical form linked
// in rings (a code unit without other case forms is a ring of one), built once on first use.
struct Tables {
    wchar_t canonical[kCodeUnits];
    wchar_t nextVariant[kCodeUnits];
    std::vector<wchar_t> cased; // the code units in rings of more than one, sorted

    Tables() {
        for (unsigned c = 0; c < kCodeUnits; ++c) {
            canonical[c] = static_cast<wchar_t>(c);
            nextVariant[c] = static_cast<wchar_t>(c);
        }
        for (const Run& run : kUpperCaseRuns) {
            for (unsigned i = 0; i < run.count; ++i) {
                const unsigned c = run.first + i * run.stride;
                canonical[c] = static_cast<wchar_t>(static_cast<int>(c) + run.delta);
            }
        }
        // A canonical form is its own canonical form, so its ring is the one to join.
        for (unsigned c = 0; c < kCodeUnits; ++c) {
            const wchar_t form = canonical[c];
            if (form != c) {
                nextVariant[c] = nextVariant[form];
                nextVariant[form] = static_cast<wchar_t>(c);
            }
        }
        for (unsigned c = 0; c < kCodeUnits; ++c) {
            if (nextVariant[c] != c) {
                cased.push_back(static_cast<wchar_t>(c));
            }
        }
    }
};

const Tables& GetTables() {
    static const std::unique_ptr<Tables> tables = std::make_unique<Tables>();
    return *tables;
}

} // namespace

const wchar_t* CanonicalTable() {
    return GetTables().canonical;
}

Ranges CloseOverCase(const Ranges& ranges) {
    const Tables& tables = GetTables();
    Ranges closed = ranges;
    for (const auto& [first, last] : ranges) {
        auto it = std::lower_bound(tables.cased.begin(), tables.cased.end(), first);
        for (; it != tables.cased.end() && *it <= last; ++it) {
            for (wchar_t v = tables.nextVariant[*it]; v != *it; v = tables.nextVariant[v]) {
                closed.emplace_back(v, v);
            }
        }
    }
    return closed;
}

} // namespace tools::regexp_case
