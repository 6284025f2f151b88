#include "uimodel/ResizeRules.h"

#include <cmath>

namespace {
int Moved(int edge, double fraction, int change) {
  return edge + static_cast<int>(std::lround(fraction * change));
}
}  // namespace

MarkupRect ResizedRect(const MarkupRect& original, const ResizeFractions& f, int dw, int dh) {
  return {Moved(original.left, f.left, dw), Moved(original.top, f.top, dh), Moved(original.right, f.right, dw),
          Moved(original.bottom, f.bottom, dh)};
}
