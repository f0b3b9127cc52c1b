// Picture: the move-only owner of one picture buffer. The record stays the library's plain SQmPicBuf;
// whoever owns one holds it here, so every way out of a scope frees it once.
#pragma once

#include <utility>

#include "imaging/pic_buf.h"

class Picture {
public:
    Picture() { CQmPicBufAPI::Init(buf_); }
    ~Picture() { CQmPicBufAPI::DoneHeap(buf_); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    Picture(Picture&& other) noexcept : buf_(other.buf_) { CQmPicBufAPI::Init(other.buf_); }
    Picture& operator=(Picture&& other) noexcept {
        if (this != &other) {
            CQmPicBufAPI::DoneHeap(buf_);
            buf_ = other.buf_;
            CQmPicBufAPI::Init(other.buf_);
        }
        return *this;
    }

    SQmPicBuf& buf() { return buf_; }
    const SQmPicBuf& buf() const { return buf_; }
    SQmPicBuf* operator->() { return &buf_; }
    const SQmPicBuf* operator->() const { return &buf_; }
    void Reset() { CQmPicBufAPI::DoneHeap(buf_); }

private:
    SQmPicBuf buf_;
};
