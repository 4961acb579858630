// The controller in one process: the password guard of every protected command, the
// notifications 2024-2030, the start-up order and boss mode.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QToolButton>

#include "AppTestSupport.h"
#include "TempHome.h"
#include "app/MainForm.h"
#include "app/StationState.h"
#include "settings/Options.h"

namespace vigil {
namespace {

using test::ModalAnswerer;

// Counts what the controller asks of its facets.
struct Calls {
  int start = 0, stop = 0, layout = 0;
  std::vector<TNotification> notified;
  std::vector<TCreateStage> created;
  std::vector<TDestroyStage> destroyed;
};

class RecordingFacet : public TMainFacet {
 public:
  RecordingFacet(TfrmMain& main, Calls& calls) : TMainFacet(main), calls_(calls) {}
  void FormCreate(TCreateStage s) override {
    calls_.created.push_back(s);
    if (s == TCreateStage::PublicAddress) throw std::runtime_error("no route");
  }
  void FormDestroy(TDestroyStage s) override { calls_.destroyed.push_back(s); }
  void StartMonitoring() override { ++calls_.start; }
  void StopMonitoring() override { ++calls_.stop; }
  void LayoutViews() override { ++calls_.layout; }
  void Notified(TNotification n) override { calls_.notified.push_back(n); }

 private:
  Calls& calls_;
};

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    test::WriteConfig(home_.path(), [](TOption& o) { o.WindowTitle = QStringLiteral("测试站"); });
    Make();
  }

  void Make() {
    form_.reset();
    calls_ = {};
    form_ = std::make_unique<TfrmMain>(TStartOptions{}, [this](TfrmMain& m) {
      TFacetList list;
      list.push_back(std::make_unique<RecordingFacet>(m, calls_));
      return list;
    });
    for (TCommand c : {TCommand::PlayBack, TCommand::SystemOptions, TCommand::AlarmSettings,
                       TCommand::NetSettings, TCommand::SetupWizard})
      form_->SetCommand(c, [this, c] { ++ran_[c]; });
    form_->show();
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    form_.reset();
    QCoreApplication::processEvents();
  }

  test::TempHome home_;
  Calls calls_;
  std::map<TCommand, int> ran_;
  std::unique_ptr<TfrmMain> form_;
};

// One protected command: how to run it and how to see that it was done.
struct Guarded {
  const char* name;
  bool TOption::*flag;
  std::function<void(TfrmMain&)> run;
  std::function<bool(TfrmMain&, const Calls&, const std::map<TCommand, int>&)> done;
  bool needsMonitoring = false;
  bool confirms = false;  // a confirmation box follows the password
};

std::vector<Guarded> guardedCommands() {
  auto command = [](TCommand c) {
    return [c](TfrmMain&, const Calls&, const std::map<TCommand, int>& ran) { return ran.count(c) && ran.at(c) == 1; };
  };
  return {
      {"start", &TOption::ProtectStart, [](TfrmMain& m) { m.btnStart->click(); },
       [](TfrmMain& m, const Calls& c, auto&) { return m.Monitoring() && c.start == 1; }},
      {"start by notification 2024", &TOption::ProtectStart,
       [](TfrmMain&) { PostNotification(WM_START_MONITORING); },
       [](TfrmMain& m, const Calls& c, auto&) { return m.Monitoring() && c.start == 1; }},
      {"stop", &TOption::ProtectStop, [](TfrmMain& m) { m.btnStop->click(); },
       [](TfrmMain& m, const Calls& c, auto&) { return !m.Monitoring() && c.stop == 1; }, true},
      {"system options", &TOption::ProtectOptions, [](TfrmMain& m) { m.btnSystemSet->click(); },
       command(TCommand::SystemOptions)},
      {"alarm settings", &TOption::ProtectOptions, [](TfrmMain& m) { m.btnAlarmSet->click(); },
       command(TCommand::AlarmSettings)},
      {"remote settings", &TOption::ProtectOptions, [](TfrmMain& m) { m.btnNetSet->click(); },
       command(TCommand::NetSettings)},
      {"recording browser", &TOption::ProtectView, [](TfrmMain& m) { m.btnPlayBack->click(); },
       command(TCommand::PlayBack)},
      {"exit", &TOption::ProtectExit, [](TfrmMain& m) { m.close(); },
       [](TfrmMain& m, auto&, auto&) { return !m.isVisible(); }, false, true},
  };
}

