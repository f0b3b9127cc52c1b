// Scalar fusion reference: one pixel at a time, every step in the precision the rules give, no tables.
#include "support/fusion_ref.h"

#include <math.h>

#include <algorithm>
#include <cmath>

#include "support/pyramid_ref.h"

namespace {

float Exponent(int32_t param) {
    const float p = static_cast<float>(param / 10.0 + 0.001);
    return p / 3.0f;
}

template <bool Top>
void RefWeight(float* weighted0,
               float* weighted1,
               float* weighted2,
               float* weightSum,
               const float* value0,
               const float* value1,
               const float* value2,
               const float* guide0,
               const float* guide1,
               const float* guide2,
               int32_t W,
               int32_t H,
               int32_t midTone,
               int32_t contrastParam,
               int32_t saturationParam,
               int32_t exposednessParam) {
    if (W < 5 || H < 5)
        return;
    const float ec = Exponent(contrastParam);
    const float es = Exponent(saturationParam);
    const float ee = Exponent(exposednessParam);
    auto S = [&](int32_t x, int32_t y) {
        const int32_t i = y * W + x;
        return guide0[i] + guide1[i] + guide2[i];
    };
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            int32_t ox = x > 0 ? x - 1 : 0;
            if (x == W - 1)
                ox = ox - 1;
            int32_t oy = y > 0 ? y - 1 : 0;
            if (y == H - 1)
                oy = oy - 1;

            const float left = S(ox, oy + 1);
            const float top = S(ox + 1, oy);
            const float centre = S(ox + 1, oy + 1);
            const float right = S(ox + 2, oy + 1);
            const float bottom = S(ox + 1, oy + 2);
            const float firstTwo = left + top;
            const float lap = static_cast<float>(static_cast<double>(firstTwo) - 4.0 * centre + right + bottom);
            const float absLap = static_cast<float>(std::fabs(static_cast<double>(lap)));
            const float c = static_cast<float>(absLap / 3.0);

            const int32_t i = y * W + x;
            const float g0 = guide0[i];
            const float g1 = guide1[i];
            const float g2 = guide2[i];
            const float s = g0 + g1 + g2;

            const float m = static_cast<float>(midTone);
            const float third = s / 3.0f;
            const float diff = third - m;
            const float square = diff * diff;
            const float e = static_cast<float>(std::exp(-square / 100.0));

            const float mean = static_cast<float>(s / 3.0);
            const float d0 = mean - g0;
            const float d1 = mean - g1;
            const float d2 = mean - g2;
            const float squares = d0 * d0 + d1 * d1 + d2 * d2;
            const float sat = static_cast<float>(std::sqrt(squares / 3.0));

            float product;
            if (Top) {
                product = sqrtf(powf(c, ec)) * powf(sat, es) * powf(e, ee);
            } else {
                product = sqrtf(powf(c + 1e-5f, ec)) * powf(sat + 1e-5f, es) * powf(e + 1e-5f, ee);
            }
            const float w = static_cast<float>(product + 1e-5);

            weightSum[i] += w;
            weighted0[i] += w * value0[i];
            weighted1[i] += w * value1[i];
            weighted2[i] += w * value2[i];
        }
    }
}

using Plane = std::vector<float>;

}  // namespace

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
                           int32_t exposednessParam) {
    RefWeight<false>(weighted0, weighted1, weighted2, weightSum, value0, value1, value2, guide0, guide1, guide2, width,
                     height, midTone, contrastParam, saturationParam, exposednessParam);
}

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
                         int32_t exposednessParam) {
    RefWeight<true>(weighted0, weighted1, weighted2, weightSum, value0, value1, value2, guide0, guide1, guide2, width,
                    height, midTone, contrastParam, saturationParam, exposednessParam);
}

std::vector<uint8_t> RefWriteFusedPlane8(const std::vector<float>& plane, int32_t width, int32_t height, bool stretch) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height);
    float mn = 1000.0f;
    float mx = -100.0f;
    if (stretch) {
        for (float v : plane) {
            if (v < mn)
                mn = v;
            if (v > mx)
                mx = v;
        }
        if (mx - mn <= 1e-5)
            stretch = false;
    }
    const float lo = mn >= 0 ? mn : 0.0f;
    const float hi = mx <= 255 ? mx : 255.0f;
    for (size_t k = 0; k < out.size(); ++k) {
        float v = plane[k];
        if (stretch)
            v = (v - mn) * (hi - lo) / (mx - mn) + lo;
        if (v >= 255)
            out[k] = 255;
        else if (v <= 0)
            out[k] = 0;
        else
            out[k] = static_cast<uint8_t>(static_cast<int>(v));
    }
    return out;
}

