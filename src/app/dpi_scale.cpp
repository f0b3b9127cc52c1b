#include "app/dpi_scale.h"

int ScaleToDpi(int value, unsigned dpi) {
    if (dpi == 0)
        dpi = 96;
    const long long scaled = static_cast<long long>(value) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}

int ToolbarStripPercent(unsigned dpi) {
    if (dpi == 0 || dpi <= 120)
        return 100;  // up to 125 %: the 23-pixel strip
    return dpi <= 168 ? 150 : 200;
}
