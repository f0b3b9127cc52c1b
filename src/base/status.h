// Status: the must-use result of an operation that can fail, small enough to return by value.
#pragma once

#include <cstdint>

enum class StatusCode : uint8_t {
    kOk = 0,
    kInvalid,      // refused input: empty, foreign format, bad geometry
    kOutOfMemory,  // an allocation failed (or would overflow)
    kIo,           // a file could not be read or written
    kCancelled,    // the user stopped it, or asked not to go on
};

class [[nodiscard]] Status {
public:
    constexpr Status() = default;
    constexpr Status(StatusCode code) : code_(code) {}  // NOLINT: a code is a status

    static constexpr Status Ok() { return Status(); }
    constexpr bool ok() const { return code_ == StatusCode::kOk; }
    constexpr StatusCode code() const { return code_; }
    // An ignored failure is a choice the caller writes down: `status.IgnoreError();  // why`.
    constexpr void IgnoreError() const {}

    constexpr bool operator==(const Status&) const = default;

private:
    StatusCode code_ = StatusCode::kOk;
};

#define SP_RETURN_IF_ERROR(expr)          \
    do {                                  \
        const Status sp_status_ = (expr); \
        if (!sp_status_.ok())             \
            return sp_status_;            \
    } while (0)
