// The Application record: making the windows, the order of destruction, and
// quitting.

// GLEW must precede every GL header, the toolkit's GL headers included.
// clang-format off
#include <GL/glew.h>
// clang-format on
#include "app/viewer/application.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/glut.H>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/viewer/status_bar.h"
#include "base/messages.h"
#include "mesh/object.h"
#include "render/gl_driver.h"
#include "render/scene.h"
#include "ui/commands.h"

namespace Tavrin {

namespace {

std::unique_ptr<Application> the_application;

constexpr int kWindowX = 32;
constexpr int kWindowY = 32;
constexpr int kWindowHeight = 600;

// Closing the top-level window ends the program like q does, with the same
// question while a simplified mesh is unsaved; otherwise the event loop
// would go on while the output window is open.
void close_main_window(Fl_Widget*, void*) {
  Application* app = current_application();
  if (!app || !app->scene || may_quit(*app->scene)) quit_application();
}

}  // namespace

Application::Application() = default;

Application::~Application() { release_application(*this); }

void release_application(Application& app) {
  if (app.scene) {
    // The objects free their GL resources, which needs the drawing context.
    if (::glut_window && ::glut_window->shown()) ::glut_window->make_current();
    app.scene.reset();
  }
  app.status_bar.reset();
  if (app.window) {
    // The drawing window is a child of this one and goes with it; its
    // identifier is then free, which makes the glutDestroyWindow below a no-op.
    delete app.window;
    app.window = nullptr;
  }
  if (app.glut_window) {
    glutDestroyWindow(app.glut_window);
    app.glut_window = 0;
  }
  app.program_path.clear();
}

std::string strip_program_path(const char* argv0) {
  std::string path = argv0 ? argv0 : "";
  if (!path.empty() && path.front() == '"') path.erase(0, 1);
  if (!path.empty() && path.back() == '"') path.pop_back();
  return path;
}

void make_window(Application& app, int argc, char** argv, int width) {
  Fl::scheme("plastic");
  app.program_path = strip_program_path(argc > 0 ? argv[0] : nullptr);
  app.width = width;
  app.height = kWindowHeight;
  app.aspect = static_cast<float>(app.width) / static_cast<float>(kWindowHeight);

  // The GLUT layer removes the toolkit's options from its argument vector;
  // it gets a copy so the caller's file argument stays where it is. The copy
  // lives on with the process, as the toolkit may keep what it was given.
  static std::vector<char*> args;
  args.assign(argv, argv + argc);
  args.push_back(nullptr);
  int arg_count = argc;
  glutInit(&arg_count, args.data());

  app.window = new Fl_Window(kWindowX, kWindowY, app.width, app.height, "Tavrin");
  app.window->resizable(app.window);
  app.window->callback(close_main_window);
  app.window->show();
  app.window->begin();
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowPosition(0, 0);
  glutInitWindowSize(app.width, app.height);
  app.glut_window = glutCreateWindow(argc > 0 ? argv[0] : const_cast<char*>("tavrin"));
  app.window->end();

  // The GLUT layer leaves the new window's context current; GLEW's entry
  // points are loaded against it (a failure is reported there).
  glew_ready();

  app.status_bar = std::make_unique<StatusBar>(app.window);
  app.status_bar->set_width(app.width);
  app.status_bar->set_height(app.height);

  app.scene = std::make_unique<Scene>();
  app.scene->set_original(std::make_unique<Object>());
}

Application& create_application() {
  destroy_application();
  the_application = std::make_unique<Application>();
  return *the_application;
}

Application* current_application() { return the_application.get(); }

void destroy_application() { the_application.reset(); }

void quit_application() {
  destroy_application();
  // The viewer's sink refers to the record just destroyed.
  set_message_sink({});
  std::fflush(stdout);
  std::exit(0);
}

}  // namespace Tavrin
