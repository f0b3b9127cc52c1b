// Decisions of the Smart Contrast dialog that need no window: slider stepping and which pictures it takes.
#pragma once

#include <cstdint>

#include "imaging/pic_buf.h"

constexpr int32_t kLodMin = 0;
constexpr int32_t kLodMax = 30;
constexpr int32_t kLodDefault = 10;  // gain 1.0

// Slider notification codes; the values are the platform's trackbar codes.
enum SliderCode : int32_t {
    kSliderLineUp = 0,
    kSliderLineDown = 1,
    kSliderPageUp = 2,
    kSliderPageDown = 3,
    kSliderThumbPosition = 4,
    kSliderThumbTrack = 5,
    kSliderTop = 6,
    kSliderBottom = 7,
    kSliderEndTrack = 8,
};

// The value the dialog gives a slider after a notification. position is what the control already
// holds (it has applied its own line or page step); thumb is the position the notification carries.
// Line and page events step once more, so an arrow key moves by two and a page step (size 0) by one.
int32_t SliderTargetValue(int32_t code, int32_t position, int16_t thumb);

// What the control does with a position it is given.
int32_t ClampToSlider(int32_t value);

// Recompute when the thumb was released, or when a non-drag event changed the value.
bool SliderNeedsRecompute(int32_t code, int32_t previous, int32_t current);

enum class ContrastOpening {
    Empty,        // no picture: the dialog opens with every row disabled
    Unsupported,  // not 1 or 3 components of 8 or 16 bits
    TooSmall,     // the smaller side is below 10: there is no detail band to set
    Ready,
};
ContrastOpening ClassifyContrastSource(const SQmPicBuf& source);
