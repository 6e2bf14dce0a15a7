// Window events applied to the Application without a display: reshape,
// presses, drags, the status strip keeping its clicks, and the frame counter.
#include <gtest/gtest.h>

#include <string>

#include "app/viewer/application.h"
#include "app/viewer/frame_counter.h"
#include "app/viewer/status_bar.h"
#include "app/viewer/view_control.h"

namespace Tavrin {
namespace {

std::unique_ptr<Application> make_app(int w, int h) {
  auto app = std::make_unique<Application>();
  app->status_bar = std::make_unique<StatusBar>(nullptr);
  resize_application(*app, w, h);
  return app;
}

TEST(AppViewControl, ReshapeIgnoresZeroAndReportsTheSize) {
  auto owner = make_app(1024, 600);
  Application& app = *owner;
  app.status_bar->set_field("fps: 30 - 29", 2);
  EXPECT_FALSE(resize_application(app, 0, 0));
  EXPECT_FALSE(resize_application(app, 0, 500));
  EXPECT_FALSE(resize_application(app, 800, 0));
  EXPECT_EQ(app.width, 1024);
  EXPECT_EQ(app.height, 600);
  EXPECT_EQ(app.status_bar->field(2), "fps: 30 - 29");

  EXPECT_TRUE(resize_application(app, 800, 500));
  EXPECT_EQ(app.width, 800);
  EXPECT_EQ(app.height, 500);
  EXPECT_FLOAT_EQ(app.aspect, 1.6f);
  EXPECT_EQ(app.status_bar->field(2), "800x500");
  EXPECT_EQ(app.status_bar->width(), 800);
  EXPECT_EQ(app.status_bar->area_max().y, 500.0f);
  EXPECT_NE(app.status_bar->compose().find("800x500"), std::string::npos);
}

TEST(AppViewControl, NormalisedPositions) {
  const auto centre = normalised_position(500, 250, 1000, 500);
  EXPECT_FLOAT_EQ(centre[0], 0.0f);
  EXPECT_FLOAT_EQ(centre[1], 0.0f);
  const auto corner = normalised_position(0, 0, 1000, 500);  // top left
  EXPECT_FLOAT_EQ(corner[0], -1.0f);
  EXPECT_FLOAT_EQ(corner[1], 1.0f);
}

TEST(AppViewControl, PanAcrossTheWidthMovesTwo) {
  auto owner = make_app(1000, 500);
  Application& app = *owner;
  ASSERT_FALSE(press_mouse(app, 1, 0, 0, 250));
  EXPECT_EQ(app.drag_mode, 2);
  EXPECT_TRUE(drag_to(app, 500, 250));
  EXPECT_TRUE(drag_to(app, 1000, 250));
  EXPECT_FLOAT_EQ(app.view.pan[0], 2.0f);
  EXPECT_FLOAT_EQ(app.view.pan[1], 0.0f);
  EXPECT_TRUE(drag_to(app, 1000, 0));  // up by half the height
  EXPECT_FLOAT_EQ(app.view.pan[1], 1.0f);
  EXPECT_EQ(app.view.rotation, (View{}.rotation));
  press_mouse(app, 1, 1, 1000, 0);
  EXPECT_EQ(app.drag_mode, 0);
}

TEST(AppViewControl, RotationOnlyWhenThePointerMoves) {
  auto owner = make_app(800, 600);
  Application& app = *owner;
  press_mouse(app, 0, 0, 300, 300);
  EXPECT_EQ(app.drag_mode, 1);
  EXPECT_FALSE(drag_to(app, 300, 300));  // same place: nothing
  press_mouse(app, 0, 1, 300, 300);
  EXPECT_EQ(app.drag_mode, 0);
  EXPECT_EQ(app.view.rotation, (View{}.rotation));

  drag_to(app, 500, 300);  // no button: the pointer is only tracked
  EXPECT_EQ(app.mouse_x, 500);
  EXPECT_EQ(app.view.rotation, (View{}.rotation));

  press_mouse(app, 0, 0, 400, 300);
  drag_to(app, 480, 300);
  EXPECT_NE(app.view.rotation, (View{}.rotation));
  EXPECT_EQ(app.view.pan, (View{}.pan));
  reset_view_transform(app);
  EXPECT_EQ(app.view.rotation, (View{}.rotation));
}

TEST(AppViewControl, StatusStripNeverStartsADrag) {
  auto owner = make_app(800, 500);
  Application& app = *owner;
  // A middle press on the strip changes the font instead of starting a pan.
  EXPECT_FALSE(press_mouse(app, 1, 0, 400, 495));
  EXPECT_EQ(app.drag_mode, 0);
  EXPECT_EQ(app.status_bar->font_index(), kStatusFontStart - 1);
  drag_to(app, 700, 300);
  EXPECT_EQ(app.view.pan, (View{}.pan));
  // Just above the strip the same press pans.
  press_mouse(app, 1, 0, 400, 300);
  EXPECT_EQ(app.drag_mode, 2);
}

double fake_now = 0.0;
double fake_clock() { return fake_now; }

TEST(AppFrameCounter, OneAndTenSecondWindows) {
  FrameCounter counter(fake_clock);
  fake_now = 100.0;
  EXPECT_FALSE(counter.count());  // first frame starts both windows
  fake_now = 100.5;
  EXPECT_FALSE(counter.count());
  fake_now = 101.0;
  EXPECT_FALSE(counter.count());  // exactly one second is not past it
  fake_now = 101.5;
  EXPECT_TRUE(counter.count());  // 3 frames in 1.5 s
  EXPECT_FLOAT_EQ(counter.rate_one(), 2.0f);
  EXPECT_FLOAT_EQ(counter.rate_ten(), 0.0f);
  EXPECT_EQ(counter.label(), "fps: 2 - 0");
  fake_now = 102.0;
  EXPECT_FALSE(counter.count());
  fake_now = 110.5;  // 2 frames in the last 9 s, 5 since the start 10.5 s ago
  EXPECT_TRUE(counter.count());
  EXPECT_FLOAT_EQ(counter.rate_one(), 2.0f / 9.0f);
  EXPECT_FLOAT_EQ(counter.rate_ten(), 5.0f / 10.5f);
  EXPECT_EQ(counter.label(), "fps: 0.222 - 0.476");
  fake_now = 110.6;  // both windows just began again
  EXPECT_FALSE(counter.count());
  EXPECT_EQ(counter.frames(), 7);
}

}  // namespace
}  // namespace Tavrin