enum class Guard { PasswordOff, FlagOff, RightPassword, WrongPassword, Cancelled };

TEST_F(MainFormTest, EachProtectedCommandRunsOnlyPastItsGuard) {
  const struct {
    Guard guard;
    bool prompt, done;
  } cases[] = {
      {Guard::PasswordOff, false, true},    {Guard::FlagOff, false, true},
      {Guard::RightPassword, true, true},   {Guard::WrongPassword, true, false},
      {Guard::Cancelled, true, false},
  };
  for (const Guarded& g : guardedCommands()) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(g.name) + " / case " + std::to_string(static_cast<int>(c.guard)));
      Make();
      ran_.clear();
      if (g.needsMonitoring) {
        Option.UsePassword = false;
        form_->btnStartClick();
        calls_.start = 0;
      }
      Option.UsePassword = c.guard != Guard::PasswordOff;
      Option.Password = QStringLiteral("Secret 1");
      for (bool TOption::*f : {&TOption::ProtectStart, &TOption::ProtectStop, &TOption::ProtectOptions,
                               &TOption::ProtectView, &TOption::ProtectExit})
        Option.*f = true;
      Option.*g.flag = c.guard != Guard::FlagOff;

      ModalAnswerer answers;
      bool keptWrongEntry = false;
      if (c.prompt) {
        if (c.guard == Guard::RightPassword) answers.Expect(test::TypePassword(QStringLiteral("  Secret 1 ")));
        if (c.guard == Guard::WrongPassword) answers.Expect(test::TypePassword(QStringLiteral("secret 1"), &keptWrongEntry));
        if (c.guard == Guard::Cancelled)
          answers.Expect([](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); });
      }
      QString confirmText;
      if (g.confirms && c.done) answers.Expect(test::PressMessageButton(QStringLiteral("确定"), &confirmText));

      g.run(*form_);
      test::WaitFor([&] { return answers.AllAnswered(); }, 5000);
      QCoreApplication::processEvents();

      EXPECT_EQ(g.done(*form_, calls_, ran_), c.done);
      EXPECT_EQ(answers.Unexpected(), 0);
      EXPECT_TRUE(answers.AllAnswered());
      if (c.prompt) {
        ASSERT_FALSE(answers.Titles().isEmpty());
        EXPECT_EQ(answers.Titles().first(), QStringLiteral("密码保护"));
      }
      if (c.guard == Guard::WrongPassword) EXPECT_TRUE(keptWrongEntry) << "the prompt stays open with the entry";
      if (g.confirms && c.done) EXPECT_EQ(confirmText, QStringLiteral("退出系统|本操作将退出《测试站》！"));
    }
  }
}

TEST_F(MainFormTest, ExitAsksForConfirmationAndCancelKeepsTheWindow) {
  Option.UsePassword = false;
  ModalAnswerer answers;
  answers.Expect(test::PressMessageButton(QStringLiteral("取消")));
  form_->close();
  EXPECT_TRUE(test::WaitFor([&] { return answers.AllAnswered(); }));
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(MainFormTest, NotificationsReachTheirHandlers) {
  Option.UsePassword = false;
  struct Case {
    TNotification n;
    std::function<void()> before;
    std::function<bool()> handled;
  };
  const std::vector<Case> cases = {
      {WM_START_MONITORING, [] {}, [&] { return form_->Monitoring() && calls_.start == 1; }},
      {WM_ACTIVATE_INSTANCE, [&] { form_->showMinimized(); },
       [&] { return form_->isVisible() && !form_->isMinimized(); }},
      {WM_SHOW_GUIDE, [] {}, [&] { return ran_[TCommand::SetupWizard] == 1; }},
      // The boss key is off now: the old key is let go.
      {WM_HOTKEY_CHANGED, [&] { Option.UseBossKey = false; form_->HotKeyId = 7; },
       [&] { return form_->HotKeyId == 0; }},
      {WM_ALARM_SETTINGS_CHANGED, [] {},
       [&] { return calls_.notified == std::vector{WM_ALARM_SETTINGS_CHANGED}; }},
      // Restarts monitoring when it runs ...
      {WM_CAPTURE_SETTINGS_CHANGED, [&] { form_->btnStartClick(); calls_.start = 0; },
       [&] { return form_->Monitoring() && calls_.stop == 1 && calls_.start == 1; }},
      {WM_VIDEO_SIZE_CHANGED, [] {},
       [&] { return calls_.notified == std::vector{WM_VIDEO_SIZE_CHANGED}; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.n));
    Make();
    ran_.clear();
    Option.UsePassword = false;
    c.before();
    ASSERT_TRUE(PostNotification(c.n));
    EXPECT_TRUE(test::WaitFor(c.handled, 3000));
  }
  // ... and does nothing when it does not.
  Make();
  PostNotification(WM_CAPTURE_SETTINGS_CHANGED);
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_->Monitoring());
  EXPECT_EQ(calls_.start + calls_.stop, 0);
}

