// The message-only window of the tests and benchmarks that stand in for a host with a user
// interface: messages posted or timed to it show whether, and how soon, a wait dispatches them,
// and its procedure may call the component back as a host's handler would. The window goes
// with its owner.
#pragma once

#include <windows.h>

namespace testbed {

class MessageWindow {
public:
    // A window that counts the WM_APP messages dispatched to it.
    explicit MessageWindow(const wchar_t* className)
        : MessageWindow(className, CountAppMessages, &appMessages_) {}
    // A window of the caller's procedure, which finds `context` through ContextOf.
    MessageWindow(const wchar_t* className, WNDPROC procedure, void* context = nullptr) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowW(className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
        if (window_) {
            ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
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

    // The context that the window of this procedure was made with.
    template <class Context> static Context* ContextOf(HWND window) {
        return reinterpret_cast<Context*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }

private:
    static LRESULT CALLBACK CountAppMessages(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
        if (message == WM_APP) {
            ++*ContextOf<int>(window);
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    int appMessages_ = 0;
};

} // namespace testbed
