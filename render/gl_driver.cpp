// Driver recognition, memory budget, extension tests and labelled error
// checks; see gl_driver.h.
#include <GL/glew.h>

#include "render/gl_driver.h"

#include <GL/glu.h>

#include <cctype>
#include <cstdio>

#include "base/messages.h"

namespace Tavrin {

// ---- Pure decisions --------------------------------------------------------

std::optional<size_t> find_ignore_case(std::string_view text, std::string_view word) {
  if (word.empty()) return std::nullopt;
  auto up = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
  bool open = false;
  size_t start = 0, matched = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    int c = up(text[i]);
    if (!open) {
      if (c == up(word[0])) {
        open = true;
        start = i;
        matched = 1;
      }
    } else if (c == up(word[matched])) {
      if (++matched == word.size()) return start;
    } else {
      open = false;
    }
  }
  return std::nullopt;
}

bool vendor_is_intel(std::string_view vendor) {
  return find_ignore_case(vendor, "Intel").has_value();
}
bool vendor_is_microsoft(std::string_view vendor) {
  return find_ignore_case(vendor, "Microsoft").has_value();
}
bool vendor_is_mesa(std::string_view vendor) {
  return find_ignore_case(vendor, "Mesa").has_value() &&
         find_ignore_case(vendor, "X.org").has_value();
}

bool extension_listed(std::string_view extensions, std::string_view name) {
  return !name.empty() && extensions.find(name) != std::string_view::npos;
}

bool extension_present(std::string_view extensions, const char* name) {
  if (name && extension_listed(extensions, name)) return true;
  log_message(format("OPENLGL: Extension %s NOT present\n", name ? name : ""));
  return false;
}

float query_free_memory_mb(bool intel, bool mesa, const ExtensionTest& has_ext,
                           const IntegerQuery& query) {
  float mb = 64.0f;
  if (intel || mesa) return mb;
  int32_t values[4] = {0, 0, 0, 0};
  if (has_ext("GL_ATI_meminfo")) {
    query(0x87FB, values);  // GL_VBO_FREE_MEMORY_ATI: free KB first
    mb = static_cast<float>(values[0]) / 1024.0f;
  }
  if (has_ext("GL_NVX_gpu_memory_info")) {
    query(0x9049, values);  // GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX, KB
    mb = static_cast<float>(values[0]) / 1024.0f;
  }
  return mb;
}

bool small_graphics_for(const DriverFacts& f) {
  return f.intel || f.microsoft || f.mesa || f.free_memory_mb < 256.0f;
}

int64_t triangle_budget_for(const DriverFacts& f) {
  return small_graphics_for(f) ? 10000000 : 30000000;
}

const char* oversize_reason_for(const DriverFacts& f) {
  if (f.intel) return "Intel";
  if (f.mesa) return "Mesa";
  if (f.microsoft) return "Microsoft";
  return "Less than 512 MB";
}

std::string driver_line_for(const DriverFacts& f, std::string_view vendor) {
  if (f.intel) return "Running with Intel graphics.\n";
  if (f.microsoft) return "Running with Microsoft graphics.\n";
  if (f.mesa) return "Running with Mesa graphics.\n";
  return format("%s graphics with %g MB available.\n", std::string(vendor).c_str(),
                static_cast<double>(f.free_memory_mb));
}

bool vertex_arrays_usable(const char* version, int32_t max_elements_indices) {
  if (!version) return false;
  double number = 0.0;
  if (std::sscanf(version, "%lg", &number) != 1) return false;
  return number >= 1.1 && max_elements_indices > 2;
}

bool GlErrorFilter::should_report(const std::string& label, uint32_t code) {
  std::string key = label + '\x1f' + std::to_string(code) + '\x1e';
  if (seen_.find(key) != std::string::npos) return false;
  if (reported_ >= cap_) {
    refused_for_cap_ = true;
    return false;
  }
  seen_ += key;
  ++reported_;
  return true;
}

bool GlErrorFilter::cap_reached_now() {
  if (!refused_for_cap_ || cap_announced_) return false;
  cap_announced_ = true;
  return true;
}

// ---- The current context ---------------------------------------------------

