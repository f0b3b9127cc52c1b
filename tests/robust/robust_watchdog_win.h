// A per-item time bound and a last word on crashes for the robustness tests: when one file or one
// step takes longer than its bound, or the process faults, the item is named on stderr and the test
// process ends with a failure code instead of hanging the run.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    explicit Watchdog(int boundMs) : boundMs_(boundMs), thread_([this] { Watch(); }) {
        Current() = this;
        previousFilter_ = SetUnhandledExceptionFilter(&Watchdog::OnFault);
    }
    ~Watchdog() {
        SetUnhandledExceptionFilter(previousFilter_);
        Current() = nullptr;
        stop_ = true;
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Begin(const std::wstring& what, int boundMs = 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        what_ = what;
        deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs ? boundMs : boundMs_);
        armed_ = true;
    }
    void End() { armed_ = false; }

private:
    static Watchdog*& Current() {
        static Watchdog* current = nullptr;
        return current;
    }
    static LONG WINAPI OnFault(EXCEPTION_POINTERS* info) {
        if (Watchdog* w = Current()) {
            std::lock_guard<std::mutex> lock(w->mutex_);
            std::fprintf(stderr, "\nFAULT 0x%08lx while: %ls\n", info->ExceptionRecord->ExceptionCode,
                         w->what_.c_str());
            std::fflush(stderr);
        }
        TerminateProcess(GetCurrentProcess(), 98);
        return EXCEPTION_EXECUTE_HANDLER;
    }
    void Watch() {
        while (!stop_) {
            Sleep(50);
            if (!armed_)
                continue;
            std::lock_guard<std::mutex> lock(mutex_);
            if (armed_ && std::chrono::steady_clock::now() > deadline_) {
                std::fprintf(stderr, "\nTIME BOUND EXCEEDED while: %ls\n", what_.c_str());
                std::fflush(stderr);
                std::fflush(stdout);
                TerminateProcess(GetCurrentProcess(), 99);
            }
        }
    }

    int boundMs_;
    std::mutex mutex_;
    std::wstring what_;
    std::chrono::steady_clock::time_point deadline_{};
    std::atomic<bool> armed_{false};
    std::atomic<bool> stop_{false};
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter_ = nullptr;
    std::thread thread_;
};
