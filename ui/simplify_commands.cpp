// The two simplifications of the Model menu: their prompts, the run with the
// busy indicator, and the simplified object coloured with the original's map.
#include <GL/glew.h>

#include <cmath>

#include "base/group_digits.h"
#include "base/memory_check.h"
#include "base/messages.h"
#include "hashuc/simp_type.h"
#include "octree/simplify_octree.h"
#include "render/colour_map_texture.h"
#include "render/scene.h"
#include "simplify/driver.h"
#include "ui/commands.h"
#include "ui/menus.h"
#include "ui/prompts.h"
#include "ui/viewer_host.h"

namespace Tavrin {

namespace {

constexpr float kDefaultLoadFactor = 1.25f;

// The original's box extents and their length; zero without an original or
// without nodes (whose box is still the empty one).
Vec3 box_extent(Scene& scene, float& length) {
  Vec3 d{0, 0, 0};
  const Object* o = scene.original.get();
  if (o && o->bbox_min.x <= o->bbox_max.x && o->bbox_min.y <= o->bbox_max.y &&
      o->bbox_min.z <= o->bbox_max.z)
    d = {o->bbox_max.x - o->bbox_min.x, o->bbox_max.y - o->bbox_min.y,
         o->bbox_max.z - o->bbox_min.z};
  length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  return d;
}

std::string type_prompt(Scene& scene) {
  const Object* o = scene.original.get();
  std::string scalar = "No Scalar";
  if (o && o->scalar_index >= 0 && o->scalar_index < static_cast<int32_t>(o->scalars.size()))
    scalar = o->scalars[static_cast<size_t>(o->scalar_index)].name;
  std::string vector = o ? o->vector_description() : std::string();
  if (vector.empty()) vector = "No Vector";
  std::string label =
      "Simplification type: \nHASH_UC = 0, HASH_UC_ACC = 1, \nHASH_UC_NORMAL = 2, "
      "HASH_UC_ADAPT_NORMAL = 3, \nHASH_UC_TEMP = 4, HASH_UC_TEMP_NORMAL = 5, \n";
  label += format("HASH_UC_SCALAR = 6 ( %s), \n", scalar.c_str());
  label += "HASH_UC_SCALAR3_NORMAL = 7 ( object's normals), \n";
  label += format("HASH_UC_SCALAR3_VECTOR = 8 ( %s), \n", vector.c_str());
  label += "HASH_UC_SINGLE = 9, HASH_UC_COHERENT = 10 ?";
  return label;
}

// A new simplified object that shows a scalar takes the original's colour
// map, so that equal values get equal colours in both.
void share_colour_map(Scene& scene) {
  Object* source = scene.original.get();
  Object* result = scene.simplified.get();
  if (!source || !result || result->scalar_index < 0) return;
  use_colour_map(*result, colour_map_for_sharing(*source));
}

// Names the new simplified object after its source the way the batch run
// names its output: the source file's name without its extension, then
// `suffix` (a saved PLY file carries the name in its header).
void name_simplified(Scene& scene, const std::string& suffix) {
  Object* source = scene.original.get();
  Object* result = scene.simplified.get();
  if (!source || !result) return;
  std::string stem = source->path.empty() ? source->name : source->path;
  const size_t slash = stem.find_last_of("/\\");
  if (slash != std::string::npos) stem.erase(0, slash + 1);
  const size_t dot = stem.rfind('.');
  if (dot != std::string::npos && dot > 0) stem.erase(dot);
  result->name = stem + suffix;
}

}  // namespace

bool prompt_simplify_parameters(MenuState& state, SimplifyOptions& options) {
  Scene& scene = state.host->scene();
  float length = 0;
  const Vec3 d = box_extent(scene, length);
  const std::string label =
      format("Object bounding box = ( %g, %g, %g) |%g| --> [ x x ]\nEnter number of divisions",
             static_cast<double>(d.x), static_cast<double>(d.y), static_cast<double>(d.z),
             static_cast<double>(length));
  if (!prompt_value(options.grid_size, label, VALUE_NATURAL)) return false;
  int32_t type = options.type;
  if (!prompt_value(type, type_prompt(scene), VALUE_POSITIVE_INTEGER, HASH_UC, HASH_UC_COHERENT))
    return false;
  options.type = static_cast<simp_type>(type);
  options.load_factor = kDefaultLoadFactor;
  if (type == HASH_UC_SINGLE || type == HASH_UC_COHERENT)
    return prompt_value(options.load_factor, "Enter load factor: 1.05 ... 1.4 ?",
                        VALUE_POSITIVE_REAL);
  return true;
}

bool prompt_octree_parameters(MenuState& state, float& max_error) {
  float length = 0;
  const Vec3 d = box_extent(state.host->scene(), length);
  const std::string label =
      format("Object bounding box = ( %g, %g, %g) |%g|\nEnter maximum error for model:",
             static_cast<double>(d.x), static_cast<double>(d.y), static_cast<double>(d.z),
             static_cast<double>(length));
  return prompt_value(max_error, label, VALUE_POSITIVE_REAL);
}

void simplify_command(MenuState& state, const SimplifyOptions& options) {
  const simp_type type = options.type;
  const int32_t divisions = options.grid_size;
  ViewerHost& host = *state.host;
  Scene& scene = host.scene();
  if (type == HASH_UC_SINGLE || type == HASH_UC_COHERENT)
    log_to_output(format("Using a load factor of: %g\n", static_cast<double>(options.load_factor)));
  // No redraw of its own here: the driver's first status line follows at
  // once and shows the busy indicator, and every frame of a big mesh costs.
  signal_busy(BusyEvent::Start);
  // Out of memory the scene stays as it was, and a message box says so.
  bool done = false;
  RunFigures figures;
  within_memory("simplify the mesh", [&] {
    if (!scene.original) return;
    done = scene.take_simplified(simplify_object(scene.original.get(), options, &figures));
  });
  if (done) {
    share_colour_map(scene);
    const char* keyword = simp_type_keyword(type);
    name_simplified(scene, format("_simp_%s_%04d", keyword ? keyword : "N/A", divisions));
    // The report line of the status bar: the result's counts and its error.
    if (figures.error.measured) {
      const Object& s = *scene.simplified;
      show_status(group_digits_text(
          format("%s[ %d] v: %d t: %d l: %d. Error: max %g, rms %g of the diagonal.",
                 simp_type_short_name(type), divisions, s.num_nodes(), s.num_triangles(),
                 s.num_lines(), figures.error.max, figures.error.rms),
          1024));
    }
  }
  signal_busy(BusyEvent::Stop);
  refresh_scene_labels(state);
  host.post_redraw();
}

void octree_command(MenuState& state, float max_error) {
  ViewerHost& host = *state.host;
  // The report's boxes hold columns of times: fixed-width font.
  FixedWidthBoxes fixed_width;
  signal_busy(BusyEvent::Start);
  bool done = false;
  Scene& scene = host.scene();
  within_memory("simplify the mesh", [&] {
    if (scene.original) done = scene.take_simplified(simplify_octree(*scene.original, max_error));
  });
  if (done) name_simplified(scene, format("_octree_%g", static_cast<double>(max_error)));
  signal_busy(BusyEvent::Stop);
  refresh_scene_labels(state);
  host.post_redraw();
}

}  // namespace Tavrin
