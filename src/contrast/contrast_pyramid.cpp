// Smart Contrast pyramid: decomposition once per dialog, collapse with gains on every slider change.
#include "contrast/contrast_pyramid.h"

#include <cstddef>

namespace {

bool SupportedFormat(int32_t components, int32_t bitsPerComponent) {
    return (components == 1 || components == 3) && (bitsPerComponent == 8 || bitsPerComponent == 16);
}

// A one-component 8- or 16-bit picture whose rows all lie inside its block.
bool PlanePictureUsable(const SQmPicBuf& pic) {
    if (!pic.data || pic.components != 1 || pic.width <= 0 || pic.height <= 0)
        return false;
    if (pic.bitsPerComponent != 8 && pic.bitsPerComponent != 16)
        return false;
    int64_t rowBytes = static_cast<int64_t>(pic.width) * (pic.bitsPerComponent / 8);
    if (pic.stride < rowBytes || (pic.bitsPerComponent == 16 && pic.stride % 2 != 0))
        return false;
    return static_cast<int64_t>(pic.stride) * (pic.height - 1) + rowBytes <= pic.size;
}

void PictureToPlane(float* plane, const SQmPicBuf& pic) {
    const size_t w = static_cast<size_t>(pic.width);
    if (pic.bitsPerComponent == 8) {
        for (int32_t y = 0; y < pic.height; y++) {
            const uint8_t* row = pic.data + static_cast<size_t>(y) * static_cast<size_t>(pic.stride);
            float* out = plane + static_cast<size_t>(y) * w;
            for (size_t x = 0; x < w; x++)
                out[x] = static_cast<float>(row[x]);
        }
    } else {
        const uint16_t* base = reinterpret_cast<const uint16_t*>(pic.data);
        for (int32_t y = 0; y < pic.height; y++) {
            const uint16_t* row = base + static_cast<size_t>(y) * static_cast<size_t>(pic.stride / 2);
            float* out = plane + static_cast<size_t>(y) * w;
            for (size_t x = 0; x < w; x++)
                out[x] = static_cast<float>(row[x]);
        }
    }
}

}  // namespace

uint32_t ContrastLevelCount(int32_t width, int32_t height) {
    int32_t m = width < height ? width : height;
    if (m < 10)
        return 0;
    uint32_t levels = 0;
    while (m >= 10) {
        m >>= 1;
        levels++;
    }
    return levels < kContrastMaxLevelCount ? levels : kContrastMaxLevelCount;
}

void ContrastPyramid::Release() {
    for (int c = 0; c < kContrastComponents; c++) {
        for (int k = 0; k < kContrastMaxLevels; k++) {
            gauss[c][k].Release();
            scaledDetail[c][k].Release();
            detail[c][k].Release();
        }
    }
    componentCount = 0;
    bitsPerComponent = 0;
    width = 0;
    height = 0;
    levelCount = 0;
    for (int k = 0; k < kContrastMaxLevels; k++)
        levelWidth[k] = levelHeight[k] = 0;
    built = false;
}

uint8_t ContrastPyramid::Build(const SQmPicBuf& source) {
    Release();
    if (!source.data || source.width <= 0 || source.height <= 0 ||
        !SupportedFormat(source.components, source.bitsPerComponent)) {
        return 1;
    }
    componentCount = static_cast<uint32_t>(source.components);
    bitsPerComponent = source.bitsPerComponent;
    width = source.width;
    height = source.height;
    levelCount = ContrastLevelCount(width, height);
    for (uint32_t k = 0; k <= levelCount; k++) {
        levelWidth[k] = static_cast<uint32_t>(width) >> k;
        levelHeight[k] = static_cast<uint32_t>(height) >> k;
    }

    // Every table gets every component, so a failure is seen here and not halfway through a render.
    for (uint32_t k = 0; k <= levelCount; k++) {
        const int32_t lw = static_cast<int32_t>(levelWidth[k]);
        const int32_t lh = static_cast<int32_t>(levelHeight[k]);
        FloatPlane(*const tables[3])[kContrastMaxLevels] = {gauss, scaledDetail, detail};
        for (FloatPlane(*table)[kContrastMaxLevels] : tables) {
            for (int c = 0; c < kContrastComponents; c++) {
                if (!table[c][k].Allocate(lw, lh))
                    return 1;
            }
        }
    }
    PyramidKernel(kernel);

    if (levelCount >= 1) {
        SQmPicBuf temp;
        CQmPicBufAPI::Init(temp);
        if (CQmPicBufAPI::ReinitHeap(temp, width, height, 1, bitsPerComponent) != 0) {
            CQmPicBufAPI::DoneHeap(temp);
            return 1;
        }
        const uint32_t processed = componentCount < kContrastComponents ? componentCount : kContrastComponents;
        for (uint32_t c = 0; c < processed; c++) {
            if (CQmPicBufAPI::ExtractComponent(temp, c, source) != 0) {
                CQmPicBufAPI::DoneHeap(temp);
                return 1;
            }
            PictureToPlane(gauss[c][0].Data(), temp);
            for (uint32_t k = 0; k < levelCount; k++) {
                const int32_t lw = static_cast<int32_t>(levelWidth[k]);
                const int32_t lh = static_cast<int32_t>(levelHeight[k]);
                const int32_t nw = static_cast<int32_t>(levelWidth[k + 1]);
                const int32_t nh = static_cast<int32_t>(levelHeight[k + 1]);
                float* g = gauss[c][k].Data();
                float* d = detail[c][k].Data();
                ReducePlane(gauss[c][k + 1].Data(), g, nw, nh, lw, lh, kernel);
                ExpandPlane(d, gauss[c][k + 1].Data(), lw, lh, nw, nh, kernel);
                if (lw >= 5 && lh >= 5) {
                    const size_t n = gauss[c][k].Count();
                    for (size_t i = 0; i < n; i++)
                        d[i] = g[i] - d[i];
                }
            }
        }
        CQmPicBufAPI::DoneHeap(temp);
    }
    built = true;
    return 0;
}

