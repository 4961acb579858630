// The device settings dialog of a channel: the controls its V4L2 device offers, changed
// live on the device. Other sources (files, streams, virtual cameras) have none.
#pragma once

#include <QDialog>
#include <memory>

#include "platform/capture/Sources.h"

class QFormLayout;

namespace vigil {

namespace capture {
class V4l2Device;
}

class TDeviceSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  TDeviceSettingsDialog(int channel, const capture::SourceInfo& source, QWidget* parent = nullptr);
  ~TDeviceSettingsDialog() override;
  // What the dialog says instead of controls (empty when it shows controls).
  QString Message() const { return message_; }

 private:
  void AddControls(QFormLayout* form);
  void Apply(uint32_t id, int32_t value);

  std::unique_ptr<capture::V4l2Device> device_;
  QString message_;
};

}  // namespace vigil
