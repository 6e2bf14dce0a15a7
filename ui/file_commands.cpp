// Open and Save: the file chooser, loading with the drawing budget, and
// writing the shown object's full mesh as GiD or PLY.
#include <GL/glew.h>

#include <strings.h>

#include "base/memory_check.h"
#include "base/messages.h"
#include "io/gid_writer.h"
#include "io/ply_reader.h"
#include "io/ply_writer.h"
#include "render/gl_driver.h"
#include "render/scene.h"
#include "simplify/driver.h"
#include "ui/commands.h"
#include "ui/graphics_budget.h"
#include "ui/menus.h"
#include "ui/prompts.h"
#include "ui/viewer_host.h"

namespace Tavrin {

namespace {

// The text up to the last '/', failing that the last '\'; empty with neither.
std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The extension of the file name itself: a '.' in a folder name does not count.
std::string extension_of(const std::string& path) {
  size_t start = path.find_last_of("/\\");
  start = start == std::string::npos ? 0 : start + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return ".msh";
  return path.substr(dot);
}

bool is_extension(const std::string& file_name, const char* extension) {
  return strcasecmp(extension_of(file_name).c_str(), extension) == 0;
}

Object* object_to_save(Scene& scene) {
  if (scene.show_simplified && scene.simplified) return scene.simplified.get();
  if (scene.show_original && scene.original) return scene.original.get();
  return nullptr;
}

// Runs `write` with the busy indicator on and its steps fed by the writers'
// progress callback.
template <typename Fn>
bool with_busy(ViewerHost& host, Fn write) {
  signal_busy(BusyEvent::Start);
  host.redraw();
  std::function<void()> previous = set_write_progress([] { signal_busy(BusyEvent::Step); });
  bool ok = false;
  within_memory("save the mesh", [&] { ok = write(); });
  set_write_progress(std::move(previous));
  signal_busy(BusyEvent::Stop);
  return ok;
}

}  // namespace

std::unique_ptr<Object> drawing_copy(std::unique_ptr<Object> loaded, int64_t budget,
                                     const char* reason) {
  if (!loaded || loaded->num_triangles() <= budget) return loaded;
  const std::string text = oversize_message(reason, loaded->num_triangles(), budget, kOversizeGrid);
  message_box(text);
  log_to_output(text);
  std::unique_ptr<Object> copy = simplify_object(loaded.get(), kOversizeGrid, HASH_UC);
  // Without a copy the full mesh is drawn as it is: slow, but nothing is lost.
  if (!copy) return loaded;
  copy->name = loaded->name;
  copy->path = loaded->path;
  copy->full = std::move(loaded);
  return copy;
}

bool open_file(MenuState& state, const std::string& path) {
  ViewerHost& host = *state.host;
  Scene& scene = host.scene();
  int32_t style = scene.original ? scene.original->draw_style : 2;
  if (style == 0) style = 2;

  signal_busy(BusyEvent::Start);
  host.redraw();
  // Out of memory the scene keeps what it showed, and a message box says so.
  std::unique_ptr<Object> loaded;
  within_memory(format("open '%s'", path.c_str()), [&] {
    loaded = load_ply(path);
    signal_busy(BusyEvent::Step);
    host.redraw();
    if (loaded) {
      const int64_t budget = drawing_budget();
      if (loaded->num_triangles() > budget)
        loaded = drawing_copy(std::move(loaded), budget, oversize_reason());
    }
  });
  signal_busy(BusyEvent::Stop);
  host.redraw();
  if (!loaded) return false;

  host.set_file_name_field(loaded->name);
  scene.set_original(std::move(loaded));
  // The simplified object belongs to the file shown before: an empty one
  // takes its place, as at start-up, so that nothing stale is shown or saved.
  scene.set_simplified(std::make_unique<Object>());
  if (scene.show_simplified && !scene.show_original) {
    scene.show_original = true;
    scene.show_simplified = false;
  }
  scene.original->draw_style = style;
  return true;
}

bool open_command(MenuState& state) {
  std::optional<std::string> path =
      choose_file(false, state.open_folder.empty() ? "." : state.open_folder);
  if (!path) return false;
  state.open_folder = folder_of(*path);
  const bool loaded = open_file(state, *path);
  refresh_scene_labels(state);
  state.host->post_redraw();
  return loaded;
}

bool save_mesh(MenuState& state, const std::string& file_name) {
  ViewerHost& host = *state.host;
  Object* object = object_to_save(host.scene());
  if (!object || object->num_nodes() == 0 || object->num_triangles() == 0) return false;
  bool ok = false;
  if (is_extension(file_name, ".msh")) {
    ok = with_busy(host, [&] { return export_gid(*object, file_name); });
  } else if (is_extension(file_name, ".ply")) {
    const Object& mesh = object->full ? *object->full : *object;
    ok = with_busy(host, [&] { return write_ply(file_name, mesh) > 0; });
  }
  if (ok && object == host.scene().simplified.get()) host.scene().simplified_unsaved = false;
  host.redraw();
  return ok;
}

bool may_quit(const Scene& scene) {
  const Object* simplified = scene.simplified.get();
  if (!scene.simplified_unsaved || !simplified || simplified->num_triangles() == 0) return true;
  return ask_yes_no("Quit without saving the simplified mesh?");
}

void save_command(MenuState& state) {
  std::optional<std::string> name = choose_file(true, folder_of(state.host->program_path()));
  if (!name) return;
  if (save_mesh(state, *name))
    show_status(format("File '%s' saved", name->c_str()));
  else if (!is_extension(*name, ".msh") && !is_extension(*name, ".ply"))
    show_status(
        format("Problems saving '%s': Save writes only .msh (GiD, also without an "
               "extension) and .ply files",
               name->c_str()));
  else
    show_status(format("Problems saving '%s'", name->c_str()));
}

}  // namespace Tavrin