uint8_t ContrastPyramid::Render(SQmPicBuf& target, const int32_t lod[kLodCount], uint32_t component) {
    if (!Renderable() || component >= componentCount || component >= kContrastComponents)
        return 1;
    if (!PlanePictureUsable(target) || target.width != width || target.height != height ||
        target.bitsPerComponent != bitsPerComponent) {
        return 1;
    }
    float gain[kLodCount];
    for (uint32_t k = 0; k < levelCount; k++)
        gain[k] = static_cast<float>(lod[k]) / 10.0f;

    const uint32_t c = component;
    for (uint32_t k = levelCount; k-- > 0;) {
        const int32_t lw = static_cast<int32_t>(levelWidth[k]);
        const int32_t lh = static_cast<int32_t>(levelHeight[k]);
        float* g = gauss[c][k].Data();
        float* s = scaledDetail[c][k].Data();
        const float* d = detail[c][k].Data();
        const size_t n = gauss[c][k].Count();
        ExpandPlane(g, gauss[c][k + 1].Data(), lw, lh, static_cast<int32_t>(levelWidth[k + 1]),
                    static_cast<int32_t>(levelHeight[k + 1]), kernel);
        const float gk = gain[k];
        for (size_t i = 0; i < n; i++)
            s[i] = gk * d[i];
        if (lw >= 5 && lh >= 5) {
            for (size_t i = 0; i < n; i++)
                g[i] = g[i] + s[i];
        }
    }
    StoreFloatPlane(target, gauss[c][0].Data());
    return 0;
}

void StoreFloatPlane(SQmPicBuf& target, const float* plane) {
    if (!plane || !PlanePictureUsable(target))
        return;
    const size_t w = static_cast<size_t>(target.width);
    if (target.bitsPerComponent == 8) {
        for (int32_t y = 0; y < target.height; y++) {
            uint8_t* row = target.data + static_cast<size_t>(y) * static_cast<size_t>(target.stride);
            const float* in = plane + static_cast<size_t>(y) * w;
            for (size_t x = 0; x < w; x++) {
                const float v = in[x];
                // NaN falls through to 0.
                row[x] = v >= 255.0f ? uint8_t{255} : v > 0.0f ? static_cast<uint8_t>(static_cast<int32_t>(v)) : 0;
            }
        }
    } else {
        const int32_t maxInt = (1 << target.bitsPerComponent) - 1;
        const float maxValue = static_cast<float>(maxInt);
        uint16_t* base = reinterpret_cast<uint16_t*>(target.data);
        for (int32_t y = 0; y < target.height; y++) {
            uint16_t* row = base + static_cast<size_t>(y) * static_cast<size_t>(target.stride / 2);
            const float* in = plane + static_cast<size_t>(y) * w;
            for (size_t x = 0; x < w; x++) {
                const float v = in[x];
                row[x] = v >= maxValue ? static_cast<uint16_t>(maxInt)
                         : v > 0.0f    ? static_cast<uint16_t>(static_cast<int32_t>(v))
                                       : uint16_t{0};
            }
        }
    }
}

uint8_t ApplySmartContrast(SQmPicBuf& result, ContrastPyramid& pyramid, const int32_t lod[kLodCount]) {
    if (result.components != static_cast<int32_t>(pyramid.componentCount) ||
        result.bitsPerComponent != pyramid.bitsPerComponent || result.width != pyramid.width ||
        result.height != pyramid.height) {
        return 1;
    }
    if (!pyramid.Renderable() || !result.data)
        return 1;
    if (pyramid.componentCount == 1)
        return pyramid.Render(result, lod, 0);

    SQmPicBuf temp;
    CQmPicBufAPI::Init(temp);
    if (CQmPicBufAPI::ReinitHeap(temp, result.width, result.height, 1, result.bitsPerComponent) != 0) {
        CQmPicBufAPI::DoneHeap(temp);
        return 1;
    }
    uint8_t failed = 0;
    for (uint32_t i = 0; i < pyramid.componentCount && i < kContrastComponents; i++) {
        if (pyramid.Render(temp, lod, i) != 0) {
            failed = 1;
            break;
        }
        CQmPicBufAPI::InsertComponent(result, i, temp);
    }
    CQmPicBufAPI::DoneHeap(temp);
    return failed;
}
