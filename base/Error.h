// The one exception type of the component's internals. Tool routines and member bodies throw it;
// the COM boundary of each member turns it into a failing HRESULT with error information.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace base {

class Error {
public:
    // description: what went wrong, for a person.
    Error(HRESULT hr, std::wstring description) : hr_(hr), description_(std::move(description)) {}

    // A failure whose error information is published already (a failing call to one of the
    // object's own members): the boundary passes hr on and publishes nothing over it. Such an
    // error carries no description of its own.
    static Error AlreadyPublished(HRESULT hr) { return Error(hr, {}); }
    bool alreadyPublished() const { return description_.empty(); }

    HRESULT hr() const { return hr_; }
    const std::wstring& description() const { return description_; }

private:
    HRESULT hr_;
    std::wstring description_;
};

// The system's own message for an HRESULT, without the trailing line break; empty if it has none.
std::wstring SystemMessage(HRESULT hr);

// Throws Error(hr, context + ": " + system message) when hr fails.
void ThrowIfFailed(HRESULT hr, std::wstring_view context);

// Throws the calling thread's last error as an Error with the given context.
[[noreturn]] void ThrowLastError(std::wstring_view context);

// Passes on the failure of a call to one of the object's own members: its error information
// is already published, so nothing is added to it.
inline void PassOnFailure(HRESULT hr) {
    if (FAILED(hr)) {
        throw Error::AlreadyPublished(hr);
    }
}

} // namespace base
