// Where the channel views sit in the view area for each view count.
#pragma once

#include <QRect>
#include <QSize>

namespace vigil {

// 1, 4, 6 or 9 views for SplitMode 0..3.
int ViewCount(int splitMode);

// The cell of view i (1-based, up to ViewCount) in an area of the given size: equal
// columns and rows by integer division, filled row by row.
QRect ViewCell(int splitMode, int i, QSize area);

// The picture inside a cell: one pixel in on every side, leaving room for the outline.
inline QRect PictureRect(const QRect& cell) { return cell.adjusted(1, 1, -1, -1); }

}  // namespace vigil
