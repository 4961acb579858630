#include "app/ChannelView.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "app/ViewLayout.h"
#include "platform/capture/Grabber.h"

namespace vigil {

namespace {
const QColor kOutline(185, 212, 214);
constexpr int kMessageMs = 15000;
}

TChannelView::TChannelView(int channel, capture::Grabber* grabber, bool outline, QWidget* parent)
    : QWidget(parent), channel_(channel), grabber_(grabber), outline_(outline) {
  setObjectName(QStringLiteral("View%1").arg(channel));
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (grabber_) connect(grabber_, &capture::Grabber::FrameReady, this, [this] { update(); });
}

QRect TChannelView::PictureArea() const { return outline_ ? PictureRect(rect()) : rect(); }

void TChannelView::SetStatusText(const QString& text) {
  if (text == status_) return;
  status_ = text;
  update();
}

void TChannelView::ShowMessage(const QString& text) {
  message_ = text;
  update();
  QTimer::singleShot(kMessageMs, this, [this, text] {
    if (message_ != text) return;
    message_.clear();
    update();
  });
}

void TChannelView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (outline_) {
    p.setPen(kOutline);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  const QRect area = PictureArea();
  // Taking the frame also re-arms the grabber's next FrameReady.
  capture::ConstFramePtr frame = grabber_ ? grabber_->LatestFrame() : nullptr;
  if (frame && frame->width > 0) {
    const QImage image(frame->data(), frame->width, frame->height, frame->stride(), QImage::Format_BGR888);
    p.drawImage(area, image);
    ++painted_;
  }
  const QString text = status_.isEmpty() ? message_ : message_.isEmpty() ? status_ : status_ + '\n' + message_;
  if (!text.isEmpty()) {
    p.setPen(QColor(255, 80, 80));
    p.drawText(area.adjusted(6, 6, -6, -6), Qt::AlignCenter | Qt::TextWordWrap, text);
  }
}

void TChannelView::mousePressEvent(QMouseEvent* e) {
  emit Pressed(channel_);
  QWidget::mousePressEvent(e);
}

void TChannelView::mouseDoubleClickEvent(QMouseEvent*) { emit DoubleClicked(channel_); }

void TChannelView::keyPressEvent(QKeyEvent* e) {
  // Escape leaves the full-screen picture as a double click does.
  if (e->key() == Qt::Key_Escape && isWindow())
    emit DoubleClicked(channel_);
  else
    QWidget::keyPressEvent(e);
}

}  // namespace vigil
