#include "SystemMessage.h"

#include <QMessageBox>
#include <QPushButton>

namespace vigil {

void ShowSystemMessage(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Information, QString::fromUtf8(kMessageCaption), text,
                  QMessageBox::Ok, owner);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.exec();
}

bool ConfirmMessage(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Information, caption, text,
                  QMessageBox::Ok | QMessageBox::Cancel, owner);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
  return box.exec() == QMessageBox::Ok;
}

}  // namespace vigil
