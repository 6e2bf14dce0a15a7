// The Application seen by the menu commands.
// GLEW must precede every GL header, the toolkit's GL headers included.
// clang-format off
#include <GL/glew.h>
// clang-format on
#include "app/viewer/application_host.h"

#include <FL/glut.H>

#include "app/viewer/application.h"
#include "app/viewer/callbacks.h"
#include "app/viewer/status_bar.h"
#include "render/scene.h"

namespace Tavrin {

Scene& ApplicationHost::scene() { return *app_.scene; }
void ApplicationHost::redraw() { Tavrin::redraw(app_); }
void ApplicationHost::post_redraw() { Tavrin::post_redraw(); }
void ApplicationHost::reset_view_transform() { app_.view = View{}; }
void ApplicationHost::set_file_name_field(const std::string& text) {
  if (app_.status_bar) app_.status_bar->set_field(text, 0);
}
void ApplicationHost::make_current() {
  if (glut_window) glut_window->make_current();
}
void ApplicationHost::quit() { quit_application(); }
std::string ApplicationHost::program_path() const { return app_.program_path; }
int ApplicationHost::window_width() const { return app_.width; }
int ApplicationHost::window_height() const { return app_.height; }

}  // namespace Tavrin
