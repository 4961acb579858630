// The password prompt before a protected command, and the change-password dialog of the
// system options. The one protection password is kept and compared in plain text.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace vigil {

// "密码保护": closes with Accepted only when the trimmed entry equals the password.
class TfrmPswd : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmPswd(const QString& password, QWidget* parent = nullptr);

  QLineEdit* edtPswd = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void btnOKClick();
  QString password_;
};

// Shows the prompt for Option.Password, modal and without owner; true when it closed with
// the right password.
bool AskPassword();

// "修改密码": checks the old password and that the new one was typed twice alike; the
// caller reads NewPassword() after Accepted and stores it.
class TfrmChangePswd : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmChangePswd(const QString& storedPassword, QWidget* parent = nullptr);

  QString NewPassword() const;

  QLineEdit* edtOldPswd = nullptr;
  QLineEdit* edtNewPswd = nullptr;
  QLineEdit* edtNewConfirm = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void btnOKClick();
  QString stored_;
};

}  // namespace vigil
