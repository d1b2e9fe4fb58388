/*
 * The capture file and the turns taken on it.
 *
 * All probes and dials of a process use the same capture file name in the current directory,
 * and so do those of other processes started in the same folder; the host's message pump and
 * other threads make them meet. Each operation therefore takes a turn on the file's full path:
 * a named mutex, which the threads of this process and other processes wait for alike, and a
 * process-wide list of the turns held by this process's threads, which tells a call that
 * re-enters the thread holding the turn (it must fail at once: the turn can end only after the
 * call returns) from one that has to wait. A named mutex alone cannot tell them apart, because
 * its owner may take it again.
 *
 * The file is created new and shared with nobody while the object holds it: the tool writes
 * through a duplicate of the object's handle, which needs no sharing, and no one else can open
 * the file meanwhile, to read what the tool prints or to keep the name taken after it.
 */
#include "dialer/capture_file.h"

#include "base/Error.h"
#include "tools/ToolsFile.h"
#include "tools/ToolsSleep.h"
#include "tools/ToolsString.h"

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace dialer {

namespace {

std::wstring FullPathOf(const std::wstring& name) {
    std::wstring path = tools::FullPathName(name);
    return path.empty() ? name : path;
}

std::wstring UpperCase(const std::wstring& text) {
    std::wstring upper(text);
    const int length = static_cast<int>(upper.size());
    if (length > 0 && ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), length,
                                      upper.data(), length, nullptr, nullptr, 0) != length) {
        return text;
    }
    return upper;
}

// The name of the mutex behind the turns on a capture file. A path may be longer than an object
// name and holds backslashes, which an object name may not, so the name carries a hash of the
// path, upper-cased as the file system compares names. Two paths of the same hash merely take
// turns with each other.
//
// The name lies in Local\, the namespace of the caller's logon session: the processes that share
// a working folder with the host are those of its desktop, creating a name there needs no
// privilege, and a process of another session, another user's, can neither hold these turns nor
// be made to wait by them. A process of another session in the same folder meets the file's
// sharing rule instead, as without turns.
std::wstring TurnName(const std::wstring& fullPath) {
    std::uint64_t hash = 14695981039346656037ull; // 64-bit FNV-1a
    for (wchar_t c : UpperCase(fullPath)) {
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    }
    std::wstring name = L"Local\\ZUVezEradez3.QKDialer.capture.";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += L"0123456789ABCDEF"[(hash >> shift) & 0xF];
    }
    return name;
}

// The turns that threads of this process hold, by mutex name and holding thread.
class HeldTurns {
public:
    bool HeldByThisThread(const std::wstring& name) {
        return Locked([&] {
            for (const auto& [held, thread] : turns_) {
                if (thread == ::GetCurrentThreadId() && held == name) {
                    return true;
                }
            }
            return false;
        });
    }
    void Add(const std::wstring& name) {
        Locked([&] {
            turns_.emplace_back(name, ::GetCurrentThreadId());
            return true;
        });
    }
    void Remove(const std::wstring& name) {
        Locked([&] {
            std::erase_if(turns_, [&](const auto& turn) {
                return turn.second == ::GetCurrentThreadId() && turn.first == name;
            });
            return true;
        });
    }

private:
    template <class Step> bool Locked(Step step) {
        ::AcquireSRWLockExclusive(&lock_);
        base::ScopeExit release([&] { ::ReleaseSRWLockExclusive(&lock_); });
        return step();
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<std::pair<std::wstring, DWORD>> turns_;
};

HeldTurns& Held() {
    static HeldTurns held;
    return held;
}

[[noreturn]] void ThrowBusy(const std::wstring& why) {
    throw base::Error(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), why);
}

// The thread that holds the turn is the one this call runs on: the call came in through the
// message pump of that thread's own wait. An apartment-threaded object runs every call on its
// apartment's one thread, so a call made on another thread, of a multithreaded apartment above
// all, arrives this way too, although the caller's own thread runs nothing.
[[noreturn]] void ThrowReentered(const std::wstring& fullPath) {
    ThrowBusy(L"Another call into the component is still running in this apartment, waiting for "
              L"RasDial.exe (capture file " +
              fullPath +
              L"), and this call reached the apartment's thread while the first one waits: COM "
              L"delivers calls from other threads to the component this way, and a message "
              L"handler of the host calls in this way too. Make the calls one at a time, or give "
              L"each thread its own single-threaded apartment ([STAThread], "
              L"CoInitializeEx(COINIT_APARTMENTTHREADED), pythoncom.CoInitialize()) and its own "
              L"QKDialer object.");
}

} // namespace

CaptureTurn::CaptureTurn(const std::wstring& fullPath) : name_(TurnName(fullPath)) {
    if (Held().HeldByThisThread(name_)) {
        ThrowReentered(fullPath);
    }
    mutex_.reset(::CreateMutexW(nullptr, FALSE, name_.c_str()));
    if (!mutex_) {
        base::ThrowLastError(L"Cannot take a turn on the capture file " + fullPath);
    }
    tools::DispatchingWait wait;
    if (!wait.Until(mutex_.get(), kTurnWait)) {
        ThrowBusy(L"The capture file " + fullPath +
                  L" is in use by another dialer operation that did not end within " +
                  std::to_wstring(kTurnWait / 1000) + L" seconds");
    }
    base::ScopeExit releaseOnFailure([this] { ::ReleaseMutex(mutex_.get()); });
    Held().Add(name_);
    releaseOnFailure.release();
}

CaptureTurn::~CaptureTurn() {
    Held().Remove(name_);
    ::ReleaseMutex(mutex_.get());
}

// On Windows, deleting a hard or symbolic link removes the link and leaves what it points to
// (Wine follows a Unix symbolic link instead), and CREATE_NEW fails on any name that is taken
// again meanwhile.
CaptureFile::CaptureFile(const std::wstring& name) : path_(FullPathOf(name)), turn_(path_) {
    if (!::DeleteFileW(name.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        base::ThrowLastError(L"Cannot remove the old capture file " + path_);
    }
    file_.reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        base::ThrowLastError(L"Cannot create the capture file " + path_);
    }
}

bool CaptureFile::AnyReading(const std::function<bool(const std::wstring&)>& test) const {
    std::vector<unsigned char> bytes;
    try {
        bytes = tools::ReadOpenFileBytesAtMost(file_.get(), kOutputLimit);
    } catch (const base::Error& error) {
        throw base::Error(error.hr(), L"The output of RasDial.exe in the capture file " + path_ +
                                          L" cannot be read: " + error.description());
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // One decoding at a time, so that at most one is held.
    if (test(tools::FromOem(text))) {
        return true;
    }
    return ::GetOEMCP() != ::GetACP() && test(tools::FromAnsi(text));
}

void CaptureFile::Delete() {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition,
                                      sizeof(disposition))) {
        base::ThrowLastError(L"Cannot delete the capture file " + path_);
    }
    file_.reset();
}

} // namespace dialer
