// The popup menus of the drawing window: the state the Application owns,
// building the GLUT menu tree, and relabelling entries in place. Labels live
// in the MenuState for as long as their entries, since the toolkit's GLUT
// menus keep pointers to them. Without built menus (menu identifiers 0) the
// relabelling only updates the model, so commands run without a display.
#pragma once

#include <string>
#include <vector>

#include "ui/menu_model.h"

namespace Tavrin {

class ViewerHost;

struct MenuState {
  ViewerHost* host = nullptr;
  int root_menu = 0;
  int view_menu = 0, render_menu = 0, shader_menu = 0, object_menu = 0, model_menu = 0,
      scalar_menu = 0;
  std::vector<MenuEntry> root;  // submenu entries have value 0
  std::vector<MenuEntry> view = initial_view_entries();
  std::vector<MenuEntry> render = initial_render_entries();
  std::vector<MenuEntry> shader = initial_shader_entries();
  std::vector<MenuEntry> object = initial_object_entries();
  std::vector<MenuEntry> model = initial_model_entries();
  ScalarMenu scalar;
  std::vector<MenuEntry> scalar_entries;  // the labels the GLUT submenu points to
  std::string open_folder;                // folder of the last opened file; empty: "."
};

// Position (1-based) of the Select scalar entry in the root menu.
constexpr int kScalarRootPosition = 5;

// Makes `state` the one the menu callbacks work on, with `host` as its
// window. build_menus does this too; tests that run commands without menus
// call it alone.
void set_menu_state(MenuState* state, ViewerHost* host);
MenuState* menu_state();

// Builds the menu tree (submenus first, then the root) and attaches the
// root to the right mouse button of the current GLUT window. Needs the
// drawing window current.
void build_menus(MenuState& state, ViewerHost& host);

// Relabelling; each keeps positions and values.
void refresh_view_labels(MenuState& state, const ViewLabelState& labels);
void refresh_render_labels(MenuState& state, int method);
void refresh_object_labels(MenuState& state, int mode);
void refresh_shader_label(MenuState& state, bool shader_on);
// relabel: re-marks the selected scalar. rebuild: a new submenu from the
// original object's scalar names with "No Scalar" selected.
enum class ScalarMenuRefresh { Relabel, Rebuild };
void refresh_scalar_menu(MenuState& state, ScalarMenuRefresh how);
// Rebuilds the Select scalar submenu when the original object's fields are
// no longer the ones it lists (a simplification may add fields); the
// selected field stays selected when it is still there. Nothing happens
// while the names agree.
void sync_scalar_menu(MenuState& state);

}  // namespace Tavrin