TEST_F(MainFormTest, StartUpRunsFacetsInOrderAndSurvivesAFailingStep) {
  // The facet throws at PublicAddress: logged, the later stages still run.
  EXPECT_EQ(calls_.created, (std::vector{TCreateStage::NetData, TCreateStage::Views, TCreateStage::Settings,
                                          TCreateStage::Services, TCreateStage::PublicAddress,
                                          TCreateStage::Network}));
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("测试站"));
  EXPECT_EQ(form_->size(), QSize(732, 600));
  EXPECT_EQ(form_->SplitMode, 1);
  EXPECT_EQ(form_->pnlToolbar->height(), 48);
  EXPECT_TRUE(form_->btnStart->isEnabled());
  EXPECT_FALSE(form_->btnStop->isEnabled());
  form_.reset();
  EXPECT_EQ(calls_.destroyed,
            (std::vector{TDestroyStage::Services, TDestroyStage::Views, TDestroyStage::Network}));
}

TEST_F(MainFormTest, ToolbarHasEightPictureButtonsWithTheirHints) {
  const std::vector<std::pair<QToolButton*, const char*>> buttons = {
      {form_->btnStart, "开始监控"},    {form_->btnStop, "停止监控"},
      {form_->btnPlayBack, "查找/回放录像"}, {form_->btnFullScreen, "全屏显示"},
      {form_->btnSystemSet, "系统设置"}, {form_->btnAlarmSet, "警报设置"},
      {form_->btnNetSet, "远程连接设置"}, {form_->btnPhoto, "连续拍照"}};
  int left = -1;
  for (auto [button, hint] : buttons) {
    EXPECT_EQ(button->toolTip(), QString::fromUtf8(hint));
    EXPECT_FALSE(button->icon().isNull()) << hint;
    EXPECT_FALSE(button->icon().pixmap(28, 28).isNull()) << hint;
    EXPECT_EQ(button->size(), QSize(41, 36));
    EXPECT_GT(button->x(), left) << "left to right in this order";
    left = button->x();
  }
}

TEST_F(MainFormTest, FirstRunOpensTheWizardAndNeitherBossModeNorMonitoring) {
  test::WriteConfig(home_.path(), [](TOption& o) {
    o.FirstRun = true;
    o.BossModeAtStart = true;
    o.MonitorAtStart = true;
    o.UsePassword = false;
  });
  Make();
  EXPECT_TRUE(test::WaitFor([&] { return ran_[TCommand::SetupWizard] == 1; }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_->BossMode);
  EXPECT_FALSE(form_->Monitoring());
}

TEST_F(MainFormTest, BossModeAtStartHidesAndMonitorsAndANewStartBringsItBackWithoutHotKey) {
  test::WriteConfig(home_.path(), [](TOption& o) {
    o.BossModeAtStart = true;
    o.MonitorAtStart = true;
    o.UsePassword = false;
  });
  Make();
  EXPECT_TRUE(test::WaitFor([&] { return form_->BossMode && form_->Monitoring(); }));
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->trayIcon->isVisible());
  // No hot key exists here (no X11 display), so nothing else could show it again.
  PostNotification(WM_ACTIVATE_INSTANCE);
  EXPECT_TRUE(test::WaitFor([&] { return !form_->BossMode && form_->isVisible(); }));
  EXPECT_TRUE(form_->trayIcon->isVisible());
  EXPECT_TRUE(form_->Monitoring()) << "monitoring goes on through boss mode";
}

