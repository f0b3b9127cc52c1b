// The full metadata copy by exiftool after a save.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

enum class MetadataCopy {
    kCopied,
    kFailed,    // not found, not started, or it reported a failure
    kTimedOut,  // stopped after the time limit; the target is as it was before the copy began
};

// Starts exiftool (found beside the program, then on the search path, by PATHEXT; a .bat or .cmd
// wrapper through the command interpreter) hidden, and waits a bounded time for it.
[[nodiscard]] MetadataCopy RunMetadataCopy(const std::wstring& source, const std::wstring& target);

// How loading and saving wait for exiftool and for their own long steps: WaitForSingleObject's contract.
// The main window installs one that keeps the window painting; null restores the plain wait.
using ProcessWaiter = DWORD (*)(HANDLE process, DWORD milliseconds);
void SetProcessWaiter(ProcessWaiter waiter);

// Runs work on a thread of its own and waits for it through the installed waiter, so that a long decode
// or encode of a big photo never leaves the window without answers. Work must not touch windows.
void RunKeepingWindowAlive(const std::function<void()>& work);

// The time limit of one metadata copy (30 s; tests shorten it).
void SetMetadataCopyTimeout(DWORD milliseconds);
