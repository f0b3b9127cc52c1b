// Slider stepping and picture checks of the Smart Contrast dialog.
#include "contrast/contrast_dialog.h"

#include <algorithm>

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

int32_t ClampToSlider(int32_t value) {
    return std::clamp(value, kLodMin, kLodMax);
}

bool SliderNeedsRecompute(int32_t code, int32_t previous, int32_t current) {
    if (code == kSliderThumbPosition)
        return true;
    return code != kSliderThumbTrack && current != previous;
}

ContrastOpening ClassifyContrastSource(const SQmPicBuf& source) {
    if (source.data == nullptr || source.width <= 0 || source.height <= 0 || source.components <= 0)
        return ContrastOpening::Empty;
    if ((source.components != 1 && source.components != 3) ||
        (source.bitsPerComponent != 8 && source.bitsPerComponent != 16))
        return ContrastOpening::Unsupported;
    if (std::min(source.width, source.height) < 10)
        return ContrastOpening::TooSmall;
    return ContrastOpening::Ready;
}
