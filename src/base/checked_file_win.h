// Writing a file so that a failed write is never mistaken for a good file: the bytes go into a new
// temporary file beside the target through a stream that checks every write (some encoders ignore a
// failed write and report success over a cut file), and only a whole, flushed file replaces the target.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct IStream;

// Calls write with a stream over a new temporary file beside target; when write returns true and every
// write reached the disk, beforeReplace (if any) may still work on the closed temporary file by its
// name, and then the file replaces target. Otherwise the temporary file is deleted and target is left
// as it was. True when target now holds the new contents. The temporary name is short, so a target
// whose name is near the length limit can still be written.
[[nodiscard]] bool WriteFileReplacing(
    const std::wstring& target,
    const std::function<bool(IStream*)>& write,
    const std::function<void(const std::wstring& temporary)>& beforeReplace = nullptr);

// The same for scratch files the program itself reads back and makes again (the exposure tiles): still
// checked and never left half written under target, but neither flushed to the disk nor renamed with
// write-through, which only a user's own files need.
[[nodiscard]] bool WriteScratchFileReplacing(const std::wstring& target, const std::function<bool(IStream*)>& write);

// The same for a block of bytes.
[[nodiscard]] bool WriteBytesReplacing(const std::wstring& target, const void* data, size_t size);
