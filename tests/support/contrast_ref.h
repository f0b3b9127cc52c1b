// Plain scalar Smart Contrast: decomposition, collapse and store written step by step; the oracle for
// the production pyramid and any faster render.
#pragma once

#include <cstdint>
#include <vector>

#include "contrast/contrast_pyramid.h"
#include "imaging/pic_buf.h"

struct RefContrastLevels {
    uint32_t levelCount = 0;
    std::vector<int32_t> width, height;             // levels 0 .. L
    std::vector<std::vector<float>> gauss, detail;  // gauss 0 .. L, detail 0 .. L - 1
};

// Decomposes component c of an interleaved 8- or 16-bit picture (read sample by sample).
RefContrastLevels RefBuildComponent(const SQmPicBuf& source, uint32_t component, uint32_t levelCount);
// Collapse with gains lod[k] / 10; returns the level 0 reconstruction.
std::vector<float> RefCollapse(const RefContrastLevels& levels, const int32_t* lod);
// Clamp and truncate into a one-component picture.
void RefStoreFloatPlane(SQmPicBuf& target, const float* plane);
// Renders one component from a built pyramid's top level and detail bands, leaving the pyramid as it is.
void RefRender(const ContrastPyramid& pyramid, SQmPicBuf& target, const int32_t* lod, uint32_t component);
