// The command handler of the popup menus: every menu value becomes its
// command on the scene, with prompts where it needs parameters, a report in
// the status bar and the labels brought up to date. All commands work on the
// menu state set by build_menus (or set_menu_state) and do nothing without
// one; none needs an original object to exist.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "hashuc/simplify_options.h"
#include "mesh/object.h"

namespace Tavrin {

class Scene;
class ViewerHost;
struct MenuState;

// The callbacks of the root menu (1 Open, 2 Save, 3 Quit), of the other
// submenus, and of the Select scalar submenu (values 61 up to its last).
void root_command(int value);
void command(int value);
void scalar_command(int value);

// The original object when shown, else the simplified one when shown, else
// none (also when the shown object is absent).
Object* active_object(Scene& scene);

// The menu entries' commands.
// True when a new object was loaded.
bool open_command(MenuState& state);
// Loads `path` the way Open does (busy indicator, oversize budget, the
// remembered draw style); false, with the scene unchanged, when no object
// came back. The start-up load of the shell can use it too.
bool open_file(MenuState& state, const std::string& path);
// The mesh to show for a loaded one: itself within the drawing budget, else
// its grid-256 simplification holding it as `full`, after the oversize
// message. `triangle_budget` is the budget to apply.
std::unique_ptr<Object> drawing_copy(std::unique_ptr<Object> loaded, int64_t triangle_budget,
                                     const char* reason);
void save_command(MenuState& state);
// Writes the shown object (the simplified one when shown): ".msh" (or no
// extension) as a GiD pair of its full mesh, ".ply" as binary PLY of its
// full mesh, any case of either; false for any other extension, for no
// object and for an object without nodes or triangles.
bool save_mesh(MenuState& state, const std::string& file_name);
// Whether q or Esc may end the program: at once unless a simplified object
// with triangles was made and not saved since; then only when the user
// answers "Yes" to "Quit without saving the simplified mesh?" (default No).
bool may_quit(const Scene& scene);
// The prompts of "Simplify ( hash UC lib)": divisions, type and, for the
// single-level and coherent tables, the load factor (else 1.25), into
// `options`. False when one was cancelled.
bool prompt_simplify_parameters(MenuState& state, SimplifyOptions& options);
// The prompt of "Simplify ( Octree)"; false when cancelled.
bool prompt_octree_parameters(MenuState& state, float& max_error);
// Simplifies the original as `options` asks and shows the result.
void simplify_command(MenuState& state, const SimplifyOptions& options);
void octree_command(MenuState& state, float max_error);
// none: no scalar.
void select_scalar_command(MenuState& state, const std::optional<std::string>& name);
void set_render_method_command(MenuState& state, int method);
void show_objects_command(MenuState& state, int value);
void shader_command(MenuState& state, int value);

// Brings the View and Object labels up to the scene's state.
void refresh_scene_labels(MenuState& state);

}  // namespace Tavrin
