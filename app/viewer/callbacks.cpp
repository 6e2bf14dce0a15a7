// Display, reshape, keys, mouse and drags of the drawing window.

// GLEW must precede every GL header, the toolkit's GL headers included.
// clang-format off
#include <GL/glew.h>
// clang-format on
#include "app/viewer/callbacks.h"

#include <FL/glut.H>

#include "app/viewer/application.h"
#include "app/viewer/frame_counter.h"
#include "app/viewer/key_help.h"
#include "app/viewer/status_bar.h"
#include "app/viewer/view_control.h"
#include "render/scene.h"
#include "ui/commands.h"

namespace Tavrin {

namespace {

constexpr float kBackground[4] = {0.9f, 0.9f, 0.9f, 1.0f};
constexpr float kZoomStep = 0.1f;
constexpr unsigned char kEscape = 27;

FrameCounter& frame_counter() {
  static FrameCounter counter;
  return counter;
}

bool drawing_now = false;

}  // namespace

void redraw(Application& app) {
  if (drawing_now) return;
  Fl_Glut_Window* window = ::glut_window;
  if (!window || !window->shown()) return;
  drawing_now = true;
  window->make_current();
  if (frame_counter().count() && app.status_bar)
    app.status_bar->set_field(frame_counter().label(), 2);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (app.scene) app.scene->draw(app.view, app.aspect, kBackground);
  if (app.status_bar) app.status_bar->draw();
  // Inside the display callback the toolkit swaps after it returns and
  // ignores this; outside it (a command showing its outcome) this shows the frame.
  glutSwapBuffers();
  drawing_now = false;
}

void post_redraw() {
  if (::glut_window) glutPostRedisplay();
}

void reset_view_command(Application& app) {
  if (app.scene) {
    Scene& scene = *app.scene;
    scene.reset_view();
    auto plain = [](Object* object) {
      if (!object) return;
      object->draw_style = 2;
      object->cull_face = 0;
    };
    if (scene.show_original) plain(scene.original.get());
    if (scene.show_simplified) plain(scene.simplified.get());
  }
  reset_view_transform(app);
  post_redraw();
}

void on_display() {
  if (Application* app = current_application()) redraw(*app);
}

void on_reshape(int w, int h) {
  Application* app = current_application();
  if (!app || !resize_application(*app, w, h)) return;
  // The viewport first, so that the frame drawn at once already fills the
  // new size.
  glViewport(0, 0, w, h);
  redraw(*app);
}

void on_key(unsigned char key, int, int) {
  Application* app = current_application();
  if (!app) return;
  switch (key) {
    case kEscape:
    case 'q':
    case 'Q':
      if (!app->scene || may_quit(*app->scene)) quit_application();
      break;
    case 'h':
    case 'H':
      print_key_help();
      break;
    case 'o':
    case 'O':
      if (app->status_bar) app->status_bar->show_output_window();
      break;
    case 'w':
    case 'W':
      if (app->scene) app->scene->change_zoom(kZoomStep);
      break;
    case 's':
    case 'S':
      if (app->scene) app->scene->change_zoom(-kZoomStep);
      break;
    default:
      break;
  }
  post_redraw();
}

void on_mouse(int button, int state, int x, int y) {
  Application* app = current_application();
  if (app && press_mouse(*app, button, state, x, y)) post_redraw();
}

void on_motion(int x, int y) {
  Application* app = current_application();
  if (app && drag_to(*app, x, y)) post_redraw();
}

void on_special(int, int, int) {}

void install_callbacks(Application& app) {
  glutDisplayFunc(on_display);
  glutReshapeFunc(on_reshape);
  glutKeyboardFunc(on_key);
  glutMouseFunc(on_mouse);
  glutMotionFunc(on_motion);
  glutSpecialFunc(on_special);
  if (app.status_bar) app.status_bar->set_redraw([&app] { redraw(app); });
}

}  // namespace Tavrin
