// How the program's trackbars step: shared by the Smart Contrast and the Fusion dialogs.
#pragma once

#include <cstdint>

// Trackbar notification codes, as the platform numbers them.
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

// Recompute when the thumb was released, or when a non-drag event leaves a value other than the one
// the picture was last computed with (previous).
bool SliderNeedsRecompute(int32_t code, int32_t previous, int32_t current);
