// The boss key end to end: a station on a private Xvfb display, the key pressed with
// xdotool, the window looked up from outside. And the mapping of stored shortcuts.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <X11/keysym.h>
#include <xcb/xproto.h>

#include "AppTestSupport.h"
#include "TempHome.h"
#include "platform/GlobalHotKey.h"

namespace vigil {
namespace {

TEST(ShortcutChord, StoredShortcutsMapToX11Keys) {
  const struct {
    uint16_t shortcut;
    uint32_t keysym;
    uint16_t modifiers;
  } cases[] = {
      {0xC042, XK_b, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1},  // Ctrl+Alt+B
      {0x2070, XK_F1, XCB_MOD_MASK_SHIFT},                    // Shift+F1
      {0x4087, XK_F24, XCB_MOD_MASK_CONTROL},
      {0x0041, XK_a, 0},
      {0x005A, XK_z, 0},
      {0x4030, XK_0, XCB_MOD_MASK_CONTROL},
      {0x8060, XK_KP_0, XCB_MOD_MASK_1},
      {0xE020, XK_space, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1},
      {0x401B, XK_Escape, XCB_MOD_MASK_CONTROL},
      {0x4025, XK_Left, XCB_MOD_MASK_CONTROL},
      {0x40BD, XK_minus, XCB_MOD_MASK_CONTROL},
      {0x40DC, XK_backslash, XCB_MOD_MASK_CONTROL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shortcut);
    std::optional<X11KeyChord> chord = ChordFromShortcut(c.shortcut);
    ASSERT_TRUE(chord);
    EXPECT_EQ(chord->keysym, c.keysym);
    EXPECT_EQ(chord->modifiers, c.modifiers);
  }
  for (uint16_t none : {0x0000, 0x6000, 0x00FF, 0x4007, 0x8000 | 0xE8})
    EXPECT_FALSE(ChordFromShortcut(none)) << none;
}

struct ToolResult {
  int exitCode = -1;
  QString output;
};

ToolResult runTool(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                   int timeout_ms = 10000) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForFinished(timeout_ms)) {
    p.kill();
    p.waitForFinished();
    return {};
  }
  return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

class BossKeyOnX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    test::TestApp();
    xvfb_ = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xvfb_.isEmpty()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    if (xdotool_.isEmpty()) GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
    // -displayfd: the server picks a free display number and says it on standard output.
    server_.start(xvfb_, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp")});
    ASSERT_TRUE(test::WaitFor([&] { return server_.canReadLine() || server_.state() == QProcess::NotRunning; }, 20000));
    const QByteArray number = server_.readLine().trimmed();
    ASSERT_FALSE(number.isEmpty()) << "Xvfb did not start: " << server_.readAllStandardError().toStdString();
    display_ = QStringLiteral(":") + QString::fromLatin1(number);
    x11Env_ = QProcessEnvironment::systemEnvironment();
    x11Env_.insert(QStringLiteral("DISPLAY"), display_);
  }

  void TearDown() override {
    stations_.clear();
    if (server_.state() != QProcess::NotRunning) {
      server_.terminate();
      server_.waitForFinished(10000);
    }
  }

  // A station of its own (own home and runtime folder) on the private display.
  test::StationProcess& StartStation(const QString& title, uint16_t bossKey) {
    homes_.push_back(std::make_unique<test::TempHome>());
    const std::filesystem::path home = homes_.back()->path();
    std::filesystem::create_directory(home / "run");
    std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
    test::WriteConfig(home, [&](TOption& o) {
      o.WindowTitle = title;
      o.UseBossKey = true;
      o.BossKey = bossKey;
      o.ExitOption = 1;
      o.MsgTip = true;
    });
    QProcessEnvironment env = x11Env_;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("VIGIL_HOME"), QString::fromStdString(home.string()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString((home / "run").string()));
    stations_.push_back(std::make_unique<test::StationProcess>(env));
    stations_.back()->Start();
    return *stations_.back();
  }

  bool WindowVisible(const QString& title) {
    return runTool(xdotool_, {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title},
                   x11Env_).exitCode == 0;
  }

  bool WaitWindowVisible(const QString& title, bool visible) {
    return test::WaitFor([&] { return WindowVisible(title) == visible; }, 15000);
  }

  void PressKey(const QString& keys) {
    ASSERT_EQ(runTool(xdotool_, {QStringLiteral("key"), keys}, x11Env_).exitCode, 0);
  }

  QString xvfb_, xdotool_, display_;
  QProcess server_;
  QProcessEnvironment x11Env_;
  std::vector<std::unique_ptr<test::TempHome>> homes_;
  std::vector<std::unique_ptr<test::StationProcess>> stations_;
};

TEST_F(BossKeyOnX11, KeyHidesWindowAndTrayIconAndShowsThemAgain) {
  const QString title = QStringLiteral("VigilBossTest");
  test::StationProcess& station = StartStation(title, 0xC042);  // Ctrl+Alt+B
  ASSERT_TRUE(station.WaitForLine(QStringLiteral("boss key 0xc042 registered"))) << station.Output().toStdString();
  ASSERT_TRUE(WaitWindowVisible(title, true)) << station.Output().toStdString();

  PressKey(QStringLiteral("ctrl+alt+b"));
  EXPECT_TRUE(station.WaitForLine(QStringLiteral("boss mode on: main window hidden, tray icon hidden")))
      << station.Output().toStdString();
  EXPECT_TRUE(WaitWindowVisible(title, false));

  // Caps Lock on must not stop the key.
  PressKey(QStringLiteral("Caps_Lock"));
  PressKey(QStringLiteral("ctrl+alt+b"));
  EXPECT_TRUE(station.WaitForLine(QStringLiteral("boss mode off: main window shown, tray icon shown")))
      << station.Output().toStdString();
  EXPECT_TRUE(WaitWindowVisible(title, true));
  EXPECT_TRUE(station.Running());
}

TEST_F(BossKeyOnX11, KeyHeldByAnotherProgramIsSaidAndTheStationRunsOn) {
  test::StationProcess& holder = StartStation(QStringLiteral("VigilHolder"), 0xC042);
  ASSERT_TRUE(holder.WaitForLine(QStringLiteral("boss key 0xc042 registered")));
  test::StationProcess& second = StartStation(QStringLiteral("VigilSecond"), 0xC042);
  EXPECT_TRUE(second.WaitForLine(QStringLiteral("boss key 0xc042 is held by another program")))
      << second.Output().toStdString();
  EXPECT_TRUE(second.WaitForLine(QStringLiteral("提示: 老板键已被其他程序占用")));
  EXPECT_TRUE(WaitWindowVisible(QStringLiteral("VigilSecond"), true));
  EXPECT_TRUE(second.Running());
}

}  // namespace
}  // namespace vigil
