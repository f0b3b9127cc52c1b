// Trackbar stepping shared by the processing dialogs.
#include "base/slider_rule.h"

int32_t SliderTargetValue(int32_t code, int32_t position, int16_t thumb) {
    switch (code) {
        case kSliderLineUp:
        case kSliderPageUp:
            return position - 1;
        case kSliderLineDown:
        case kSliderPageDown:
            return position + 1;
        case kSliderThumbPosition:
        case kSliderThumbTrack:
            return thumb;
        default:
            return position;
    }
}

bool SliderNeedsRecompute(int32_t code, int32_t previous, int32_t current) {
    if (code == kSliderThumbPosition)
        return true;
    return code != kSliderThumbTrack && current != previous;
}
