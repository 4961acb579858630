// What the capture thread draws into every frame: the text overlay (with the running time
// put in for its placeholder) and the alarm frame.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include "platform/DateTime.h"
#include "platform/capture/Frame.h"

namespace vigil::capture {

struct TextOverlay {
  bool enabled = false;
  // "%sys_time[PATTERN]%" is replaced in every frame by the local time in PATTERN; lines
  // are separated by "\r\n" or "\n".
  QString text;
  QString font = QStringLiteral("Sans");
  int point_size = 20;
  int colour_bgr = 39423;  // 0x00BBGGRR, orange by default
  int right = 635;         // x of the text's right edge in picture pixels
  int top = 5;
};

// Text with the time placeholder replaced by `now`.
QString ExpandOverlayText(const QString& text, TDateTime now);

// A text rendered once and blended into many frames: rendering happens again only when the
// text or its look changes (once a second for a clock).
class TextStamp {
 public:
  enum class Align { Left, Right };
  void Set(const QString& text, const QString& font, int pointSize, int colourBgr, bool bold = true);
  // x is the left edge (Align::Left) or the right edge (Align::Right).
  void Draw(Frame& frame, int x, int top, Align align) const;
  const QImage& image() const { return image_; }

 private:
  QString text_, font_;
  int pointSize_ = 0, colour_ = -1;
  bool bold_ = true;
  QImage image_;  // premultiplied ARGB32
};

// The red alarm rectangle, 2 pixels wide, clipped to the picture.
void DrawAlarmFrame(Frame& frame, const QRect& rect);

}  // namespace vigil::capture
