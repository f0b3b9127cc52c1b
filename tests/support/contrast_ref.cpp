// Scalar Smart Contrast reference: separate loops per step, no fusing, same operation order.
#include "support/contrast_ref.h"

#include <cstring>

#include "support/pyramid_ref.h"

namespace {

std::vector<float> Kernel() {
    const float w[5] = {0.05f, 0.25f, 0.4f, 0.25f, 0.05f};
    std::vector<float> k(25);
    for (int r = 0; r < 5; r++) {
        for (int c = 0; c < 5; c++)
            k[r * 5 + c] = w[r] * w[c];
    }
    return k;
}

float Sample(const SQmPicBuf& pic, int32_t x, int32_t y, uint32_t component) {
    const uint8_t* row = pic.data + static_cast<size_t>(y) * pic.stride;
    size_t index = static_cast<size_t>(x) * pic.components + component;
    if (pic.bitsPerComponent == 8)
        return static_cast<float>(row[index]);
    uint16_t v;
    std::memcpy(&v, row + index * 2, 2);
    return static_cast<float>(v);
}

}  // namespace

RefContrastLevels RefBuildComponent(const SQmPicBuf& source, uint32_t component, uint32_t levelCount) {
    std::vector<float> k = Kernel();
    RefContrastLevels r;
    r.levelCount = levelCount;
    for (uint32_t l = 0; l <= levelCount; l++) {
        r.width.push_back(source.width >> l);
        r.height.push_back(source.height >> l);
    }
    r.gauss.resize(levelCount + 1);
    r.detail.resize(levelCount);
    r.gauss[0].resize(static_cast<size_t>(source.width) * source.height);
    for (int32_t y = 0; y < source.height; y++) {
        for (int32_t x = 0; x < source.width; x++)
            r.gauss[0][y * source.width + x] = Sample(source, x, y, component);
    }
    for (uint32_t l = 0; l < levelCount; l++) {
        r.gauss[l + 1].assign(static_cast<size_t>(r.width[l + 1]) * r.height[l + 1], 0.0f);
        RefReducePlane(r.gauss[l + 1].data(), r.gauss[l].data(), r.width[l + 1], r.height[l + 1], r.width[l],
                       r.height[l], k.data());
        std::vector<float> e(r.gauss[l].size(), 0.0f);
        RefExpandPlane(e.data(), r.gauss[l + 1].data(), r.width[l], r.height[l], r.width[l + 1], r.height[l + 1],
                       k.data());
        r.detail[l].resize(e.size());
        for (size_t i = 0; i < e.size(); i++)
            r.detail[l][i] = r.gauss[l][i] - e[i];
    }
    return r;
}

std::vector<float> RefCollapse(const RefContrastLevels& levels, const int32_t* lod) {
    std::vector<float> k = Kernel();
    std::vector<float> recon = levels.gauss[levels.levelCount];
    for (uint32_t l = levels.levelCount; l-- > 0;) {
        float gain = static_cast<float>(lod[l]) / 10.0f;
        std::vector<float> e(static_cast<size_t>(levels.width[l]) * levels.height[l], 0.0f);
        RefExpandPlane(e.data(), recon.data(), levels.width[l], levels.height[l], levels.width[l + 1],
                       levels.height[l + 1], k.data());
        std::vector<float> scaled(e.size());
        for (size_t i = 0; i < e.size(); i++)
            scaled[i] = gain * levels.detail[l][i];
        for (size_t i = 0; i < e.size(); i++)
            e[i] = e[i] + scaled[i];
        recon = std::move(e);
    }
    return recon;
}

void RefStoreFloatPlane(SQmPicBuf& target, const float* plane) {
    for (int32_t y = 0; y < target.height; y++) {
        for (int32_t x = 0; x < target.width; x++) {
            float v = plane[y * target.width + x];
            if (target.bitsPerComponent == 8) {
                uint8_t b;
                if (v >= 255.0f) {
                    b = 255;
                } else if (v <= 0.0f) {
                    b = 0;
                } else {
                    b = static_cast<uint8_t>(static_cast<int>(v));
                }
                target.data[static_cast<size_t>(y) * target.stride + x] = b;
            } else {
                float maxValue = static_cast<float>((1 << target.bitsPerComponent) - 1);
                uint16_t s;
                if (v >= maxValue) {
                    s = static_cast<uint16_t>((1 << target.bitsPerComponent) - 1);
                } else if (v <= 0.0f) {
                    s = 0;
                } else {
                    s = static_cast<uint16_t>(static_cast<int>(v));
                }
                reinterpret_cast<uint16_t*>(target.data)[static_cast<size_t>(y) * (target.stride / 2) + x] = s;
            }
        }
    }
}

void RefRender(const ContrastPyramid& pyramid, SQmPicBuf& target, const int32_t* lod, uint32_t component) {
    RefContrastLevels levels;
    levels.levelCount = pyramid.levelCount;
    for (uint32_t l = 0; l <= pyramid.levelCount; l++) {
        levels.width.push_back(static_cast<int32_t>(pyramid.levelWidth[l]));
        levels.height.push_back(static_cast<int32_t>(pyramid.levelHeight[l]));
    }
    levels.gauss.resize(pyramid.levelCount + 1);
    const FloatPlane& top = pyramid.top[component];
    levels.gauss[pyramid.levelCount].assign(top.Data(), top.Data() + top.Count());
    for (uint32_t l = 0; l < pyramid.levelCount; l++) {
        const FloatPlane& d = pyramid.detail[component][l];
        levels.detail.emplace_back(d.Data(), d.Data() + d.Count());
    }
    std::vector<float> recon = RefCollapse(levels, lod);
    RefStoreFloatPlane(target, recon.data());
}
