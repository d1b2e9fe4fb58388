// Error information that a failing member publishes, so that a script's Err.Description (or a
// .NET exception's message) says what went wrong.
#pragma once

#include <windows.h>

#include <string_view>

namespace component {

// Publishes description with source progId for interface iid on the calling thread and returns
// hr. Never throws: it runs at the boundary, after an allocation may have failed.
HRESULT ReportError(HRESULT hr, std::wstring_view description, std::wstring_view progId,
                    REFIID iid) noexcept;

// Clears the thread's error information, so that a member that succeeds leaves none behind.
void ClearErrorInfo();

} // namespace component
