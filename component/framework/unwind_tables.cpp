#include "component/framework/unwind_tables.h"

#if defined(__i386__) && !defined(__SEH__) && !defined(__USING_SJLJ_EXCEPTIONS__)

#include <cstddef>
#include <cstdint>

// libgcc's frame registry. These are the statically linked copies inside this module, not those
// of a libgcc_s_dw2-1.dll in the process.
extern "C" {
struct DwarfEhBases {
    void* tbase;
    void* dbase;
    void* func;
};
const void* _Unwind_Find_FDE(void* pc, DwarfEhBases* bases);
void __register_frame_info(const void* begin, void* object);
}

namespace component {

namespace {

using FindFrameFunction = const void* (*)(void*, DwarfEhBases*);

// A function that may throw, so that it has frame information of its own to look up.
[[gnu::noinline]] void MayThrow(bool fail) {
    if (fail) {
        throw 0;
    }
}

// libgcc's registration record for one table: a few pointers that it fills in and links into its
// list, and that must live as long as the module.
alignas(void*) unsigned char ownTables[16 * sizeof(void*)];

// The start of the module's section that holds address.
const void* SectionStart(HMODULE module, const void* address) {
    auto* base = reinterpret_cast<const unsigned char*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    auto rva = static_cast<uintptr_t>(static_cast<const unsigned char*>(address) - base);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (rva >= section->VirtualAddress &&
            rva < section->VirtualAddress + section->Misc.VirtualSize) {
            return base + section->VirtualAddress;
        }
    }
    return nullptr;
}

} // namespace

void RegisterOwnUnwindTables(HMODULE module) noexcept {
    HMODULE runtime = ::GetModuleHandleW(L"libgcc_s_dw2-1.dll");
    void* probe = reinterpret_cast<unsigned char*>(&MayThrow) + 1;
    DwarfEhBases bases{};
    if (!runtime || _Unwind_Find_FDE(probe, &bases)) {
        return;
    }
    // The tables went to the host's runtime, which can tell where they lie: in the frame
    // information section, which starts with the first table and ends with the terminator that
    // the toolchain puts last.
    auto find = reinterpret_cast<FindFrameFunction>(
        reinterpret_cast<void*>(::GetProcAddress(runtime, "_Unwind_Find_FDE")));
    const void* frame = find ? find(probe, &bases) : nullptr;
    const void* tables = frame ? SectionStart(module, frame) : nullptr;
    if (tables) {
        __register_frame_info(tables, ownTables);
    }
}

} // namespace component

#else

namespace component {

void RegisterOwnUnwindTables(HMODULE) noexcept {}

} // namespace component

#endif
