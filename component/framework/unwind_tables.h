// The module's own exception unwinding, whatever runtime the host process has loaded.
#pragma once

#include <windows.h>

namespace component {

// Where the module unwinds with DWARF-2 tables (32-bit MinGW builds): makes sure that the
// module's own unwinder knows the module's tables. The toolchain's start-up code hands them to
// a libgcc_s_dw2-1.dll that the host loaded before the module, so that the module's statically
// linked unwinder finds nothing and its first throw would end the process. Called once, when the
// module is loaded; elsewhere it does nothing.
void RegisterOwnUnwindTables(HMODULE module) noexcept;

} // namespace component
