// A message-only window for tests and benchmarks that post messages to see whether, and how
// soon, a wait dispatches them. Without a window procedure of the caller's, the window counts
// the WM_APP messages dispatched to it.
#pragma once

#include <windows.h>

namespace testbed {

class MessageWindow {
public:
    explicit MessageWindow(const wchar_t* className, WNDPROC procedure = CountAppMessages) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowW(className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
        if (window_) {
            ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&appMessages_));
        }
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    ~MessageWindow() {
        if (window_) {
            ::DestroyWindow(window_);
        }
    }

    HWND get() const { return window_; }
    // The WM_APP messages dispatched so far (counting windows only).
    const int& appMessages() const { return appMessages_; }

private:
    static LRESULT CALLBACK CountAppMessages(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
        if (message == WM_APP) {
            ++*reinterpret_cast<int*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    int appMessages_ = 0;
};

} // namespace testbed
