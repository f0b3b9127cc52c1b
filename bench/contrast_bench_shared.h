// The 6000 x 4000 photo and its built pyramids, shared by the contrast benchmarks and the OpenCV anchor.
#pragma once

#include <cstdint>

#include "contrast/contrast_pyramid.h"
#include "imaging/pic_buf.h"

namespace bench {

constexpr int32_t kContrastWidth = 6000;
constexpr int32_t kContrastHeight = 4000;
constexpr int32_t kContrastLod[kLodCount] = {12, 12, 12, 12, 12, 12, 12, 12};

// 8-bit photo with `components` (1 or 3), made once.
const SQmPicBuf& ContrastPhoto(int32_t components);
// Its pyramid, built once with the default (fast) path.
ContrastPyramid& BuiltContrastPyramid(int32_t components);

}  // namespace bench
