// What window events do to the Application, kept apart from the toolkit so
// it can be checked without a display: the reshape rule, mouse buttons and
// the wheel, and drags that rotate or pan the view.
#pragma once

#include <array>

namespace Tavrin {

struct Application;

// The pointer in the [-1, 1] square of the window: x grows to the right, y
// upwards. Needs width and height above 0.
std::array<float, 2> normalised_position(int x, int y, int width, int height);

// A new window size: ignored (false) when either side is 0. Otherwise sets
// width, height and aspect, hands the size to the status bar and puts
// "WxH" in its field 2.
bool resize_application(Application& app, int w, int h);

// A mouse button (0 left, 1 middle, 3/4 wheel up/down; state 0 press, 1
// release). The status bar sees it first and keeps what it handles; then a
// left or middle press starts a rotation or a pan at (x, y), a release ends
// it, and a wheel step (a press) zooms the scene by 0.1 in or out. True when the
// window should be redrawn.
bool press_mouse(Application& app, int button, int state, int x, int y);

// Moves the pointer to (x, y) during a drag: rotates the view with the
// trackball (drag mode 1) or pans it by the change of the normalised
// position (drag mode 2). True when the pointer moved.
bool drag_to(Application& app, int x, int y);

// The view transform back to no rotation and no pan.
void reset_view_transform(Application& app);

}  // namespace Tavrin
