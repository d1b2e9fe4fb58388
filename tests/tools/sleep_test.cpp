#include "tools/ToolsSleep.h"

#include "base/Error.h"
#include "base/Owners.h"
#include "testbed/message_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Records the steps of a paced sleep, and whether a message posted before it had been
// dispatched when each sleep began.
class Recorder final : public tools::PacedSleepObserver {
public:
    explicit Recorder(const int* dispatched = nullptr) : dispatched_(dispatched) {}
    void Pumping() override { steps.push_back(L"pump"); }
    void Sleeping(long milliseconds) override {
        steps.push_back(L"sleep " + std::to_wstring(milliseconds));
        if (dispatched_) {
            dispatchedAtSleep.push_back(*dispatched_);
        }
    }

    std::vector<std::wstring> steps;
    std::vector<int> dispatchedAtSleep;

private:
    const int* dispatched_;
};

std::vector<std::wstring> Steps(long total, long slice) {
    Recorder recorder;
    tools::PacedSleep(total, slice, recorder);
    return recorder.steps;
}

TEST(PacedSleep, SlicesThenTheRestWithAPumpBeforeEach) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(Steps(250, 100),
              (V{L"pump", L"sleep 100", L"pump", L"sleep 100", L"pump", L"sleep 50"}));
    EXPECT_EQ(Steps(300, 100), (V{L"pump", L"sleep 100", L"pump", L"sleep 100", L"pump",
                                  L"sleep 100", L"pump", L"sleep 0"}));
    EXPECT_EQ(Steps(1, 1000), (V{L"pump", L"sleep 1"}));
    EXPECT_EQ(Steps(999, 1000), (V{L"pump", L"sleep 999"}));
    EXPECT_EQ(Steps(0, 1000), (V{L"pump", L"sleep 0"}));
}

TEST(PacedSleep, ReallySleepsTheTotal) {
    const ULONGLONG start = GetTickCount64();
    tools::PacedSleep(300, 100);
    // The tick count moves in steps of up to 16 ms.
    EXPECT_GE(GetTickCount64() - start, 284u);
}

TEST(PacedSleep, DispatchesWaitingMessagesBeforeSleeping) {
    const testbed::MessageWindow window(L"zu-paced-sleep-test");
    ASSERT_TRUE(window.get());
    PostMessageW(window.get(), WM_APP, 0, 0);
    Recorder recorder(&window.appMessages());
    tools::PacedSleep(30, 20, recorder);
    EXPECT_EQ(recorder.dispatchedAtSleep, (std::vector<int>{1, 1}));
}

TEST(PacedSleep, RefusesAZeroSliceOrANegativeTotal) {
    Recorder recorder;
    EXPECT_THROW(tools::PacedSleep(10, 0, recorder), base::Error);
    EXPECT_THROW(tools::PacedSleep(-1, 10, recorder), base::Error);
    EXPECT_TRUE(recorder.steps.empty());
}

TEST(PumpMessages, LeavesAQuitForTheHostsOwnLoop) {
    PostQuitMessage(5);
    tools::PumpMessages();
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
}

// A mutex whose owner ended without releasing it is taken by the wait, not reported as a failure.
TEST(DispatchingWait, TakesAMutexThatItsOwnerLeftBehind) {
    base::UniqueHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    ASSERT_TRUE(mutex);
    std::thread([&] { WaitForSingleObject(mutex.get(), INFINITE); }).join();
    tools::DispatchingWait wait;
    EXPECT_TRUE(wait.Until(mutex.get(), 1000));
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

} // namespace
