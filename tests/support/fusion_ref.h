// Plain scalar twins of the fusion weights, collapse and whole run, written loop for loop from the rules; the
// oracle for the faster code.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/pic_buf.h"

void RefWeightColourLevel8(float* weighted0,
                           float* weighted1,
                           float* weighted2,
                           float* weightSum,
                           const float* value0,
                           const float* value1,
                           const float* value2,
                           const float* guide0,
                           const float* guide1,
                           const float* guide2,
                           int32_t width,
                           int32_t height,
                           int32_t midTone,
                           int32_t contrastParam,
                           int32_t saturationParam,
                           int32_t exposednessParam);
void RefWeightColourTop8(float* weighted0,
                         float* weighted1,
                         float* weighted2,
                         float* weightSum,
                         const float* value0,
                         const float* value1,
                         const float* value2,
                         const float* guide0,
                         const float* guide1,
                         const float* guide2,
                         int32_t width,
                         int32_t height,
                         int32_t midTone,
                         int32_t contrastParam,
                         int32_t saturationParam,
                         int32_t exposednessParam);

// Converts a level-0 plane into width x height bytes (tightly packed).
std::vector<uint8_t> RefWriteFusedPlane8(const std::vector<float>& plane, int32_t width, int32_t height, bool stretch);

// Whole run on the first n pictures (3-component 8-bit, equal shapes): tightly packed interleaved result.
std::vector<uint8_t> RefFusePictures(const std::vector<SQmPicBuf>& pictures,
                                     int32_t n,
                                     uint32_t minSide,
                                     int32_t midTone,
                                     int32_t flatness,
                                     bool stretch);
