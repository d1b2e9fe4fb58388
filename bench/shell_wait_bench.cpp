// ShellWait against a wait that polls the exit code back to back (launch, reopen the process by
// its id, then GetExitCodeProcess and one pump of the message queue per poll), side by side:
//   - processor time of this process / wall time while a child runs 2 s (under Wine each poll
//     is a request to the wine server, whose own processor time does not count here, so the
//     busy poll shows less than the whole core that it takes on Windows);
//   - time from the child's exit to the wait's return (the child exits with the low 32 bits of
//     the performance counter as its exit code);
//   - time from posting a message to the waiting thread's window to its dispatch, with a
//     message posted every 100 ms while a child runs 2 s.
// The child is zu_child.exe from beside this program.
//
// Then QKDialer.IsConnected (the component loaded from beside this program) against a bare run
// of the dial-up tool that it starts, side by side: the median and the best of 40 of each, taken
// in turns, and their ratios (under Wine the tool's console host keeps its output file for a
// varying time after the tool ends, which both kinds of run wait out, so the medians scatter and
// the bests show the steady cost). The tool is the RasDial.exe stand-in in the system folder,
// listing three connected entries; the bare run starts it through the process runner with its
// output in a file, while the probe also frees the name and makes the capture file, reads, decodes
// and matches it, and deletes it, behind the component's dispatch.
#include "base/Error.h"
#include "base/Owners.h"
#include "testbed/apartment.h"
#include "testbed/component.h"
#include "testbed/message_window.h"
#include "tools/ToolsApp.h"
#include "tools/ToolsSleep.h"

#include "ZUVezEradez3.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

LARGE_INTEGER Frequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency;
}

long long Counter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Milliseconds(long long ticks) {
    static const double frequency = static_cast<double>(Frequency().QuadPart);
    return static_cast<double>(ticks) * 1000.0 / frequency;
}

double ProcessorSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME time) {
        return static_cast<double>(
                   ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

std::wstring Child(const wchar_t* arguments) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.resize(directory.find_last_of(L'\\') + 1);
    return tools::QuoteArgument(directory + L"zu_child.exe") + L" " + arguments;
}

// The wait as it was first written: the launch hands over only the process id, the process is
// reopened by it, and its exit code is polled with one pump between polls until it is not 259.
long BusyPollWait(const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    std::wstring command = commandLine;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        base::ThrowLastError(L"Cannot start the child");
    }
    const base::UniqueHandle thread(process.hThread), started(process.hProcess);
    base::UniqueHandle handle(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process.dwProcessId));
    DWORD exitCode = 0;
    do {
        GetExitCodeProcess(handle.get(), &exitCode);
        tools::PumpMessages();
    } while (exitCode == STILL_ACTIVE);
    return static_cast<long>(exitCode);
}

using Wait = std::function<long(const std::wstring&)>;

double ProcessorShare(const Wait& wait) {
    const long long start = Counter();
    const double cpuStart = ProcessorSeconds();
    wait(Child(L"sleep 2000"));
    const double wall = Milliseconds(Counter() - start) / 1000.0;
    return std::max(0.0, ProcessorSeconds() - cpuStart) / wall;
}

struct Spread {
    double median = 0;
    double worst = 0;
};

Spread SpreadOf(std::vector<double> samples) {
    if (samples.empty()) {
        return {};
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back()};
}

Spread ExitToReturn(const Wait& wait) {
    std::vector<double> samples;
    for (int i = 0; i < 10; ++i) {
        const auto exitedAt = static_cast<unsigned long>(wait(Child(L"exit-stamp")));
        const auto now = static_cast<unsigned long>(Counter());
        samples.push_back(Milliseconds(static_cast<long long>(now - exitedAt)));
    }
    return SpreadOf(samples);
}

std::atomic<long long> g_postedAt{0};
std::vector<double> g_dispatchDelays;

LRESULT CALLBACK TimingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        g_dispatchDelays.push_back(Milliseconds(Counter() - g_postedAt.load()));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

Spread PostedToDispatched(const Wait& wait, HWND window) {
    g_dispatchDelays.clear();
    std::atomic<bool> running{true};
    std::thread poster([&] {
        Sleep(50);
        while (running) {
            g_postedAt = Counter();
            PostMessageW(window, WM_APP, 0, 0);
            Sleep(100);
        }
    });
    wait(Child(L"sleep 2000"));
    running = false;
    poster.join();
    tools::PumpMessages();
    return SpreadOf(g_dispatchDelays);
}

void PrintSpreads(const char* what, Spread shellWait, Spread busyPoll) {
    std::printf("  %-34s ShellWait %6.2f (worst %6.2f)   busy poll %6.2f (worst %6.2f)   "
                "target <= 5 ms, median ratio to target %.3f\n",
                what, shellWait.median, shellWait.worst, busyPoll.median, busyPoll.worst,
                shellWait.median / 5.0);
}

