// The password prompt and the change-password dialog: what they accept, what they say.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "AppTestSupport.h"
#include "dialogs/PasswordDialogs.h"

namespace vigil {
namespace {

class PasswordDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { test::TestApp(); }
};

TEST_F(PasswordDialogsTest, PromptAcceptsTheTrimmedPasswordExactly) {
  const struct {
    const char *stored, *typed;
    bool accepted;
  } cases[] = {
      {"", "", true},          {"", "   ", true},         {"abc", " abc", true},
      {"abc", "abc\t ", true}, {"abc", "ABC", false},     {"abc", "ab", false},
      {"a b", "a b", true},    {"a b", "ab", false},      {"密码", "密码", true},
      {"密码", "", false},      {"", "x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " / " + c.typed);
    TfrmPswd dialog(QString::fromUtf8(c.stored));
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("密码保护"));
    EXPECT_EQ(dialog.edtPswd->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.btnOK->isDefault());
    dialog.edtPswd->setText(QString::fromUtf8(c.typed));
    dialog.btnOK->click();
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
    EXPECT_EQ(dialog.isVisible(), !c.accepted) << "a wrong entry asks again";
    if (!c.accepted) EXPECT_EQ(dialog.edtPswd->text(), QString::fromUtf8(c.typed)) << "and keeps the entry";
  }
}

TEST_F(PasswordDialogsTest, PromptCancelEndsWithoutPassword) {
  TfrmPswd dialog(QStringLiteral("x"));
  dialog.show();
  dialog.edtPswd->setText(QStringLiteral("x"));
  dialog.btnCancel->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(PasswordDialogsTest, ChangeDialogChecksOldPasswordThenTheRepeat) {
  const struct {
    const char *stored, *old, *fresh, *confirm;
    const char* message;  // empty: closes with OK
    const char* focus;
    const char* result;
  } cases[] = {
      {"old", "old", "new", "new", "", nullptr, "new"},
      {"old", " old ", " new", "new ", "", nullptr, "new"},
      {"old", "old", "", "", "", nullptr, ""},
      {"", "", "new", "new", "", nullptr, "new"},
      {"old", "Old", "new", "new", "旧密码不符！", "edtOldPswd", nullptr},
      {"old", "", "new", "new", "旧密码不符！", "edtOldPswd", nullptr},
      {"old", "old", "new", "neu", "两次输入的新密码不一致！", "edtNewPswd", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.old) + " / " + c.fresh + " / " + c.confirm);
    TfrmChangePswd dialog(QString::fromUtf8(c.stored));
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("修改密码"));
    dialog.edtOldPswd->setText(QString::fromUtf8(c.old));
    dialog.edtNewPswd->setText(QString::fromUtf8(c.fresh));
    dialog.edtNewConfirm->setText(QString::fromUtf8(c.confirm));
    test::ModalAnswerer answers;
    QString said;
    if (*c.message) answers.Expect(test::PressMessageButton(QStringLiteral("确定"), &said));
    dialog.btnOK->click();
    EXPECT_EQ(answers.Unexpected(), 0);
    EXPECT_TRUE(answers.AllAnswered());
    if (!*c.message) {
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_EQ(dialog.NewPassword(), QString::fromUtf8(c.result));
      continue;
    }
    EXPECT_EQ(said, QStringLiteral("系统提示|") + QString::fromUtf8(c.message));
    EXPECT_TRUE(dialog.isVisible());
    QWidget* focus = dialog.focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->objectName(), QString::fromLatin1(c.focus));
  }
}

}  // namespace
}  // namespace vigil
