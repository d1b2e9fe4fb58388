// The one place where a failure that the component's internals throw becomes the HRESULT that a
// COM boundary returns; no exception crosses the boundary.
#pragma once

#include "base/Error.h"

#include <windows.h>

#include <new>
#include <string_view>

namespace component {

// Runs body. S_OK when it returns; when it throws, what onFailure(hr, description) returns for
// the failure: a base::Error gives its own HRESULT and description, running out of memory
// E_OUTOFMEMORY, anything else E_UNEXPECTED.
template <class Body, class OnFailure>
HRESULT CatchAtBoundary(Body&& body, OnFailure&& onFailure) noexcept {
    try {
        body();
        return S_OK;
    } catch (const base::Error& error) {
        return onFailure(error.hr(), std::wstring_view(error.description()));
    } catch (const std::bad_alloc&) {
        return onFailure(E_OUTOFMEMORY,
                         std::wstring_view(L"Not enough memory to complete the call"));
    } catch (...) {
        return onFailure(E_UNEXPECTED, std::wstring_view(L"Unexpected internal failure"));
    }
}

} // namespace component
