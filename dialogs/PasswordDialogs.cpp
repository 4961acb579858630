#include "PasswordDialogs.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/SystemMessage.h"
#include "settings/Options.h"

namespace vigil {
namespace {

QLineEdit* maskedEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setEchoMode(QLineEdit::Password);
  edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));  // '*'
  return edit;
}

// "确认(&O)" as the default button (Enter presses it) and "取消(&C)" closing with Rejected.
QHBoxLayout* okCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
  ok = new QPushButton(QStringLiteral("确认(&O)"), dialog);
  ok->setObjectName(QStringLiteral("btnOK"));
  ok->setDefault(true);
  cancel = new QPushButton(QStringLiteral("取消(&C)"), dialog);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

}  // namespace

TfrmPswd::TfrmPswd(const QString& password, QWidget* parent)
    : QDialog(parent), password_(password) {
  setObjectName(QStringLiteral("frmPswd"));
  setWindowTitle(QStringLiteral("密码保护"));
  edtPswd = maskedEdit(this, "edtPswd");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("请输入密码："), this));
  layout->addWidget(edtPswd);
  layout->addLayout(okCancelRow(this, btnOK, btnCancel));
  connect(btnOK, &QPushButton::clicked, this, &TfrmPswd::btnOKClick);
  edtPswd->setFocus();
}

void TfrmPswd::btnOKClick() {
  if (edtPswd->text().trimmed() == password_) {
    accept();
    return;
  }
  // A wrong entry is kept so it can be corrected; the prompt asks again.
  edtPswd->setFocus();
}

bool AskPassword() {
  TfrmPswd dialog(Option.Password);
  return dialog.exec() == QDialog::Accepted;
}

TfrmChangePswd::TfrmChangePswd(const QString& storedPassword, QWidget* parent)
    : QDialog(parent), stored_(storedPassword) {
  setObjectName(QStringLiteral("frmChangePswd"));
  setWindowTitle(QStringLiteral("修改密码"));
  edtOldPswd = maskedEdit(this, "edtOldPswd");
  edtNewPswd = maskedEdit(this, "edtNewPswd");
  edtNewConfirm = maskedEdit(this, "edtNewConfirm");
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("旧密码："), edtOldPswd);
  form->addRow(QStringLiteral("新密码："), edtNewPswd);
  form->addRow(QStringLiteral("确认新密码："), edtNewConfirm);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(okCancelRow(this, btnOK, btnCancel));
  connect(btnOK, &QPushButton::clicked, this, &TfrmChangePswd::btnOKClick);
  edtOldPswd->setFocus();
}

QString TfrmChangePswd::NewPassword() const { return edtNewPswd->text().trimmed(); }

void TfrmChangePswd::btnOKClick() {
  if (edtOldPswd->text().trimmed() != stored_) {
    ShowSystemMessage(this, QStringLiteral("旧密码不符！"));
    edtOldPswd->setFocus();
    return;
  }
  if (edtNewPswd->text().trimmed() != edtNewConfirm->text().trimmed()) {
    ShowSystemMessage(this, QStringLiteral("两次输入的新密码不一致！"));
    edtNewPswd->setFocus();
    return;
  }
  accept();
}

}  // namespace vigil
