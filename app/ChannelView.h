// The view of one channel: its picture, drawn from the grabber's latest-frame slot when the
// grabber says a new frame is there (so a slow window never holds the capture up), inside a
// one-pixel outline; and a line saying the channel's state while something is wrong.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace vigil {

namespace capture {
class Grabber;
}

class TChannelView : public QWidget {
  Q_OBJECT
 public:
  // `outline`: the in-grid view draws the channel's frame around its picture; the
  // full-screen view does not.
  TChannelView(int channel, capture::Grabber* grabber, bool outline, QWidget* parent = nullptr);

  int channel() const { return channel_; }
  // Where the picture goes, in this widget's coordinates.
  QRect PictureArea() const;
  // What is wrong with the channel's source, shown until it is cleared.
  void SetStatusText(const QString& text);
  QString StatusText() const { return status_; }
  // A passing message (a recording that could not start ...), shown for a while.
  void ShowMessage(const QString& text);
  QString Message() const { return message_; }
  // Frames painted so far (the preview's own count, for tests and the benchmark).
  qint64 PaintedFrames() const { return painted_; }

 signals:
  void Pressed(int channel);
  void DoubleClicked(int channel);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  const int channel_;
  QPointer<capture::Grabber> grabber_;
  const bool outline_;
  QString status_;
  QString message_;
  qint64 painted_ = 0;
};

}  // namespace vigil
