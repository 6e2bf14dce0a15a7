// Dispatch of the menu values and the commands that only change drawing
// state: View, Render, Object, Model and Select scalar.
#include <GL/glew.h>

#include "ui/commands.h"

#include "base/messages.h"
#include "render/colour_map_texture.h"
#include "render/object_drawing.h"
#include "render/render_arrays.h"
#include "render/scene.h"
#include "ui/menus.h"
#include "ui/viewer_host.h"

namespace Tavrin {

namespace {

// Calls fn on every shown object that exists.
template <typename Fn>
void for_each_shown(Scene& scene, Fn fn) {
  if (scene.show_original && scene.original) fn(*scene.original);
  if (scene.show_simplified && scene.simplified) fn(*scene.simplified);
}

// Calls fn on both objects, shown or not, that exist.
template <typename Fn>
void for_each_present(Scene& scene, Fn fn) {
  if (scene.original) fn(*scene.original);
  if (scene.simplified) fn(*scene.simplified);
}

// Reports a command's outcome in the status bar (the sink redraws).
void report(const std::string& text) { show_status(text); }

void style_command(Scene& scene, int value) {
  struct Style {
    int value;
    int32_t Object::*field;
    int32_t setting;
    const char* name;
  };
  static const Style styles[] = {
      {100, &Object::draw_style, 2, "draw body"},
      {101, &Object::draw_style, 1, "draw edges"},
      {102, &Object::draw_style, 3, "draw body & edges"},
      {110, &Object::draw_elements, 2, "draw lines"},
      {111, &Object::draw_elements, 12, "draw triangles"},
      {112, &Object::draw_elements, 14, "draw lines & triangles"},
      {120, &Object::cull_face, 0, "no cull"},
      {121, &Object::cull_face, 1028, "cull front faces"},
      {122, &Object::cull_face, 1029, "cull back faces"},
  };
  for (const Style& s : styles)
    if (s.value == value) {
      for_each_shown(scene, [&](Object& o) { o.*(s.field) = s.setting; });
      report(format("Style changed to '%s'.", s.name));
    }
}

void view_command(MenuState& state, int value) {
  Scene& scene = state.host->scene();
  Object* active = active_object(scene);
  switch (value) {
    case 130: {
      const bool n = !(active && active->show_bbox);
      for_each_shown(scene, [&](Object& o) { o.show_bbox = n; });
      report(n ? "Showing bounding box." : "Hidding bounding box.");
      break;
    }
    case 140: {
      const bool n = !(active && active->show_grid);
      for_each_shown(scene, [&](Object& o) { o.show_grid = n; });
      report(n ? "Showing decimation grid." : "Hidding decimation grid.");
      break;
    }
    case 150: {
      const bool n = !(active && active->draw_scalar);
      for_each_present(scene, [&](Object& o) { o.draw_scalar = n; });
      report(n ? "Drawing scalar." : "drawing scalar.");
      break;
    }
    case 160: {
      const bool was_two = scene.light_count == 2;
      scene.light_count = 3 - scene.light_count;
      report(was_two ? "Using one light." : "Using two lights.");
      break;
    }
    case 170:
      scene.thick_lines = !scene.thick_lines;
      report(scene.thick_lines ? "Drawing thick lines." : "Drawing normal lines.");
      break;
    case 180:
      scene.two_colour_faces = !scene.two_colour_faces;
      report(scene.two_colour_faces ? "Drawing front and back faces with different colours."
                                    : "Drawing front and back faces with same colour.");
      break;
    case 190:
      scene.reset_view();
      for_each_shown(scene, [](Object& o) {
        o.draw_style = 2;
        o.cull_face = 0;
      });
      state.host->reset_view_transform();
      return;
    default:
      style_command(scene, value);
      return;
  }
  refresh_scene_labels(state);
}

void model_command(MenuState& state, int value) {
  Scene& scene = state.host->scene();
  switch (value) {
    case 51:
      for_each_shown(scene, [](Object& o) { o.swap_normals(); });
      state.host->redraw();
      report("Normals swapped.");
      break;
    case 52:
      for_each_shown(scene, [](Object& o) { o.swap_triangles(); });
      state.host->redraw();
      report("Triangles swapped.");
      break;
    case 53:
      for_each_shown(scene, [](Object& o) { o.refine(); });
      state.host->redraw();
      report("Object refined, change render method to recreate graphical object.");
      break;
    case 54:
      for_each_shown(scene, [](Object& o) { o.renumerate(); });
      state.host->redraw();
      report("Object renumerated, change render method to recreate graphical object.");
      break;
    default:
      break;
  }
}

bool is_shader_value(int value) {
  return (value >= 31 && value <= 39) || (value >= 310 && value <= 314);
}

}  // namespace

Object* active_object(Scene& scene) {
  if (scene.show_original) return scene.original.get();
  if (scene.show_simplified) return scene.simplified.get();
  return nullptr;
}

void refresh_scene_labels(MenuState& state) {
  Scene& scene = state.host->scene();
  ViewLabelState labels;
  if (Object* active = active_object(scene)) {
    labels.show_bbox = active->show_bbox;
    labels.show_grid = active->show_grid;
    labels.draw_scalar = active->draw_scalar;
  }
  labels.light_count = scene.light_count;
  labels.thick_lines = scene.thick_lines;
  labels.two_colour_faces = scene.two_colour_faces;
  refresh_view_labels(state, labels);
  refresh_object_labels(state, object_mode(scene.show_original, scene.show_simplified));
}

void set_render_method_command(MenuState& state, int method) {
  Scene& scene = state.host->scene();
  int used = -1;
  for_each_present(scene, [&](Object& o) {
    const int m = set_render_method(o, method);
    if (used < 0) used = m;
  });
  if (used < 0) used = BUFFER_OBJECT;
  if (used == method)
    report(format("Render method changed to '%s'.", render_method_name(method)));
  else
    report(format("problems with '%s', using '%s' instead.", render_method_name(method),
                  render_method_name(used)));
  refresh_render_labels(state, used);
}

void show_objects_command(MenuState& state, int value) {
  Scene& scene = state.host->scene();
  scene.show_original = value == 41 || value == 43;
  scene.show_simplified = value == 42 || value == 43;
  const char* what = scene.show_original && scene.show_simplified ? "both objects"
                     : scene.show_simplified                      ? "simplified object"
                                                                  : "original object";
  report(format("Drawing %s.", what));
  refresh_object_labels(state, object_mode(scene.show_original, scene.show_simplified));
}

void select_scalar_command(MenuState& state, const std::optional<std::string>& name) {
  Scene& scene = state.host->scene();
  const int32_t found = select_scalar(scene, name ? name->c_str() : nullptr);
  std::string text;
  if (found > 0) {
    text = format("%s selected", name ? name->c_str() : "");
    for_each_present(scene, [](Object& o) { o.draw_scalar = true; });
  } else if (name) {
    report(format("%s not found !", name->c_str()));
    return;
  } else {
    text = "No scalar selected";
    for_each_present(scene, [](Object& o) { o.draw_scalar = false; });
  }
  refresh_scene_labels(state);
  report(text);
}

void root_command(int value) {
  MenuState* state = menu_state();
  if (!state || !state->host) return;
  ViewerHost& host = *state->host;
  host.make_current();
  host.scene().shader_on = false;
  host.post_redraw();
  switch (value) {
    case MENU_OPEN:
      // Without a new object the submenu still lists the shown one's
      // scalars with its selection; rebuilding would lose the mark.
      if (open_command(*state)) refresh_scalar_menu(*state, ScalarMenuRefresh::Rebuild);
      break;
    case MENU_SAVE:
      save_command(*state);
      break;
    case MENU_QUIT:
      // The same guard as q: an unsaved simplified mesh is not dropped unasked.
      if (may_quit(host.scene())) {
        host.quit();
        return;
      }
      break;
    default:
      break;
  }
  refresh_shader_label(*state, host.scene().shader_on);
  host.post_redraw();
}

void command(int value) {
  MenuState* state = menu_state();
  if (!state || !state->host) return;
  ViewerHost& host = *state->host;
  host.make_current();
  if (value >= 21 && value <= 23) {
    set_render_method_command(*state, value - 21);
  } else if (is_shader_value(value)) {
    shader_command(*state, value);
  } else if (value >= 41 && value <= 43) {
    show_objects_command(*state, value);
  } else if ((value >= 51 && value <= 54)) {
    model_command(*state, value);
  } else if (value == 58) {
    SimplifyOptions options;
    if (prompt_simplify_parameters(*state, options)) simplify_command(*state, options);
  } else if (value == 59) {
    float max_error = 0.0f;
    if (prompt_octree_parameters(*state, max_error)) octree_command(*state, max_error);
  } else if (value >= 100 && value <= 190) {
    view_command(*state, value);
  } else if (state->scalar.contains(value)) {
    // Menus built without a separate scalar callback still reach the selection.
    scalar_command(value);
    return;
  }
  sync_scalar_menu(*state);
  host.post_redraw();
}

void scalar_command(int value) {
  MenuState* state = menu_state();
  if (!state || !state->host || !state->scalar.contains(value)) return;
  state->host->make_current();
  state->scalar.select(value);
  select_scalar_command(*state, state->scalar.name_of(value));
  refresh_scalar_menu(*state, ScalarMenuRefresh::Relabel);
  state->host->post_redraw();
}

}  // namespace Tavrin
