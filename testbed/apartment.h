// The calling thread's membership of a COM apartment, for tests and benchmarks: entered when the
// owner is made, left when it goes, so that every exit of a test or a thread leaves it once.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace testbed {

class Apartment {
public:
    explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED)
        : entered_(::CoInitializeEx(nullptr, model)) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (SUCCEEDED(entered_)) {
            ::CoUninitialize();
        }
    }

    // What entering answered: S_OK for a new apartment, S_FALSE when the thread was in one of
    // this model already, a failure (RPC_E_CHANGED_MODE) when it was in one of the other model.
    HRESULT entered() const { return entered_; }

private:
    HRESULT entered_;
};

} // namespace testbed