// The tool run as the dialer runs it, and nothing more: its output in a new file of this folder
// that only this process may write, through the process runner, which returns once the tool has
// ended and nothing else holds the file (under Wine the tool's console host lets it go some
// milliseconds later). Each run has a file of its own, gone with its handle.
double BareToolRun(const std::wstring& tool, int run) {
    const long long start = Counter();
    const std::wstring name = L"bare-" + std::to_wstring(run) + L".tmp";
    base::UniqueFile output(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                        FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!output) {
        base::ThrowLastError(L"Cannot create the output file of the tool");
    }
    tools::ShellWait(L"\"" + tool + L"\"", SW_HIDE, output.get());
    return Milliseconds(Counter() - start);
}

double Probe(_QKDialer* dialer) {
    const long long start = Counter();
    base::UniqueBstr name(L"Broadband Connection");
    VARIANT_BOOL connected = VARIANT_FALSE;
    base::ThrowIfFailed(dialer->IsConnected(name.get(), &connected), L"IsConnected failed");
    return Milliseconds(Counter() - start);
}

// Runs of each kind; their medians are compared. Under Wine a run of the tool takes tens of
// milliseconds and varies with the machine's load, so a smaller number gives a noisy ratio.
constexpr int kToolRuns = 40;

void ProbeAgainstBareTool() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring work = std::wstring(folder) + L"zu-probe-bench";
    CreateDirectoryW(work.c_str(), nullptr);
    SetCurrentDirectoryW(work.c_str());
    SetEnvironmentVariableW(L"RASDIAL_SIM_DIR", work.c_str());
    base::UniqueFile state(CreateFileW(L"connected.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    const char listed[] = "Office VPN\r\nBroadband Connection\r\nADSL 2\r\n";
    DWORD written = 0;
    WriteFile(state.get(), listed, sizeof(listed) - 1, &written, nullptr);
    state.reset();

    wchar_t system[MAX_PATH];
    const std::wstring tool(system, GetSystemDirectoryW(system, MAX_PATH));
    const base::ComPtr<_QKDialer> dialer = testbed::CreateComponent<_QKDialer>(CLSID_QKDialer);
    if (!dialer) {
        throw base::Error(E_FAIL, L"Cannot create a QKDialer from beside this program");
    }
    // Two rounds of each first, unmeasured: the first runs load what later ones find ready.
    std::vector<double> bare, probe;
    for (int i = -2; i < kToolRuns; ++i) {
        const double bareRun = BareToolRun(tool + L"\\RasDial.exe", i);
        const double probeRun = Probe(dialer.get());
        if (i >= 0) {
            bare.push_back(bareRun);
            probe.push_back(probeRun);
        }
    }
    const Spread bareSpread = SpreadOf(bare), probeSpread = SpreadOf(probe);
    const double bareBest = *std::min_element(bare.begin(), bare.end());
    const double probeBest = *std::min_element(probe.begin(), probe.end());
    std::printf("  %-34s probe %6.2f (best %6.2f)   bare tool %6.2f (best %6.2f)   "
                "ratio of medians %.2f, of bests %.2f\n",
                "IsConnected against bare tool, ms:", probeSpread.median, probeBest,
                bareSpread.median, bareBest, probeSpread.median / bareSpread.median,
                probeBest / bareBest);
}

} // namespace

int main() {
    try {
        const Wait shellWait = [](const std::wstring& commandLine) {
            return tools::ShellWait(commandLine, SW_HIDE);
        };
        const Wait busyPoll = BusyPollWait;

        const testbed::MessageWindow messageWindow(L"zu-shell-wait-bench", TimingProc);
        const HWND window = messageWindow.get();

        std::printf("ShellWait against a busy-polling wait (%d-bit)\n",
                    static_cast<int>(sizeof(void*) * 8));
        const double shareShellWait = ProcessorShare(shellWait);
        const double shareBusyPoll = ProcessorShare(busyPoll);
        std::printf("  %-34s ShellWait %6.3f                  busy poll %6.3f                  "
                    "target <= 0.01\n",
                    "processor / wall, 2 s child:", shareShellWait, shareBusyPoll);
        PrintSpreads("child exit -> return, ms:", ExitToReturn(shellWait), ExitToReturn(busyPoll));
        PrintSpreads("posted message -> dispatch, ms:", PostedToDispatched(shellWait, window),
                     PostedToDispatched(busyPoll, window));

        const testbed::Apartment apartment;
        if (FAILED(apartment.entered())) {
            throw base::Error(apartment.entered(), L"Cannot enter an apartment");
        }
        ProbeAgainstBareTool();
    } catch (const base::Error& error) {
        std::fprintf(stderr, "shell_wait_bench: %ls (0x%08lX)\n", error.description().c_str(),
                     static_cast<unsigned long>(error.hr()));
        return 1;
    }
    return 0;
}
