// Plain scalar twins of the resampling pair, written loop for loop from the rules; the oracle for faster code.
#pragma once

#include <cstdint>

void RefReducePlane(float* dst,
                    const float* src,
                    int32_t dstWidth,
                    int32_t dstHeight,
                    int32_t srcWidth,
                    int32_t srcHeight,
                    const float* kernel);
void RefExpandPlane(float* dst,
                    const float* src,
                    int32_t dstWidth,
                    int32_t dstHeight,
                    int32_t srcWidth,
                    int32_t srcHeight,
                    const float* kernel);
