#include "base/checked_file_win.h"

#include <objidl.h>

#include <string>

#include "base/scoped_win.h"
#include "base/write_fault.h"

namespace {

// A stream over an open file. Every short or failed write is remembered; the encoders may not say.
class CheckedFileStream : public IStream {
public:
    explicit CheckedFileStream(HANDLE file) : file_(file) {}
    bool failed() const { return failed_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the writer's stack; the count only guards against early release.
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }

    HRESULT STDMETHODCALLTYPE Read(void* out, ULONG size, ULONG* read) override {
        DWORD got = 0;
        const BOOL ok = ReadFile(file_, out, size, &got, nullptr);
        if (read)
            *read = got;
        return !ok ? STG_E_READFAULT : got < size ? S_FALSE : S_OK;
    }
    // A failed write is remembered and then reported to the encoder as done: some encoders crash on
    // their own error paths (a TIFF encoder did on a full disk), and the file is thrown away anyway.
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
        if (written)
            *written = size;
        if (failed_)
            return S_OK;
        const DWORD allowed = static_cast<DWORD>(WritableBytes(size));
        DWORD done = 0;
        const BOOL ok = allowed == 0 || WriteFile(file_, data, allowed, &done, nullptr);
        if (!ok || done != size)
            failed_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        LARGE_INTEGER now{};
        if (!SetFilePointerEx(file_, move, &now, origin))
            return STG_E_INVALIDFUNCTION;
        if (position)
            position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        LARGE_INTEGER keep{}, zero{}, end{};
        end.QuadPart = static_cast<LONGLONG>(size.QuadPart);
        if (!SetFilePointerEx(file_, zero, &keep, FILE_CURRENT) || !SetFilePointerEx(file_, end, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(file_)) {
            failed_ = true;
        }
        SetFilePointerEx(file_, keep, nullptr, FILE_BEGIN);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override {
        if (!FlushFileBuffers(file_))
            failed_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (!stat)
            return E_POINTER;
        *stat = STATSTG{};
        LARGE_INTEGER size{};
        GetFileSizeEx(file_, &size);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        stat->grfMode = STGM_READWRITE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    HANDLE file_;
    LONG refs_ = 1;
    bool failed_ = false;
};

// A short name in the target's folder that no other file uses, so nothing but the final rename touches
// the target. Scratch files are marked temporary: the system then keeps them in memory where it can instead of
// writing them out, and a user's file flushed soon after does not wait behind them.
ScopedFile CreateTemporaryBeside(const std::wstring& target, std::wstring& temporary, bool scratch) {
    const size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    const std::wstring stem = folder + L"~sp" + std::to_wstring(GetCurrentProcessId()) + L"-";
    for (unsigned i = 0; i < 1000; ++i) {
        temporary = stem + std::to_wstring(i) + L".tmp";
        ScopedFile file(CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    scratch ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    temporary.clear();
    return ScopedFile();
}

}  // namespace

namespace {

bool WriteReplacing(const std::wstring& target,
                    const std::function<bool(IStream*)>& write,
                    const std::function<void(const std::wstring& temporary)>& beforeReplace,
                    bool durable) {
    std::wstring temporary;
    ScopedFile file = CreateTemporaryBeside(target, temporary, !durable);
    if (!file)
        return false;
    bool whole = false;
    {
        CheckedFileStream stream(file.get());
        whole = write(&stream) && !stream.failed() && (!durable || FlushFileBuffers(file.get()));
    }
    whole = file.Close() && whole;  // the last bytes may fail only here
    if (whole && beforeReplace)
        beforeReplace(temporary);
    // A reader holding the target open for a moment (another instance reading its settings) delays the
    // replacement; it does not make the write fail.
    for (int attempt = 0; whole && attempt < 50; ++attempt) {
        if (MoveFileExW(temporary.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0)))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
            break;
        Sleep(10);
    }
    DeleteFileW(temporary.c_str());
    return false;
}

}  // namespace

bool WriteFileReplacing(const std::wstring& target,
                        const std::function<bool(IStream*)>& write,
                        const std::function<void(const std::wstring& temporary)>& beforeReplace) {
    return WriteReplacing(target, write, beforeReplace, true);
}

bool WriteScratchFileReplacing(const std::wstring& target, const std::function<bool(IStream*)>& write) {
    return WriteReplacing(target, write, nullptr, false);
}

bool WriteBytesReplacing(const std::wstring& target, const void* data, size_t size) {
    return WriteFileReplacing(target, [&](IStream* stream) {
        const auto* p = static_cast<const uint8_t*>(data);
        while (size > 0) {
            const ULONG n = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
            ULONG written = 0;
            if (stream->Write(p, n, &written) != S_OK || written != n)
                return false;
            p += n;
            size -= n;
        }
        return true;
    });
}
