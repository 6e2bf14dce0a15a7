// The GLUT side of the popup menus: creating, relabelling and rebuilding.
#include <GL/glew.h>

#include "ui/menus.h"

#include <FL/glut.H>

#include "render/scene.h"
#include "ui/commands.h"
#include "ui/viewer_host.h"

namespace Tavrin {

namespace {

MenuState* current_state = nullptr;

// GLUT's menu calls take char*; the text is not written through it.
char* text(std::string& s) { return s.data(); }

int create_menu(void (*callback)(int), std::vector<MenuEntry>& entries) {
  int id = glutCreateMenu(callback);
  for (MenuEntry& e : entries) glutAddMenuEntry(text(e.label), e.value);
  return id;
}

// Pushes the model's labels of one submenu into its GLUT menu.
void push_labels(int menu, std::vector<MenuEntry>& entries) {
  if (menu == 0) return;
  const int previous = glutGetMenu();
  glutSetMenu(menu);
  for (size_t i = 0; i < entries.size(); ++i)
    glutChangeToMenuEntry(static_cast<int>(i) + 1, text(entries[i].label), entries[i].value);
  if (previous) glutSetMenu(previous);
}

std::vector<std::string> original_scalar_names(MenuState& state) {
  if (!state.host) return {};
  Scene& scene = state.host->scene();
  return scene.original ? scene.original->scalar_names() : std::vector<std::string>{};
}

// The submenu's own copies of the ScalarMenu's labels, made anew with each
// submenu and only rewritten in place while it exists.
void copy_scalar_labels(MenuState& state) {
  state.scalar_entries.clear();
  int value = MENU_NO_SCALAR;
  for (const std::string& label : state.scalar.labels())
    state.scalar_entries.push_back({value++, label});
}

int create_scalar_menu(MenuState& state) {
  copy_scalar_labels(state);
  return create_menu(scalar_command, state.scalar_entries);
}

}  // namespace

void set_menu_state(MenuState* state, ViewerHost* host) {
  current_state = state;
  if (state) state->host = host;
}

MenuState* menu_state() { return current_state; }

void build_menus(MenuState& state, ViewerHost& host) {
  set_menu_state(&state, &host);
  state.scalar.rebuild(original_scalar_names(state));
  state.view_menu = create_menu(command, state.view);
  state.render_menu = create_menu(command, state.render);
  state.scalar_menu = create_scalar_menu(state);
  state.shader_menu = create_menu(command, state.shader);
  state.object_menu = create_menu(command, state.object);
  state.model_menu = create_menu(command, state.model);

  state.root = {{MENU_OPEN, "Open..."}, {MENU_SAVE, "Save..."}, {0, "View"},
                {0, "Render"},          {0, "Select scalar"},   {0, "Shader"},
                {0, "Object"},          {0, "Model"},           {MENU_QUIT, "Quit"}};
  const int submenus[] = {state.view_menu,   state.render_menu, state.scalar_menu,
                          state.shader_menu, state.object_menu, state.model_menu};
  state.root_menu = glutCreateMenu(root_command);
  int next_submenu = 0;
  for (MenuEntry& e : state.root) {
    if (e.value != 0)
      glutAddMenuEntry(text(e.label), e.value);
    else
      glutAddSubMenu(text(e.label), submenus[next_submenu++]);
  }
  glutAttachMenu(GLUT_RIGHT_BUTTON);
}

void refresh_view_labels(MenuState& state, const ViewLabelState& labels) {
  relabel_view(state.view, labels);
  push_labels(state.view_menu, state.view);
}

void refresh_render_labels(MenuState& state, int method) {
  relabel_render(state.render, method);
  push_labels(state.render_menu, state.render);
}

void refresh_object_labels(MenuState& state, int mode) {
  relabel_object(state.object, mode);
  push_labels(state.object_menu, state.object);
}

void refresh_shader_label(MenuState& state, bool shader_on) {
  relabel_shader(state.shader, shader_on);
  push_labels(state.shader_menu, state.shader);
}

void refresh_scalar_menu(MenuState& state, ScalarMenuRefresh how) {
  if (how == ScalarMenuRefresh::Relabel) {
    for (size_t i = 0; i < state.scalar_entries.size() && i < state.scalar.labels().size(); ++i)
      state.scalar_entries[i].label[0] = state.scalar.labels()[i][0];
    push_labels(state.scalar_menu, state.scalar_entries);
    return;
  }
  // The old menu goes first: its labels are about to be replaced.
  if (state.scalar_menu != 0) glutDestroyMenu(state.scalar_menu);
  state.scalar.rebuild(original_scalar_names(state));
  if (state.root_menu == 0) {
    state.scalar_menu = 0;
    copy_scalar_labels(state);
    return;
  }
  state.scalar_menu = create_scalar_menu(state);
  glutSetMenu(state.root_menu);
  glutChangeToSubMenu(kScalarRootPosition, text(state.root[kScalarRootPosition - 1].label),
                      state.scalar_menu);
}

void sync_scalar_menu(MenuState& state) {
  if (original_scalar_names(state) == state.scalar.names()) return;
  const std::optional<std::string> selected = state.scalar.name_of(state.scalar.selected());
  refresh_scalar_menu(state, ScalarMenuRefresh::Rebuild);
  if (!selected) return;
  for (int value = MENU_NO_SCALAR + 1; value <= state.scalar.last(); ++value)
    if (state.scalar.name_of(value) == selected) {
      state.scalar.select(value);
      refresh_scalar_menu(state, ScalarMenuRefresh::Relabel);
      return;
    }
}

}  // namespace Tavrin
