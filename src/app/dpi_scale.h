// Sizes of the main window's own controls on a screen of a given DPI (96 is 100 %). The view is not
// scaled: 100 % zoom stays one picture pixel per device pixel.
#pragma once

// value (a size at 96 DPI) at dpi, rounded to the nearest pixel; 96 when dpi is 0.
int ScaleToDpi(int value, unsigned dpi);

// Which drawing of the toolbar strips fits the DPI: 100 (23-pixel images), 150 (35) or 200 (46), the
// one nearest the scaled size.
int ToolbarStripPercent(unsigned dpi);
