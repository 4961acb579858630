#include "app/ViewLayout.h"

#include <algorithm>

namespace vigil {

int ViewCount(int splitMode) {
  static constexpr int kCounts[] = {1, 4, 6, 9};
  return kCounts[std::clamp(splitMode, 0, 3)];
}

QRect ViewCell(int splitMode, int i, QSize area) {
  const int W = area.width(), H = area.height();
  int columns = 1, rows = 1;
  switch (ViewCount(splitMode)) {
    case 4: columns = 2, rows = 2; break;
    case 6: columns = 3, rows = 2; break;
    case 9: columns = 3, rows = 3; break;
    default: break;
  }
  const int w = W / columns, h = H / rows;
  return QRect((i - 1) % columns * w, (i - 1) / columns * h, w, h);
}

}  // namespace vigil
