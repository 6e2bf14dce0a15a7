// The interactive road: windows, callbacks, menu, key help, the driver line,
// the mesh, the event loop.

// GLEW must precede every GL header, the toolkit's GL headers included.
// clang-format off
#include <GL/glew.h>
// clang-format on
#include "app/viewer/viewer_main.h"

#include <FL/Fl.H>
#include <FL/glut.H>

#include <cstdio>
#include <memory>
#include <string>

#include "app/viewer/application.h"
#include "app/viewer/application_host.h"
#include "app/viewer/callbacks.h"
#include "app/viewer/display_check.h"
#include "app/viewer/key_help.h"
#include "app/viewer/start_mesh.h"
#include "app/viewer/status_bar.h"
#include "app/viewer/viewer_sink.h"
#include "base/messages.h"
#include "mesh/object.h"
#include "render/gl_driver.h"
#include "render/scene.h"
#include "shaders/shader_program.h"
#include "ui/commands.h"
#include "ui/graphics_budget.h"
#include "ui/menus.h"
#include "ui/prompts.h"

namespace Tavrin {

namespace {

constexpr int kWindowWidth = 1024;

}  // namespace

int run_viewer(int argc, char** argv) {
  const char* program = argc > 0 && argv[0] ? argv[0] : "tavrin";
  if (!display_available()) {
    std::fprintf(stderr,
                 "%s: no display could be opened; to run it without one, use a virtual display: "
                 "xvfb-run -a %s FILE.ply\n",
                 program, program);
    return 1;
  }

  Application& app = create_application();
  make_window(app, argc, argv, kWindowWidth);
  set_message_sink(make_viewer_sink(app));
  install_callbacks(app);
  // The menus and the host the commands see live as long as the process:
  // the toolkit's menus keep pointers to their labels.
  static MenuState menus;
  static ApplicationHost host(app);
  app.menus = &menus;
  print_key_help();
  // Compiler output is read line by line against the source: fixed width.
  set_shader_error_box([](const std::string& text) { message_box_monospace(text); });

  std::string driver = driver_line();
  if (driver.empty() || driver.back() != '\n') driver += '\n';
  log_message(driver);

  std::unique_ptr<Object> mesh =
      load_start_mesh(argc == 2 ? argv[1] : std::string(), app.program_path);
  // A mesh over the drawing budget is shown as its grid-256 copy, which
  // keeps the loaded mesh as its full one for simplification and saving.
  app.scene->set_original(drawing_copy(std::move(mesh), drawing_budget(), oversize_reason()));
  app.scene->set_simplified(std::make_unique<Object>());
  build_menus(menus, host);

  glutMainLoop();

  destroy_application();
  set_message_sink({});
  return 0;
}

}  // namespace Tavrin
