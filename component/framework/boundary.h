// The one place where a failure that the component's internals throw becomes the HRESULT that
// the module returns to its caller: each member of an object, the argument check before Invoke
// dispatches, an object's initialisation when it is created, and registration run their bodies
// through it, so no exception leaves the module. Each caller chooses what becomes of the
// description: members publish it as error information; the others publish nothing of their
// own (ResultOnly).
#pragma once

#include "base/Error.h"

#include <windows.h>

#include <new>
#include <string_view>

namespace component {

// Runs body. S_OK when it returns; when it throws, what onFailure(hr, description) returns for
// the failure: a base::Error gives its own HRESULT and description, running out of memory
// E_OUTOFMEMORY, anything else E_UNEXPECTED. An error whose information is already published
// skips onFailure: its HRESULT is returned as it is.
template <class Body, class OnFailure>
HRESULT CatchAtBoundary(Body&& body, OnFailure&& onFailure) noexcept {
    try {
        body();
        return S_OK;
    } catch (const base::Error& error) {
        if (error.alreadyPublished()) {
            return error.hr();
        }
        return onFailure(error.hr(), std::wstring_view(error.description()));
    } catch (const std::bad_alloc&) {
        return onFailure(E_OUTOFMEMORY,
                         std::wstring_view(L"Not enough memory to complete the call"));
    } catch (...) {
        return onFailure(E_UNEXPECTED, std::wstring_view(L"Unexpected internal failure"));
    }
}

// The onFailure of a boundary whose caller reads the HRESULT alone: nothing is published.
inline HRESULT ResultOnly(HRESULT hr, std::wstring_view) {
    return hr;
}

} // namespace component