std::vector<uint8_t> RefFusePictures(const std::vector<SQmPicBuf>& pictures,
                                     int32_t n,
                                     uint32_t minSide,
                                     int32_t midTone,
                                     int32_t flatness,
                                     bool stretch) {
    const SQmPicBuf& first = pictures[0];
    const int32_t W0 = first.width;
    const int32_t H0 = first.height;

    uint32_t m = static_cast<uint32_t>(std::min(W0, H0));
    uint32_t L = 0;
    if (m >= minSide) {
        do {
            m >>= 1;
            ++L;
        } while (m >= minSide);
    }
    L = std::min<uint32_t>(L, static_cast<uint32_t>(flatness));
    L = std::min<uint32_t>(L, 10);
    std::vector<int32_t> lw(L + 1), lh(L + 1);
    for (uint32_t j = 0; j <= L; ++j) {
        lw[j] = W0 >> j;
        lh[j] = H0 >> j;
    }
    auto big = [&](uint32_t j) { return lw[j] >= 5 && lh[j] >= 5; };
    auto zeros = [&](uint32_t j) { return Plane(static_cast<size_t>(lw[j]) * lh[j], 0.0f); };
    float kernel[25];
    const float w[5] = {0.05f, 0.25f, 0.4f, 0.25f, 0.05f};
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
            kernel[r * 5 + c] = w[r] * w[c];

    std::vector<Plane> weightSum[3], weightedSum[3];
    for (int c = 0; c < 3; ++c)
        for (uint32_t j = 0; j <= L; ++j) {
            weightSum[c].push_back(zeros(j));
            weightedSum[c].push_back(zeros(j));
        }

    for (int32_t p = 0; p < n; ++p) {
        const SQmPicBuf& pic = pictures[static_cast<size_t>(p)];
        std::vector<Plane> G[3], B[3];
        for (int c = 0; c < 3; ++c) {
            for (uint32_t j = 0; j <= L; ++j) {
                G[c].push_back(zeros(j));
                B[c].push_back(zeros(j));
            }
            for (int32_t y = 0; y < H0; ++y)
                for (int32_t x = 0; x < W0; ++x)
                    G[c][0][y * W0 + x] = pic.data[y * pic.stride + 3 * x + c];
            for (uint32_t i = 0; i < L; ++i) {
                RefReducePlane(G[c][i + 1].data(), G[c][i].data(), lw[i + 1], lh[i + 1], lw[i], lh[i], kernel);
                RefExpandPlane(B[c][i].data(), G[c][i + 1].data(), lw[i], lh[i], lw[i + 1], lh[i + 1], kernel);
                if (big(i))
                    for (size_t k = 0; k < B[c][i].size(); ++k)
                        B[c][i][k] = G[c][i][k] - B[c][i][k];
            }
        }
        for (uint32_t i = 0; i < L; ++i)
            RefWeightColourLevel8(weightedSum[0][i].data(), weightedSum[1][i].data(), weightedSum[2][i].data(),
                                  weightSum[0][i].data(), B[0][i].data(), B[1][i].data(), B[2][i].data(),
                                  G[0][i].data(), G[1][i].data(), G[2][i].data(), lw[i], lh[i], midTone, 5, 5, 5);
        RefWeightColourTop8(weightedSum[0][L].data(), weightedSum[1][L].data(), weightedSum[2][L].data(),
                            weightSum[0][L].data(), G[0][L].data(), G[1][L].data(), G[2][L].data(), G[0][L].data(),
                            G[1][L].data(), G[2][L].data(), lw[L], lh[L], midTone, 5, 5, 5);
        for (uint32_t j = 0; j <= L; ++j) {
            weightSum[1][j] = weightSum[0][j];
            weightSum[2][j] = weightSum[0][j];
        }
    }

    std::vector<uint8_t> out(static_cast<size_t>(W0) * H0 * 3);
    for (int c = 0; c < 3; ++c) {
        std::vector<Plane> R, Gp;
        for (uint32_t j = 0; j <= L; ++j) {
            R.push_back(zeros(j));
            Gp.push_back(zeros(j));
        }
        auto divide = [&](Plane& dst, uint32_t j) {
            for (size_t k = 0; k < dst.size(); ++k) {
                const float ws = weightSum[c][j][k];
                dst[k] = std::fabs(static_cast<double>(ws)) > 1e-10 ? weightedSum[c][j][k] / ws : 0.0f;
            }
        };
        for (uint32_t i = 0; i < L; ++i)
            if (big(i))
                divide(R[i], i);
        if (big(L))
            divide(Gp[L], L);
        for (int32_t j = static_cast<int32_t>(L) - 1; j >= 0; --j) {
            RefExpandPlane(Gp[j].data(), Gp[j + 1].data(), lw[j], lh[j], lw[j + 1], lh[j + 1], kernel);
            if (big(static_cast<uint32_t>(j)))
                for (size_t k = 0; k < Gp[j].size(); ++k)
                    Gp[j][k] = Gp[j][k] + R[j][k];
        }
        const std::vector<uint8_t> bytes = RefWriteFusedPlane8(Gp[0], W0, H0, stretch);
        for (size_t k = 0; k < bytes.size(); ++k)
            out[3 * k + c] = bytes[k];
    }
    return out;
}
