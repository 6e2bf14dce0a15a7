// Labels and values of the popup menu tree and the labels each state gives.
#include "ui/menu_model.h"

#include <cassert>

namespace Tavrin {

namespace {

const char* const kRenderNames[] = {"Display lists", "Vertex arrays", "Buffer objects"};
const char* const kObjectNames[] = {"Original", "Simplified", "Both"};

// A group of alternatives: the current one is marked "+ ", the others "  ".
void mark_group(std::vector<MenuEntry>& entries, const char* const* names, int count, int current) {
  assert(static_cast<int>(entries.size()) >= count);
  for (int i = 0; i < count; ++i)
    entries[i].label = std::string(i == current ? "+ " : "  ") + names[i];
}

MenuEntry* find(std::vector<MenuEntry>& entries, int value) {
  for (MenuEntry& e : entries)
    if (e.value == value) return &e;
  return nullptr;
}

void set_label(std::vector<MenuEntry>& entries, int value, const char* label) {
  if (MenuEntry* e = find(entries, value)) e->label = label;
}

}  // namespace

std::vector<MenuEntry> initial_view_entries() {
  return {{100, "Body"},
          {101, "Edges"},
          {102, "Body + edges"},
          {110, "Lines"},
          {111, "Triangles"},
          {112, "Lines + triangs"},
          {120, "Cull nothing"},
          {121, "Cull front faces"},
          {122, "Cull back faces"},
          {130, "Show bbox"},
          {140, "Show dec.grid"},
          {150, "Draw scalar"},
          {160, "Two lights"},
          {170, "Thick lines ( simplif.obj.)"},
          {180, "Different colour front an back faces"},
          {190, "Reset"}};
}

std::vector<MenuEntry> initial_render_entries() {
  return {{21, "  Display lists"}, {22, "  Vertex arrays"}, {23, "+ Buffer objects"}};
}

std::vector<MenuEntry> initial_shader_entries() {
  return {{31, "- Shader On"},
          {32, "  Red Shader"},
          {33, "  Depth Shader"},
          {34, "  Tone Shader"},
          {35, "  Phong Shader"},
          {36, "  Scaled Normal Shader"},
          {37, "  draw normal+depth shader"},
          {38, "  draw normal texture shader"},
          {39, "  edges shader"},
          {310, "  ssao depth shader"},
          {311, "  ssao depth 2.1 shader"},
          {312, "  ssao 2nd shader"},
          {313, "  ssao 2nd + render shader"},
          {314, "  ssao velk dravel"}};
}

std::vector<MenuEntry> initial_object_entries() {
  return {{41, "+ Original"}, {42, "  Simplified"}, {43, "  Both"}};
}

std::vector<MenuEntry> initial_model_entries() {
  return {{51, "Swap normals"}, {52, "Swap triangles senses"},   {53, "Refine"},
          {54, "Renumerate"},   {58, "Simplify ( hash UC lib)"}, {59, "Simplify ( Octree)"}};
}

void relabel_view(std::vector<MenuEntry>& view, const ViewLabelState& s) {
  set_label(view, 130, s.show_bbox ? "Hide bbox" : "Show bbox");
  set_label(view, 140, s.show_grid ? "Hide dec.grid" : "Show dec.grid");
  set_label(view, 150, s.draw_scalar ? "Draw not scalar" : "Draw scalar");
  set_label(view, 160, s.light_count == 1 ? "Two lights" : "One light");
  set_label(view, 170,
            s.thick_lines ? "Normal lines ( simplif.obj.)" : "Thick lines ( simplif.obj.)");
  set_label(view, 180,
            s.two_colour_faces ? "Same colour front an back faces"
                               : "Different colour front an back faces");
}

void relabel_render(std::vector<MenuEntry>& render, int method) {
  mark_group(render, kRenderNames, 3, method);
}

void relabel_object(std::vector<MenuEntry>& object, int mode) {
  mark_group(object, kObjectNames, 3, mode);
}

void relabel_shader(std::vector<MenuEntry>& shader, bool shader_on) {
  set_label(shader, 31, shader_on ? "+ Shader Off" : "- Shader On");
}

int object_mode(bool show_original, bool show_simplified) {
  if (show_original && show_simplified) return 2;
  if (show_simplified) return 1;
  return 0;
}

void ScalarMenu::rebuild(const std::vector<std::string>& names) {
  labels_.clear();
  labels_.push_back("- No Scalar");
  for (const std::string& name : names) labels_.push_back("- " + name);
  selected_ = MENU_NO_SCALAR;
  relabel();
}

std::optional<std::string> ScalarMenu::name_of(int value) const {
  if (!contains(value) || value == MENU_NO_SCALAR) return std::nullopt;
  return labels_[static_cast<size_t>(value - MENU_NO_SCALAR)].substr(2);
}

std::vector<std::string> ScalarMenu::names() const {
  std::vector<std::string> names;
  for (size_t i = 1; i < labels_.size(); ++i) names.push_back(labels_[i].substr(2));
  return names;
}

void ScalarMenu::select(int value) {
  assert(contains(value));
  selected_ = value;
  relabel();
}

void ScalarMenu::relabel() {
  for (size_t i = 0; i < labels_.size(); ++i)
    labels_[i][0] = static_cast<int>(i) + MENU_NO_SCALAR == selected_ ? '+' : '-';
}

}  // namespace Tavrin
