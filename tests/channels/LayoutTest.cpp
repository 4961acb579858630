// The view cells of the four layouts, and the views placed in a real window.
#include <gtest/gtest.h>

#include <QTest>

#include "StationFixture.h"
#include "app/ChannelView.h"
#include "app/ViewLayout.h"
#include "platform/capture/Grabber.h"

namespace vigil {
namespace {

struct CellCase {
  int splitMode;
  int view;
  QSize area;
  QRect cell;
};

TEST(ViewLayout, CellsOfEveryLayout) {
  const CellCase cases[] = {
      {0, 1, {724, 519}, {0, 0, 724, 519}},
      {1, 1, {724, 519}, {0, 0, 362, 259}},
      {1, 4, {724, 519}, {362, 259, 362, 259}},
      {2, 1, {724, 519}, {0, 0, 241, 259}},
      {2, 3, {724, 519}, {482, 0, 241, 259}},
      {2, 4, {724, 519}, {0, 259, 241, 259}},
      {2, 6, {724, 519}, {482, 259, 241, 259}},
      {3, 5, {724, 519}, {241, 173, 241, 173}},
      {3, 9, {724, 519}, {482, 346, 241, 173}},
      {3, 9, {2, 2}, {0, 0, 0, 0}},  // too small for nine: empty cells, no negative sizes
  };
  for (const CellCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.splitMode << " view " << c.view);
    EXPECT_EQ(ViewCell(c.splitMode, c.view, c.area), c.cell);
  }
  EXPECT_EQ(PictureRect(ViewCell(2, 1, {724, 519})), QRect(1, 1, 239, 257));
  EXPECT_EQ(ViewCount(0), 1);
  EXPECT_EQ(ViewCount(3), 9);
}

// The views follow the window's size and the chosen view count; hidden channels keep
// running.
TEST(ViewLayout, WindowPlacesAndHidesViews) {
  test::TempHome home;
  test::WriteConfig(home.path(), test::QuietDefaults);
  test::Station station({test::StillCamera(1), test::StillCamera(2)}, std::make_shared<SystemClock>());
  TfrmMain& form = station.form();
  form.resize(724, 519 + form.pnlToolbar->height());
  ASSERT_TRUE(test::WaitFor([&] { return form.pnlView->size() == QSize(724, 519); }));
  form.SetSplitMode(2);
  EXPECT_EQ(station[1].View->geometry(), QRect(0, 0, 241, 259));
  EXPECT_EQ(station[1].View->PictureArea(), QRect(1, 1, 239, 257));
  EXPECT_EQ(station[6].View->geometry(), QRect(482, 259, 241, 259));
  EXPECT_TRUE(station[6].View->isVisible());
  EXPECT_FALSE(station[7].View->isVisible());

  form.btnStartClick();
  ASSERT_TRUE(test::WaitFor([&] { return station[2].State == TChannelState::Previewing; }, 10000));
  form.SetSplitMode(0);
  EXPECT_EQ(station[1].View->geometry(), QRect(0, 0, 724, 519));
  EXPECT_FALSE(station[2].View->isVisible());
  EXPECT_EQ(station[2].State, TChannelState::Previewing);
  const int64_t frames = station[2].Grabber->stats().frames;
  EXPECT_TRUE(test::WaitFor([&] { return station[2].Grabber->stats().frames > frames + 5; }));
  // The visible view paints the camera's frames.
  EXPECT_TRUE(test::WaitFor([&] { return station[1].View->PaintedFrames() > 3; }));

  // A double click shows the channel alone on the whole screen; another brings it back.
  QTest::mouseDClick(station[2].View, Qt::LeftButton);
  ASSERT_TRUE(station[2].FullScreenView);
  EXPECT_TRUE(station[2].FullScreenView->isFullScreen());
  EXPECT_TRUE(test::WaitFor([&] { return station[2].FullScreenView->PaintedFrames() > 2; }));
  QTest::mouseDClick(station[2].FullScreenView.get(), Qt::LeftButton);
  EXPECT_TRUE(test::WaitFor([&] { return !station[2].FullScreenView; }));
  form.SelectedChannel = 1;
  form.RunCommand(TCommand::ExpandChannel);
  ASSERT_TRUE(station[1].FullScreenView);
  form.btnStopClick();
  EXPECT_EQ(station[1].State, TChannelState::Stopped);
}

}  // namespace
}  // namespace vigil
