// The capture file into which RasDial.exe writes its standard output for the listing and the
// dial, and the turns that the operations of all dialers take on it.
#pragma once

#include "base/Owners.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

namespace dialer {

// The most of the tool's output that is read back. A listing or a dial prints a few hundred
// bytes; more than this is no answer of the tool's and fails the call instead of filling memory.
inline constexpr size_t kOutputLimit = 1 << 20;

// How long an operation waits for its turn on the capture file while another operation, of
// this process or another one, holds it; a dial of the real tool may take half a minute.
inline constexpr DWORD kTurnWait = 60 * 1000;

// One operation's turn on the capture file at a full path. Operations of any thread and of any
// process of this logon session take turns on the same file: one waits, answering its thread's
// messages, until the other's turn ends. A second turn that the thread holding one asks for (a
// call that re-enters through the message pump of a wait) fails at once, since waiting there
// could never end. Both failures throw the sharing violation, naming the file.
class CaptureTurn {
public:
    explicit CaptureTurn(const std::wstring& fullPath);
    CaptureTurn(const CaptureTurn&) = delete;
    CaptureTurn& operator=(const CaptureTurn&) = delete;
    ~CaptureTurn();

private:
    std::wstring name_;
    base::UniqueHandle mutex_;
};

// The capture file, made new for one run of the tool and held by this object alone, in its
// turn.
class CaptureFile {
public:
    // Takes the turn, removes whatever the name holds, then creates the file new and shared with
    // nobody: the tool writes through a duplicate of this object's handle. Throws, naming the
    // file, when a step fails.
    explicit CaptureFile(const std::wstring& name);

    HANDLE get() const { return file_.get(); }

    // Whether test answers true for the tool's output decoded as OEM text or, where the system's
    // code pages differ, as ANSI text. Output longer than kOutputLimit throws, unread.
    bool AnyReading(const std::function<bool(const std::wstring&)>& test) const;

    // Deletes the file through this object's handle and lets it go; the name is free again.
    void Delete();

private:
    std::wstring path_;
    CaptureTurn turn_;
    base::UniqueFile file_;
};

} // namespace dialer
