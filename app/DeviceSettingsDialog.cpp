#include "app/DeviceSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/capture/V4l2Controls.h"
#include "settings/DebugLog.h"

namespace vigil {

using capture::V4l2Control;

TDeviceSettingsDialog::TDeviceSettingsDialog(int channel, const capture::SourceInfo& source, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("frmDeviceSettings"));
  setWindowTitle(QStringLiteral("数据源设置 - 镜头%1 %2").arg(channel).arg(source.title));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  if (source.kind != capture::SourceKind::V4l2) {
    message_ = QStringLiteral("视频源“%1”不是采集设备，没有可调的设备参数。").arg(source.title);
  } else {
    QString error;
    device_ = capture::V4l2Device::Open(source.location, error);
    if (!device_)
      message_ = QStringLiteral("无法打开设备 %1：%2").arg(QString::fromStdString(source.location), error);
    else
      AddControls(form);
  }
  if (!message_.isEmpty()) {
    auto* label = new QLabel(message_, this);
    label->setObjectName(QStringLiteral("lblMessage"));
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭(&C)"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

TDeviceSettingsDialog::~TDeviceSettingsDialog() = default;

void TDeviceSettingsDialog::AddControls(QFormLayout* form) {
  QString error;
  const std::vector<V4l2Control> controls = device_->Controls(error);
  if (controls.empty()) {
    message_ = error.isEmpty() ? QStringLiteral("此设备没有可调的参数。") : error;
    return;
  }
  for (const V4l2Control& c : controls) {
    QWidget* editor = nullptr;
    const uint32_t id = c.id;
    switch (c.kind) {
      case V4l2Control::Kind::Integer: {
        auto* row = new QWidget(this);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        auto* slider = new QSlider(Qt::Horizontal, row);
        auto* spin = new QSpinBox(row);
        slider->setRange(c.minimum, c.maximum);
        slider->setSingleStep(c.step);
        spin->setRange(c.minimum, c.maximum);
        spin->setSingleStep(c.step);
        slider->setValue(c.value);
        spin->setValue(c.value);
        connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        connect(spin, &QSpinBox::valueChanged, slider, &QSlider::setValue);
        connect(spin, &QSpinBox::valueChanged, this, [this, id](int v) { Apply(id, v); });
        h->addWidget(slider, 1);
        h->addWidget(spin);
        editor = row;
        break;
      }
      case V4l2Control::Kind::Boolean: {
        auto* box = new QCheckBox(this);
        box->setChecked(c.value != 0);
        connect(box, &QCheckBox::toggled, this, [this, id](bool on) { Apply(id, on ? 1 : 0); });
        editor = box;
        break;
      }
      case V4l2Control::Kind::Menu: {
        auto* combo = new QComboBox(this);
        for (const auto& [value, text] : c.menu) {
          combo->addItem(text, value);
          if (value == c.value) combo->setCurrentIndex(combo->count() - 1);
        }
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, id, combo](int i) { Apply(id, combo->itemData(i).toInt()); });
        editor = combo;
        break;
      }
      case V4l2Control::Kind::Button: {
        auto* button = new QPushButton(QStringLiteral("执行"), this);
        connect(button, &QPushButton::clicked, this, [this, id] { Apply(id, 1); });
        editor = button;
        break;
      }
    }
    editor->setEnabled(!c.readOnly);
    form->addRow(c.name + QStringLiteral("："), editor);
  }
}

void TDeviceSettingsDialog::Apply(uint32_t id, int32_t value) {
  QString error;
  if (!device_->Set(id, value, error)) DebugLog.Write(QStringLiteral("设备参数设置失败：") + error);
}

}  // namespace vigil
