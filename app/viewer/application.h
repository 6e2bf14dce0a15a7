// The one record of interactive mode: window size, pointer and drag state,
// the view transform, and what the viewer owns (scene, status bar with the
// output window, the top-level and the GL drawing window).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "render/view.h"

class Fl_Window;

namespace Tavrin {

class Scene;
class StatusBar;
struct MenuState;

struct Application {
  Application();
  // Releases what the record owns, in the order release_application uses.
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  int32_t width = 1024;
  int32_t height = 640;
  float aspect = 1.6f;
  int32_t glut_window = 0;  // identifier from the GLUT layer; 0 = none
  int32_t mouse_x = 0;
  int32_t mouse_y = 0;
  int32_t drag_mode = 0;  // 0 none, 1 rotating, 2 panning
  View view;
  MenuState* menus = nullptr;  // the popup menus' state; none until menus are built
  std::string program_path;
  Fl_Window* window = nullptr;  // owned: the top-level window
  std::unique_ptr<Scene> scene;
  std::unique_ptr<StatusBar> status_bar;
};

// Releases, in this order: the scene (with the GL drawing window's context
// current, so the objects can free their GL resources), the status bar and
// its output window, the top-level window, the GL drawing window, and the
// program path. Safe on a record that never made its windows; idempotent.
void release_application(Application& app);

// Makes the windows and their companions: the "plastic" scheme, the program
// path from argv[0] (one leading and one trailing double quote removed), the
// top-level window "Tavrin" at (32, 32) of `width` x 600 with the GL drawing
// window filling it (left current), the status bar and a scene holding an
// empty original object. Needs an open display: check it before calling.
void make_window(Application& app, int argc, char** argv, int width);

// The one Application of the process. create_application replaces any
// previous one; current_application is null when none exists.
Application& create_application();
Application* current_application();
// Destroys the current Application (if any) and clears the pointer.
void destroy_application();

// Destroys the current Application and ends the process with status 0.
// Used by q, Esc, closing the top-level window and the Quit menu entry.
[[noreturn]] void quit_application();

// The program path as the command line gave it, without one leading and one
// trailing double quote.
std::string strip_program_path(const char* argv0);

}  // namespace Tavrin
