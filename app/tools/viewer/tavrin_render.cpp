// tavrin-render: draws the first frame the viewer's window would show for a
// mesh (the same scene, camera, lights and axes inset; no status bar) into a
// PNG file and exits. Makes thumbnails of many meshes in a script and gives
// the tests pictures to compare. Needs an X display; a virtual one
// (xvfb-run) is enough.
#include <GL/glew.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "hashuc/simp_type.h"
#include "io/ply_reader.h"
#include "mesh/object.h"
#include "render/colour_map_texture.h"
#include "render/gl_driver.h"
#include "render/render_arrays.h"
#include "render/scene.h"
#include "render/view.h"
#include "shaders/shader_effects.h"
#include "shaders/shader_program.h"
#include "shaders/shader_setups.h"
#include "simplify/driver.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_CONVERSION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

// Last: Xlib's macros (None, Status, Bool) would clash with the names above.
#include "app/tools/viewer/offscreen_gl.h"

namespace Tavrin {
namespace {

const char* kUsage =
    "Usage: %s MESH.ply OUT.png [options]\n"
    "       %s --empty OUT.png [options]\n"
    "Draws the first frame the viewer shows for the mesh into a PNG file.\n"
    "  --size WxH               picture size in pixels (default 1024x600)\n"
    "  --style edges|body|both  draw style (default body)\n"
    "  --method lists|arrays|buffers\n"
    "                           render method: display lists, vertex arrays or\n"
    "                           buffer objects (default buffers)\n"
    "  --simplify TYPE GRID     show the mesh simplified with simp_type TYPE\n"
    "                           (e.g. HASH_UC) on a GRID^3 grid instead\n"
    "  --both                   with --simplify, show the original as well\n"
    "  --rotate AX AY AZ        turn the model by AX degrees about x, then AY\n"
    "                           about y, then AZ about z\n"
    "  --quaternion X Y Z W     set the view rotation as the window keeps it\n"
    "  --scalar NAME            colour by the per-node field NAME (any case);\n"
    "                           an empty NAME colours by the distance from the origin\n"
    "  --zoom Z                 half height of the view in model sizes, from\n"
    "                           0.0001 to 10 (default 0.5, as the window opens)\n"
    "  --shader KEY             draw through a shader set-up of the Shader menu:\n"
    "                           red, depth, tone, phong, normal_scaled,\n"
    "                           normal+depth, normal_texture, edges, ssao_depth,\n"
    "                           ssao_depth_21, ssao_2nd, ssao_2nd_render,\n"
    "                           ssao_dravel (the ambient-occlusion ones with the\n"
    "                           window's default parameters)\n"
    "  --two-colour             front and back faces in different colours\n"
    "  --thick                  lines 3 pixels wide\n"
    "  --empty                  draw the empty scene (no mesh read)\n"
    "  --verbose                print the graphics in use and the render method\n"
    "  --quiet                  print nothing but errors\n"
    "  --help                   print this text\n"
    "Without a display, run it under a virtual one: xvfb-run -a %s ...\n";

struct Options {
  std::string mesh, output;
  int width = 1024, height = 600;
  int style = 2;
  int method = BUFFER_OBJECT;
  bool simplify = false;
  SimplifyOptions simplify_options;
  bool both = false;
  float zoom = 0.0f;  // 0: the framing's own
  bool scalar = false;
  std::string scalar_name;
  const ShaderSetup* shader = nullptr;
  View view;
  bool two_colour = false, thick = false, empty = false, verbose = false, quiet = false;
};

using Quat = std::array<double, 4>;  // x, y, z, w

Quat hamilton(const Quat& a, const Quat& b) {
  return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
          a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
          a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
          a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

Quat axis_turn(int axis, double degrees) {
  double h = degrees * M_PI / 360.0;
  Quat q{0, 0, 0, std::cos(h)};
  q[axis] = std::sin(h);
  return q;
}

// The view quaternion that turns the model about x, then y, then z. The
// view's matrix is that of the conjugate quaternion (the trackball's
// convention), hence the sign change.
std::array<float, 4> euler_view(double ax, double ay, double az) {
  Quat q = hamilton(axis_turn(2, az), hamilton(axis_turn(1, ay), axis_turn(0, ax)));
  return {static_cast<float>(-q[0]), static_cast<float>(-q[1]), static_cast<float>(-q[2]),
          static_cast<float>(q[3])};
}

bool parse_float(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

// 0 on success, 2 on a usage error (reported), 3 after --help.
int parse(int argc, char** argv, Options& o) {
  std::vector<std::string> positional;
  auto fail = [&](const std::string& why) {
    // Texts that already point to the help do not point to it twice.
    const char* hint = why.find("--help") == std::string::npos ? " (try --help)" : "";
    std::fprintf(stderr, "%s: %s%s\n", argv[0], why.c_str(), hint);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto need = [&](int n) { return i + n < argc; };
    if (a == "--help" || a == "-h") {
      std::printf(kUsage, argv[0], argv[0], argv[0]);
      return 3;
    } else if (a == "--size") {
      if (!need(1) || std::sscanf(argv[i + 1], "%dx%d", &o.width, &o.height) != 2 || o.width < 1 ||
          o.height < 1 || o.width > 16384 || o.height > 16384)
        return fail("--size takes WxH, each from 1 to 16384");
      ++i;
    } else if (a == "--style") {
      std::string v = need(1) ? argv[++i] : "";
      o.style = v == "edges" ? 1 : v == "body" ? 2 : v == "both" ? 3 : 0;
      if (!o.style) return fail("--style takes edges, body or both");
    } else if (a == "--method") {
      std::string v = need(1) ? argv[++i] : "";
      o.method = v == "lists"     ? DISPLAY_LIST
                 : v == "arrays"  ? VERTEX_ARRAY
                 : v == "buffers" ? BUFFER_OBJECT
                                  : -1;
      if (o.method < 0) return fail("--method takes lists, arrays or buffers");
    } else if (a == "--simplify") {
      if (!need(2)) return fail("--simplify takes a simp_type and a grid size");
      simp_type t = parse_simp_type(argv[i + 1]);
      double grid = 0;
      if (!is_simp_type_keyword(argv[i + 1]) || !parse_float(argv[i + 2], grid) || grid < 1 ||
          grid > 65536 || grid != std::floor(grid))
        return fail(format("--simplify: '%s %s' is not a simp_type and a grid size", argv[i + 1],
                           argv[i + 2]));
      o.simplify = true;
      o.simplify_options.type = t;
      o.simplify_options.grid_size = static_cast<int32_t>(grid);
      i += 2;
    } else if (a == "--rotate") {
      double v[3];
      if (!need(3) || !parse_float(argv[i + 1], v[0]) || !parse_float(argv[i + 2], v[1]) ||
          !parse_float(argv[i + 3], v[2]))
        return fail("--rotate takes three angles in degrees");
      o.view.rotation = euler_view(v[0], v[1], v[2]);
      i += 3;
    } else if (a == "--quaternion") {
      double v[4];
      for (int k = 0; k < 4; ++k)
        if (!need(k + 1) || !parse_float(argv[i + 1 + k], v[k]))
          return fail("--quaternion takes four numbers x y z w");
      double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + v[3] * v[3]);
      if (!(len > 0)) return fail("--quaternion must not be zero");
      for (int k = 0; k < 4; ++k) o.view.rotation[k] = static_cast<float>(v[k] / len);
      i += 4;
    } else if (a == "--scalar") {
      if (!need(1)) return fail("--scalar takes a field name");
      o.scalar = true;
      o.scalar_name = argv[++i];
    } else if (a == "--zoom") {
      double z = 0;
      if (!need(1) || !parse_float(argv[i + 1], z) || z <= 0.0001 || z >= 10)
        return fail("--zoom takes a number above 0.0001 and below 10");
      o.zoom = static_cast<float>(z);
      ++i;
    } else if (a == "--shader") {
      if (!need(1)) return fail("--shader takes a set-up key (see --help)");
      o.shader = shader_setup_for_key(argv[++i]);
      if (!o.shader) return fail(format("--shader: unknown set-up '%s' (see --help)", argv[i]));
    } else if (a == "--both") {
      o.both = true;
    } else if (a == "--two-colour") {
      o.two_colour = true;
    } else if (a == "--thick") {
      o.thick = true;
    } else if (a == "--empty") {
      o.empty = true;
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return fail("unknown option '" + a + "'");
    } else {
      positional.push_back(a);
    }
  }
  size_t wanted = o.empty ? 1 : 2;
  if (positional.size() != wanted)
    return fail(o.empty ? "--empty takes only the output file" : "give MESH.ply and OUT.png");
  if (o.empty) {
    o.output = positional[0];
  } else {
    o.mesh = positional[0];
    o.output = positional[1];
  }
  if (o.both && !o.simplify) return fail("--both needs --simplify");
  if (o.empty && o.simplify) return fail("--simplify needs a mesh");
  return 0;
}

// The scene as the window would set it up, then the asked-for changes.
bool build_scene(const Options& o, Scene& scene) {
  std::unique_ptr<Object> object;
  if (o.empty) {
    object = std::make_unique<Object>();
  } else {
    object = load_ply(o.mesh);
    if (!object) {
      // load_ply has said why, unless its messages are silenced.
      if (o.quiet) std::fprintf(stderr, "Could not read '%s'.\n", o.mesh.c_str());
      return false;
    }
  }
  object->draw_style = o.style;
  object->render_method = o.method;
  scene.set_original(std::move(object));
  if (o.simplify) {
    if (!scene.take_simplified(simplify_object(scene.original.get(), o.simplify_options))) {
      std::fprintf(stderr, "The simplification gave no mesh to draw.\n");
      return false;
    }
    scene.simplified->render_method = o.method;
    if (o.both) scene.show_original = true;
  }
  if (o.scalar) {
    // As the menu does: select on the shown objects (sharing one map when
    // both show it), then draw them coloured.
    if (select_scalar(scene, o.scalar_name.c_str()) == 0 && !o.scalar_name.empty()) {
      std::fprintf(stderr, "The mesh has no field named '%s'.\n", o.scalar_name.c_str());
      return false;
    }
    for (Object* object : {scene.original.get(), scene.simplified.get()})
      if (object) object->draw_scalar = true;
  }
  if (o.zoom > 0) scene.zoom = o.zoom;
  scene.two_colour_faces = o.two_colour;
  scene.thick_lines = o.thick;
  if (o.shader) {
    // A program that fails to load leaves its slot empty (after saying
    // why) and the frame is drawn with the fixed-function pipeline.
    choose_shader_setup(scene, *o.shader);
    scene.shader_on = true;
  }
  return true;
}

bool write_png(const std::string& path, int width, int height) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  // GL rows run bottom-up; PNG rows top-down.
  const int stride = width * 3;
  return stbi_write_png(path.c_str(), width, height, 3,
                        pixels.data() + static_cast<size_t>(height - 1) * stride, -stride) != 0;
}

int run(int argc, char** argv) {
  Options o;
  int parsed = parse(argc, argv, o);
  if (parsed == 3) return 0;
  if (parsed) return parsed;

  OffscreenGl gl;
  std::string why;
  if (!gl.open(o.width, o.height, why)) {
    std::fprintf(stderr, "%s: %s; without a display, run it under a virtual one: xvfb-run -a %s\n",
                 argv[0], why.c_str(), argv[0]);
    return 1;
  }
  if (o.quiet) {
    set_message_sink([](MessageRoute, const std::string&) {});
    set_shader_loaded_echo(false);
  }
  if (o.verbose) std::printf("%s", driver_line().c_str());

  int status = 0;
  {
    Scene scene;
    if (!build_scene(o, scene)) {
      status = 1;
    } else {
      const float background[4] = {0.9f, 0.9f, 0.9f, 1.0f};
      glViewport(0, 0, o.width, o.height);
      glClearColor(1, 1, 1, 1);
      glClearDepth(1.0);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      scene.draw(o.view, static_cast<float>(o.width) / static_cast<float>(o.height), background);
      glFinish();
      if (o.verbose) {
        const Object* shown[2] = {scene.show_original ? scene.original.get() : nullptr,
                                  scene.show_simplified ? scene.simplified.get() : nullptr};
        for (const Object* object : shown)
          if (object && object->num_nodes() > 0)
            std::printf("Render method: %s\n", render_method_name(object->render_method));
      }
      errno = 0;
      if (!write_png(o.output, o.width, o.height)) {
        const char* reason = errno ? std::strerror(errno) : "the PNG encoder failed";
        std::fprintf(stderr, "%s: could not write '%s': %s\n", argv[0], o.output.c_str(), reason);
        status = 1;
      }
    }
  }  // the scene's GL resources go while the context is current
  set_message_sink({});
  gl.close();
  return status;
}

}  // namespace
}  // namespace Tavrin

int main(int argc, char** argv) { return Tavrin::run(argc, argv); }
