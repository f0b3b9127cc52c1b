// Slider stepping and picture checks of the Smart Contrast dialog.
#include "contrast/contrast_dialog.h"

#include <algorithm>

int32_t ClampToSlider(int32_t value) {
    return std::clamp(value, kLodMin, kLodMax);
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
