// Decisions of the Smart Contrast dialog that need no window: slider stepping and which pictures it takes.
#pragma once

#include <cstdint>

#include "base/slider_rule.h"
#include "imaging/pic_buf.h"

constexpr int32_t kLodMin = 0;
constexpr int32_t kLodMax = 30;
constexpr int32_t kLodDefault = 10;  // gain 1.0

// What the control does with a position it is given.
int32_t ClampToSlider(int32_t value);

enum class ContrastOpening {
    Empty,        // no picture: the dialog opens with every row disabled
    Unsupported,  // not 1 or 3 components of 8 or 16 bits
    TooSmall,     // the smaller side is below 10: there is no detail band to set
    Ready,
};
[[nodiscard]] ContrastOpening ClassifyContrastSource(const SQmPicBuf& source);
