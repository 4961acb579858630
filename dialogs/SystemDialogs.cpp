#include "SystemDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>

#include "settings/SystemServices.h"

namespace vigil {

std::optional<QString> BrowseForFolder(QWidget* owner, const QString& title) {
  QString dir = QFileDialog::getExistingDirectory(owner, title);
  if (dir.isEmpty()) return std::nullopt;
  return NormalizeFolder(dir);
}

void ShowFileProperties(QWidget* owner, const QString& file) {
  QFileInfo info(file);
  QDialog dlg(owner);
  dlg.setWindowTitle(info.fileName() + QStringLiteral(" 属性"));
  auto* form = new QFormLayout;
  const QLocale locale;
  auto addRow = [&](const char* label, const QString& value) {
    auto* v = new QLabel(value);
    v->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QString::fromUtf8(label), v);
  };
  addRow("名称:", info.fileName());
  addRow("位置:", info.absolutePath());
  addRow("类型:", QMimeDatabase().mimeTypeForFile(info).comment());
  addRow("大小:", QStringLiteral("%1 (%2 字节)")
                      .arg(locale.formattedDataSize(info.size()))
                      .arg(info.size()));
  addRow("创建时间:", locale.toString(info.birthTime().isValid() ? info.birthTime()
                                                                  : info.metadataChangeTime(),
                                      QLocale::LongFormat));
  addRow("修改时间:", locale.toString(info.lastModified(), QLocale::LongFormat));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dlg);
  layout->addLayout(form);
  layout->addWidget(buttons);
  dlg.exec();
}

}  // namespace vigil