TEST_F(MainFormTest, BossModeKeepsAnOpenDialogOpenAndBringsItBack) {
  QDialog dialog(form_.get());
  bool inExec = false, hidden = false, stillInExec = false, shownAgain = false, secondRan = false;
  // Both presses happen inside the dialog's own loop, as they would for a user.
  QTimer::singleShot(20, [&] {
    form_->OnBossHotKey(form_->HotKeyId);
    hidden = form_->BossMode && !dialog.isVisible() && !form_->isVisible();
    QTimer::singleShot(20, [&] {
      secondRan = true;
      stillInExec = inExec;
      form_->OnBossHotKey(form_->HotKeyId);
      shownAgain = !form_->BossMode && dialog.isVisible() && form_->isVisible();
      dialog.accept();
    });
  });
  inExec = true;
  const int result = dialog.exec();
  inExec = false;
  ASSERT_TRUE(test::WaitFor([&] { return secondRan; }));
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(stillInExec) << "hiding must not end the dialog";
  EXPECT_TRUE(shownAgain);
  EXPECT_EQ(result, QDialog::Accepted);
}

TEST_F(MainFormTest, SessionMayEndOnlyWithExitOptionOne) {
  for (auto [option, mayEnd] : {std::pair{1, true}, std::pair{2, false}, std::pair{3, false}}) {
    Option.ExitOption = option;
    EXPECT_EQ(form_->QueryEndSession(), mayEnd) << option;
  }
}

TEST_F(MainFormTest, QueuesAndCountersStartEmpty) {
  FtpQueue.Add(QStringLiteral("/x/1.JPG"));
  MailCount = 3;
  Make();
  EXPECT_EQ(FtpQueue.Count(), 0);
  EXPECT_EQ(MailCount, 0);
  EXPECT_EQ(form_->lblRunTime->text(), QStringLiteral("00天00小时00分"));
  EXPECT_EQ(form_->lblSendEmail->text(), QStringLiteral("0"));
}

}  // namespace
}  // namespace vigil

namespace vigil {
namespace {

TEST_F(MainFormTest, AFolderThatCannotBeMadeIsToldByATipAndStartUpGoesOn) {
  form_.reset();
  test::WriteConfig(home_.path(), [](TOption&) {});  // no folders chosen yet
  std::filesystem::remove_all(home_ / "Image");
  test::WriteFile(home_ / "Image", "a file where the alarm-picture folder belongs");
  ModalAnswerer answerer;  // any modal box would be counted as unexpected
  Make();
  auto* tip = form_->findChild<QLabel*>(QStringLiteral("lblTip"));
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(tip->text().contains(QStringLiteral("Image")));
  EXPECT_EQ(answerer.Unexpected(), 0);
  EXPECT_FALSE(Option.PicPath.isEmpty());  // the defaults stay usable in memory
}

}  // namespace
}  // namespace vigil

namespace vigil {
namespace {

TEST_F(MainFormTest, ACommandThisBuildLacksSaysSoWithoutAskingForThePassword) {
  Option.UsePassword = true;
  Option.Password = QStringLiteral("secret");
  Option.ProtectView = true;
  form_->SetCommand(TCommand::PlayBack, {});
  ModalAnswerer answerer;  // a password prompt would be counted as unexpected
  form_->RunCommand(TCommand::PlayBack);
  QCoreApplication::processEvents();
  EXPECT_EQ(answerer.Unexpected(), 0);
  auto* tip = form_->findChild<QLabel*>(QStringLiteral("lblTip"));
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(tip->text().contains(QStringLiteral("尚未提供")));
  Option.UsePassword = false;
}

}  // namespace
}  // namespace vigil