namespace {

std::string gl_string(GLenum name) {
  const GLubyte* s = glGetString(name);
  return s ? reinterpret_cast<const char*>(s) : std::string();
}

const DriverFacts& facts() {
  static bool done = false;
  static DriverFacts f;
  if (!done) {
    done = true;
    std::string vendor = gl_string(GL_VENDOR);
    f.intel = vendor_is_intel(vendor);
    f.microsoft = vendor_is_microsoft(vendor);
    f.mesa = vendor_is_mesa(vendor);
    f.free_memory_mb = query_free_memory_mb(
        f.intel, f.mesa, [](const char* name) { return has_extension(name); },
        [](uint32_t name, int32_t* values) { glGetIntegerv(name, values); });
  }
  return f;
}

GlErrorFilter& error_filter() {
  static GlErrorFilter filter;
  return filter;
}

// Reports one error through the filter; true when the flag was set. The
// label is composed only once an error is there: checks run many times per
// frame and must not allocate.
bool report_gl_error(const char* prefix, const char* label) {
  GLenum code = glGetError();
  if (code == GL_NO_ERROR) return false;
  std::string text_label = prefix ? std::string(prefix) + " - " + label : std::string(label);
  GlErrorFilter& filter = error_filter();
  if (filter.should_report(text_label, code)) {
    const GLubyte* text = gluErrorString(code);
    log_message(format("OpenGL error (%s): %s\n", text_label.c_str(),
                       text ? reinterpret_cast<const char*>(text) : "unknown error"));
  } else if (filter.cap_reached_now()) {
    log_message("Further OpenGL errors are not reported.\n");
  }
  return true;
}

}  // namespace

bool is_intel() { return facts().intel; }
bool is_microsoft() { return facts().microsoft; }
bool is_mesa() { return facts().mesa; }
float free_graphics_memory_mb() { return facts().free_memory_mb; }
bool small_graphics() { return small_graphics_for(facts()); }
int64_t triangle_budget() { return triangle_budget_for(facts()); }
const char* oversize_reason() { return oversize_reason_for(facts()); }
std::string driver_line() { return driver_line_for(facts(), gl_string(GL_VENDOR)); }

bool has_extension(const char* name) {
  static bool copied = false;
  static std::string extensions;
  if (!copied) {
    const GLubyte* s = glGetString(GL_EXTENSIONS);
    // A context without the string (none current) is not cached, so that a
    // later call with a context still sees its extensions.
    if (s) {
      extensions = reinterpret_cast<const char*>(s);
      copied = true;
    }
  }
  return extension_present(extensions, name);
}

bool vertex_arrays_supported() {
  const GLubyte* version = glGetString(GL_VERSION);
  if (!version) {
    std::printf(
        "Problems getting the OpenGl version.\nMay be the graphics context is not initialized? "
        "%s present\n",
        "togl");
    std::fflush(stdout);
    return false;
  }
  GLint max_indices = 0, max_vertices = 0;
  glGetIntegerv(GL_MAX_ELEMENTS_INDICES, &max_indices);
  glGetIntegerv(GL_MAX_ELEMENTS_VERTICES, &max_vertices);
  return vertex_arrays_usable(reinterpret_cast<const char*>(version), max_indices);
}

bool glew_ready() {
  static int state = -1;  // -1 not tried, 0 failed, 1 ready
  if (state < 0) {
    glewExperimental = GL_TRUE;
    GLenum err = glewInit();
    state = err == GLEW_OK ? 1 : 0;
    if (!state)
      log_message(format("Error: %s\n", reinterpret_cast<const char*>(glewGetErrorString(err))));
    // glewInit may leave an error flag from probing; it is not a drawing error.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
  }
  return state == 1;
}

bool buffer_objects_available() {
  static int state = -1;
  if (state < 0) {
    state = 0;
    if (has_extension("GL_ARB_vertex_buffer_object") && glew_ready())
      state = GLEW_ARB_vertex_buffer_object && glGenBuffers && glBindBuffer && glBufferData &&
                      glDeleteBuffers
                  ? 1
                  : 0;
  }
  return state == 1;
}

bool check_gl_error(const char* label) { return report_gl_error(nullptr, label ? label : "n/a"); }

bool check_gl_uniform_error(const char* uniform_name) {
  return report_gl_error("setUniformInt", uniform_name ? uniform_name : "n/a2");
}

}  // namespace Tavrin
