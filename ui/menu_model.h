// The popup menu tree as data: every entry's value and label, which label a
// state gives, and the Select scalar submenu with its marked entry. The GLUT
// calls live in ui/glut_menus.cpp; this part needs no display.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Tavrin {

// Root values.
constexpr int MENU_OPEN = 1;
constexpr int MENU_SAVE = 2;
constexpr int MENU_QUIT = 3;
// The first and the largest value of the Select scalar submenu's entries
// ("No Scalar" is the first).
constexpr int MENU_NO_SCALAR = 61;

struct MenuEntry {
  int value = 0;
  std::string label;
};

// The state the View labels show.
struct ViewLabelState {
  bool show_bbox = false;
  int light_count = 1;
  bool show_grid = false;
  bool draw_scalar = false;
  bool thick_lines = false;
  bool two_colour_faces = false;
};

// The submenus as the menu starts (labels and values in entry order).
std::vector<MenuEntry> initial_view_entries();
std::vector<MenuEntry> initial_render_entries();
std::vector<MenuEntry> initial_shader_entries();
std::vector<MenuEntry> initial_object_entries();
std::vector<MenuEntry> initial_model_entries();

// Rewrites the labels of the entries whose label depends on the state; the
// entries keep their positions and values.
void relabel_view(std::vector<MenuEntry>& view, const ViewLabelState& state);
// Marks the entry of `method` (0, 1, 2) with "+ " and the others with blanks.
void relabel_render(std::vector<MenuEntry>& render, int method);
// `mode`: 0 original, 1 simplified, 2 both.
void relabel_object(std::vector<MenuEntry>& object, int mode);
void relabel_shader(std::vector<MenuEntry>& shader, bool shader_on);

// 2 when both objects are shown, 1 when only the simplified one is, else 0.
int object_mode(bool show_original, bool show_simplified);

// The Select scalar submenu: "- No Scalar" [61], then "- " and each scalar
// name [62, 63, ...]; the selected entry starts with '+' instead of '-'.
class ScalarMenu {
 public:
  ScalarMenu() { rebuild({}); }
  // New entries from the names; selects "No Scalar".
  void rebuild(const std::vector<std::string>& names);
  // True for the values of the entries (61 up to last()).
  bool contains(int value) const { return value >= MENU_NO_SCALAR && value <= last(); }
  // The scalar name of an entry: none for "No Scalar" and for values not in
  // the menu.
  std::optional<std::string> name_of(int value) const;
  // Marks the entry of `value` (which must be in the menu) and unmarks the rest.
  void select(int value);
  // The scalar names the entries were built from, in menu order.
  std::vector<std::string> names() const;
  int selected() const { return selected_; }
  int last() const { return MENU_NO_SCALAR + static_cast<int>(labels_.size()) - 1; }
  const std::vector<std::string>& labels() const { return labels_; }

 private:
  void relabel();
  std::vector<std::string> labels_;
  int selected_ = MENU_NO_SCALAR;
};

}  // namespace Tavrin
