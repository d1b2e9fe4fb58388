// Waiting without freezing the calling thread: a message pump, a pause in slices with a pump
// before each slice, and a wait for a handle that dispatches messages as they arrive.
#pragma once

#include <windows.h>

#include <optional>

namespace tools {

// Dispatches every message waiting in the calling thread's queue (PeekMessage, TranslateMessage,
// DispatchMessage), then returns. A WM_QUIT ends the pumping and is posted again, so that the
// host's own message loop still receives it.
void PumpMessages();

// The pump of PumpMessages for a wait that must not see WM_QUIT again at once: it stops at a
// WM_QUIT and hands back the quit's exit code without posting it again. The caller posts it
// (PostQuitMessage) when its wait is over.
std::optional<int> PumpMessagesUntilQuit();

// Sees each step of PacedSleep just before it is taken; the steps themselves are unchanged.
class PacedSleepObserver {
public:
    virtual void Pumping() = 0;
    virtual void Sleeping(long milliseconds) = 0;

protected:
    ~PacedSleepObserver() = default;
};

// Pauses for total milliseconds in total / slice slices of {pump; Sleep(slice)}, then one more
// {pump; Sleep(total % slice)}, the last sleep taken even when it is 0. Needs slice > 0 and
// total >= 0; other values throw base::Error(E_INVALIDARG) rather than divide by zero or sleep
// for ever.
void PacedSleep(long total, long slice);
void PacedSleep(long total, long slice, PacedSleepObserver& observer);

// Waits of the calling thread that keep dispatching its messages whenever some arrive. A WM_QUIT
// would keep such a wait waking at once, so once one is met the waits only answer messages sent
// from other threads, and the quit is posted again when the waiting is over (when this object
// goes).
class DispatchingWait {
public:
    DispatchingWait();
    DispatchingWait(const DispatchingWait&) = delete;
    DispatchingWait& operator=(const DispatchingWait&) = delete;
    ~DispatchingWait();

    // Waits until handle is signalled (true) or the time-out, in milliseconds or INFINITE, has
    // passed (false). Without a handle it only waits for the time-out. A mutex that this returns
    // true for is owned by the calling thread, also when its last owner ended without releasing
    // it. Throws base::Error when the wait itself fails.
    bool Until(HANDLE handle, DWORD timeout);

private:
    void Take(std::optional<int> quit);

    bool quitHeld_ = false;
    int quitCode_ = 0;
};

} // namespace tools
