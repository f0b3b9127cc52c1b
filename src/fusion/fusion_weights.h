// Per-pixel fusion weights of one pyramid level: local contrast, saturation and closeness to a middle tone.
//
// Neighbourhood of pixel (x, y): a 3 x 3 window that stays inside the level, centred on the nearest
// interior pixel. The contrast tap works on the per-position sums S = g0 + g1 + g2 of the guides:
//
//            S(top)
//   S(left) -4 S(centre) S(right)      lap = left + top - 4 centre + right + bottom
//            S(bottom)
//
// Weights (c = |lap| / 3, sat = deviation of the guides from their mean, e = exp(-(S/3 - midTone)^2 / 100)):
//   below the top: w = sqrt((c + 1e-5)^ec) * (sat + 1e-5)^es * (e + 1e-5)^ee + 1e-5
//   top level:     w = sqrt(c^ec) * sat^es * e^ee + 1e-5
// Every step has a fixed single or double precision; the low bits of the weights are part of the result.
#pragma once

#include <cstdint>

// (float)(param / 10.0 + 0.001) / 3, in single precision.
float FusionWeightExponent(int32_t param);

// Adds w to weightSum and w * value_k to weighted_k for every pixel of a W x H level (nothing when W or H < 5).
// Values are the detail bands of the level, guides its Gaussian level.
void WeightColourLevel8(float* weighted0,
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

// Same for the top level, whose blended values are the Gaussian components themselves.
void WeightColourTop8(float* weighted0,
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
