// The file-properties sheet shows what the recording browser's user asks about.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>

#include "AppTestSupport.h"
#include "TempHome.h"
#include "dialogs/SystemDialogs.h"

namespace vigil {
namespace {

TEST(SystemDialogs, FilePropertiesShowNameFolderAndSize) {
  test::TestApp();
  test::TempHome home;
  const auto file = home / "080409(3).AVI";
  test::WriteFile(file, std::string(1234, 'x'));
  test::ModalAnswerer answerer;
  QStringList texts;
  answerer.Expect([&](QWidget* dialog) {
    for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
    qobject_cast<QDialog*>(dialog)->accept();
  });
  ShowFileProperties(nullptr, QString::fromStdString(file.string()));
  EXPECT_EQ(answerer.Answered(), 1);
  const QString all = texts.join(QLatin1Char('\n'));
  EXPECT_TRUE(all.contains(QStringLiteral("080409(3).AVI"))) << all.toStdString();
  EXPECT_TRUE(all.contains(QString::fromStdString(home.path().string()))) << all.toStdString();
  EXPECT_TRUE(all.contains(QStringLiteral("1234 字节"))) << all.toStdString();
}

}  // namespace
}  // namespace vigil
