// Reshape, buttons and drags applied to the Application.
#include "app/viewer/view_control.h"

#include <cassert>

#include "app/viewer/application.h"
#include "app/viewer/status_bar.h"
#include "base/messages.h"
#include "render/scene.h"
#include "render/trackball.h"

namespace Tavrin {

namespace {

constexpr int kLeft = 0;
constexpr int kMiddle = 1;
constexpr int kWheelUp = 3;
constexpr int kWheelDown = 4;
constexpr int kPress = 0;
constexpr int kRelease = 1;
constexpr float kZoomStep = 0.1f;

}  // namespace

std::array<float, 2> normalised_position(int x, int y, int width, int height) {
  assert(width > 0 && height > 0);
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  return {(2.0f * static_cast<float>(x) - w) / w, (h - 2.0f * static_cast<float>(y)) / h};
}

bool resize_application(Application& app, int w, int h) {
  if (w == 0 || h == 0) return false;
  app.width = w;
  app.height = h;
  app.aspect = static_cast<float>(w) / static_cast<float>(h);
  if (app.status_bar) {
    app.status_bar->set_width(w);
    app.status_bar->set_height(h);
    app.status_bar->set_field(format("%dx%d", w, h), 2);
  }
  return true;
}

bool press_mouse(Application& app, int button, int state, int x, int y) {
  if (app.status_bar && app.status_bar->click(button, state, x, y)) return false;
  if (button == kLeft || button == kMiddle) {
    if (state == kPress) {
      app.mouse_x = x;
      app.mouse_y = y;
      app.drag_mode = button == kLeft ? 1 : 2;
    } else if (state == kRelease) {
      app.drag_mode = 0;
    }
    return false;
  }
  if ((button == kWheelUp || button == kWheelDown) && state == kPress) {
    if (app.scene) app.scene->change_zoom(button == kWheelUp ? kZoomStep : -kZoomStep);
    return true;
  }
  return false;
}

bool drag_to(Application& app, int x, int y) {
  if (x == app.mouse_x && y == app.mouse_y) return false;
  if (app.width > 0 && app.height > 0) {
    const auto from = normalised_position(app.mouse_x, app.mouse_y, app.width, app.height);
    const auto to = normalised_position(x, y, app.width, app.height);
    if (app.drag_mode == 1) {
      const Quaternion step = trackball_rotation(from[0], from[1], to[0], to[1]);
      app.view.rotation = compose_rotations(step, app.view.rotation);
    } else if (app.drag_mode == 2) {
      app.view.pan[0] += to[0] - from[0];
      app.view.pan[1] += to[1] - from[1];
    }
  }
  app.mouse_x = x;
  app.mouse_y = y;
  return true;
}

void reset_view_transform(Application& app) { app.view = View{}; }

}  // namespace Tavrin
