// Owners for Win32, GDI, GDI+ and COM resources: each releases its handle once, when it goes. Feature
// code holds these and never calls a release function itself.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>  // PROPID, which the GDI+ headers need under WIN32_LEAN_AND_MEAN
#include <gdiplus.h>

#include <utility>

// A move-only owner of one handle; Traits says what "none" is and how to release.
template <typename Traits>
class ScopedResource {
public:
    using Handle = typename Traits::Handle;

    ScopedResource() = default;
    explicit ScopedResource(Handle handle) : handle_(handle) {}
    ~ScopedResource() { Close(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : handle_(other.release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::None(); }
    Handle release() { return std::exchange(handle_, Traits::None()); }
    void reset(Handle handle = Traits::None()) {
        Close();
        handle_ = handle;
    }
    // Releases now; false when the release itself failed (a file's last write may fail on close).
    bool Close() {
        if (handle_ == Traits::None())
            return true;
        return Traits::Release(std::exchange(handle_, Traits::None()));
    }

private:
    Handle handle_ = Traits::None();
};

namespace scoped_traits {

struct KernelHandle {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static bool Release(Handle h) { return CloseHandle(h) != FALSE; }
};
struct FileHandle {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static bool Release(Handle h) { return CloseHandle(h) != FALSE; }
};
struct FindHandle {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static bool Release(Handle h) { return FindClose(h) != FALSE; }
};
template <typename T>
struct GdiObject {
    using Handle = T;
    static Handle None() { return nullptr; }
    static bool Release(Handle h) { return DeleteObject(h) != FALSE; }
};
struct MemoryDc {
    using Handle = HDC;
    static Handle None() { return nullptr; }
    static bool Release(Handle h) { return DeleteDC(h) != FALSE; }
};
struct ImageList {
    using Handle = HIMAGELIST;
    static Handle None() { return nullptr; }
    static bool Release(Handle h) { return ImageList_Destroy(h) != FALSE; }
};
struct GpImageHandle {
    using Handle = Gdiplus::GpBitmap*;
    static Handle None() { return nullptr; }
    static bool Release(Handle h) { return Gdiplus::DllExports::GdipDisposeImage(h) == Gdiplus::Ok; }
};
struct GdiplusToken {
    using Handle = ULONG_PTR;
    static Handle None() { return 0; }
    static bool Release(Handle h) {
        Gdiplus::GdiplusShutdown(h);
        return true;
    }
};

}  // namespace scoped_traits

using ScopedHandle = ScopedResource<scoped_traits::KernelHandle>;  // threads, processes, mutexes
using ScopedFile = ScopedResource<scoped_traits::FileHandle>;      // CreateFile
using ScopedFind = ScopedResource<scoped_traits::FindHandle>;      // FindFirstFile
using ScopedFont = ScopedResource<scoped_traits::GdiObject<HFONT>>;
using ScopedBitmap = ScopedResource<scoped_traits::GdiObject<HBITMAP>>;
using ScopedRegion = ScopedResource<scoped_traits::GdiObject<HRGN>>;
using ScopedMemoryDc = ScopedResource<scoped_traits::MemoryDc>;  // CreateCompatibleDC
using ScopedImageList = ScopedResource<scoped_traits::ImageList>;
using ScopedGpBitmap = ScopedResource<scoped_traits::GpImageHandle>;  // flat-API images and bitmaps
using ScopedGdiplusToken = ScopedResource<scoped_traits::GdiplusToken>;

// An object selected into a DC; the one it replaced goes back when this goes.
class ScopedSelection {
public:
    ScopedSelection() = default;
    ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelection() { Restore(); }
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;
    ScopedSelection(ScopedSelection&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), previous_(std::exchange(other.previous_, nullptr)) {}
    ScopedSelection& operator=(ScopedSelection&& other) noexcept {
        if (this != &other) {
            Restore();
            dc_ = std::exchange(other.dc_, nullptr);
            previous_ = std::exchange(other.previous_, nullptr);
        }
        return *this;
    }
    void Restore() {
        if (dc_ && previous_)
            SelectObject(dc_, previous_);
        dc_ = nullptr;
        previous_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// COM on this thread for as long as this lives (only when the start-up succeeded).
class ScopedCom {
public:
    explicit ScopedCom(DWORD model = COINIT_APARTMENTTHREADED) : started_(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
    ~ScopedCom() {
        if (started_)
            CoUninitialize();
    }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;

private:
    bool started_;
};
