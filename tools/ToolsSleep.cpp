#include "tools/ToolsSleep.h"

#include "base/Error.h"

#include <windows.h>

namespace tools {

namespace {

class NoObserver final : public PacedSleepObserver {
public:
    void Pumping() override {}
    void Sleeping(long) override {}
};

} // namespace

std::optional<int> PumpMessagesUntilQuit() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            return static_cast<int>(msg.wParam);
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return std::nullopt;
}

void PumpMessages() {
    if (std::optional<int> quit = PumpMessagesUntilQuit()) {
        ::PostQuitMessage(*quit);
    }
}

void PacedSleep(long total, long slice) {
    NoObserver observer;
    PacedSleep(total, slice, observer);
}

void PacedSleep(long total, long slice, PacedSleepObserver& observer) {
    if (slice <= 0 || total < 0) {
        throw base::Error(E_INVALIDARG,
                          L"A paced sleep needs a positive slice and a total of 0 or more");
    }
    const long count = total / slice;
    const long rest = total % slice;
    for (long i = 0; i < count; ++i) {
        observer.Pumping();
        PumpMessages();
        observer.Sleeping(slice);
        ::Sleep(static_cast<DWORD>(slice));
    }
    observer.Pumping();
    PumpMessages();
    observer.Sleeping(rest);
    ::Sleep(static_cast<DWORD>(rest));
}

} // namespace tools
