// A message-only window with the caller's window procedure: tests and benchmarks post messages
// to it to see whether, and how soon, a wait dispatches them.
#pragma once

#include <windows.h>

namespace testbed {

class MessageWindow {
public:
    MessageWindow(WNDPROC procedure, const wchar_t* className) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowW(className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    ~MessageWindow() {
        if (window_) {
            ::DestroyWindow(window_);
        }
    }
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

} // namespace testbed
