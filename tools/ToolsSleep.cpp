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

DispatchingWait::DispatchingWait() {
    Take(PumpMessagesUntilQuit());
}

DispatchingWait::~DispatchingWait() {
    if (quitHeld_) {
        ::PostQuitMessage(quitCode_);
    }
}

bool DispatchingWait::Until(HANDLE handle, DWORD timeout) {
    const DWORD count = handle ? 1 : 0;
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeout != INFINITE) {
            const ULONGLONG elapsed = ::GetTickCount64() - start;
            remaining = elapsed >= timeout ? 0 : static_cast<DWORD>(timeout - elapsed);
        }
        const DWORD wake = quitHeld_ ? QS_SENDMESSAGE : QS_ALLINPUT;
        const DWORD result =
            ::MsgWaitForMultipleObjectsEx(count, &handle, remaining, wake, MWMO_INPUTAVAILABLE);
        if (count && (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0)) {
            return true;
        }
        if (result == WAIT_TIMEOUT) {
            return false;
        }
        if (result != WAIT_OBJECT_0 + count) {
            base::ThrowLastError(L"Cannot wait while answering messages");
        }
        if (quitHeld_) {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            Take(PumpMessagesUntilQuit());
        }
    }
}

void DispatchingWait::Take(std::optional<int> quit) {
    if (quit) {
        quitHeld_ = true;
        quitCode_ = *quit;
    }
}

} // namespace tools
