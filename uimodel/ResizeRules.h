#pragma once
// The resizable dialog's rule: each registered control's edges move by fixed
// fractions of the change in the dialog's size.

#include "uimodel/MarkupText.h"

struct ResizeFractions {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// The control's rectangle once the dialog has grown by (dw, dh) from the
// size at which the control had `original`.
MarkupRect ResizedRect(const MarkupRect& original, const ResizeFractions& fractions, int dw, int dh);

// Dialog units of "MS Shell Dlg" 8 point at 96 dots per inch, in pixels.
constexpr int DluX(int units) { return units * 3 / 2; }
constexpr int DluY(int units) { return units * 13 / 8; }
