#include "platform/capture/Overlay.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <algorithm>

namespace vigil::capture {

QString ExpandOverlayText(const QString& text, TDateTime now) {
  static const QRegularExpression placeholder(QStringLiteral("%sys_time\\[([^\\]]*)\\]%"));
  QString out;
  qsizetype pos = 0;
  for (auto it = placeholder.globalMatch(text); it.hasNext();) {
    auto m = it.next();
    out += text.mid(pos, m.capturedStart() - pos);
    out += FormatDateTime(m.captured(1), now);
    pos = m.capturedEnd();
  }
  out += text.mid(pos);
  return out;
}

void TextStamp::Set(const QString& text, const QString& font, int pointSize, int colourBgr, bool bold) {
  if (text == text_ && font == font_ && pointSize == pointSize_ && colourBgr == colour_ && bold == bold_ &&
      !(image_.isNull() && !text.isEmpty()))
    return;
  text_ = text;
  font_ = font;
  pointSize_ = pointSize;
  colour_ = colourBgr;
  bold_ = bold;
  image_ = QImage();
  QString shown = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
  if (shown.trimmed().isEmpty()) return;

  QFont f(font);
  f.setPixelSize(std::max(6, pointSize * 4 / 3));  // points at 96 dots per inch
  f.setBold(bold);
  QFontMetrics fm(f);
  QRect box = fm.boundingRect(QRect(0, 0, 4096, 4096), Qt::AlignRight | Qt::AlignTop, shown);
  image_ = QImage(box.width() + 2, box.height() + 2, QImage::Format_ARGB32_Premultiplied);
  image_.fill(Qt::transparent);
  QPainter p(&image_);
  p.setFont(f);
  QRect area(0, 0, box.width(), box.height());
  // A dark shadow keeps the text readable on a bright picture.
  p.setPen(QColor(0, 0, 0, 160));
  p.drawText(area.translated(1, 1), Qt::AlignRight | Qt::AlignTop, shown);
  p.setPen(QColor(colourBgr & 0xff, (colourBgr >> 8) & 0xff, (colourBgr >> 16) & 0xff));
  p.drawText(area, Qt::AlignRight | Qt::AlignTop, shown);
}

void TextStamp::Draw(Frame& frame, int x, int top, Align align) const {
  if (image_.isNull()) return;
  int left = align == Align::Right ? x - image_.width() : x;
  int x0 = std::max(0, left), x1 = std::min(frame.width, left + image_.width());
  int y0 = std::max(0, top), y1 = std::min(frame.height, top + image_.height());
  for (int y = y0; y < y1; ++y) {
    const auto* src = reinterpret_cast<const QRgb*>(image_.constScanLine(y - top));
    uint8_t* dst = frame.row(y) + x0 * 3;
    for (int xx = x0; xx < x1; ++xx, dst += 3) {
      QRgb s = src[xx - left];
      unsigned a = qAlpha(s);
      if (a == 0) continue;
      unsigned keep = 255 - a;
      dst[0] = static_cast<uint8_t>(qBlue(s) + dst[0] * keep / 255);
      dst[1] = static_cast<uint8_t>(qGreen(s) + dst[1] * keep / 255);
      dst[2] = static_cast<uint8_t>(qRed(s) + dst[2] * keep / 255);
    }
  }
}

void DrawAlarmFrame(Frame& frame, const QRect& rect) {
  constexpr int kPen = 2;
  auto fill = [&](int left, int top, int w, int h) {
    int x0 = std::max(0, left), x1 = std::min(frame.width, left + w);
    int y0 = std::max(0, top), y1 = std::min(frame.height, top + h);
    for (int y = y0; y < y1; ++y) {
      uint8_t* p = frame.row(y) + x0 * 3;
      for (int x = x0; x < x1; ++x, p += 3) {
        p[0] = 0;
        p[1] = 0;
        p[2] = 255;
      }
    }
  };
  fill(rect.left(), rect.top(), rect.width(), kPen);
  fill(rect.left(), rect.top() + rect.height() - kPen, rect.width(), kPen);
  fill(rect.left(), rect.top(), kPen, rect.height());
  fill(rect.left() + rect.width() - kPen, rect.top(), kPen, rect.height());
}

}  // namespace vigil::capture
