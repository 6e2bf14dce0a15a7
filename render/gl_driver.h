// What the drawing code needs to know about the OpenGL implementation it runs
// on: the vendor (Intel, Microsoft's generic implementation, Mesa), the free
// graphics memory, whether the graphics count as small (a lower triangle
// budget for loaded meshes), extension and vertex-array support, and the
// labelled error checks placed after drawing steps.
//
// The decisions are pure functions over given strings and query answers
// (tested without a display); the process-wide functions feed them the
// current context's answers once and cache the results, since the vendor
// cannot change while the process runs. Those need a current GL context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Tavrin {

// ---- Pure decisions --------------------------------------------------------

// Case-insensitive search that walks the text once. A mismatch inside a
// partial match closes it without trying that character as a new start, so
// "Intel" is found in "Intel Corporation" and "INTEL" but not in "IIntel";
// a word of one character is never found. Position of the match or none.
std::optional<size_t> find_ignore_case(std::string_view text, std::string_view word);

bool vendor_is_intel(std::string_view vendor);
bool vendor_is_microsoft(std::string_view vendor);
// Both words of the software renderer's vendor string "Mesa/X.org".
bool vendor_is_mesa(std::string_view vendor);

// Substring test on an extension string (no word boundaries: asking for
// "GL_ARB_vertex_buffer" finds "GL_ARB_vertex_buffer_object").
bool extension_listed(std::string_view extensions, std::string_view name);

// extension_listed, logging "OPENLGL: Extension %s NOT present\n" when the
// name is absent (so the start-up log shows what the driver lacks).
bool extension_present(std::string_view extensions, const char* name);

// Reads integers of a glGetIntegerv query into `values` (room for 4).
using IntegerQuery = std::function<void(uint32_t name, int32_t* values)>;
// Tests an extension; the live form logs the ones that are absent.
using ExtensionTest = std::function<bool(const char* name)>;

// Free graphics memory in MB from the vendor memory extensions: 64 for Intel
// and Mesa without asking; otherwise the ATI free VBO memory, overridden by
// the NVIDIA current available memory, each in KB; 64 without either.
float query_free_memory_mb(bool intel, bool mesa, const ExtensionTest& has_extension,
                           const IntegerQuery& query);

struct DriverFacts {
  bool intel = false;
  bool microsoft = false;
  bool mesa = false;
  float free_memory_mb = 64.0f;
};

bool small_graphics_for(const DriverFacts& facts);
// 10,000,000 triangles on small graphics, else 30,000,000.
int64_t triangle_budget_for(const DriverFacts& facts);
// Why a mesh is over budget: "Intel", "Mesa", "Microsoft" or "Less than 512 MB".
const char* oversize_reason_for(const DriverFacts& facts);
// "Running with Mesa graphics.\n" or "%s graphics with %g MB available.\n".
std::string driver_line_for(const DriverFacts& facts, std::string_view vendor);

// Vertex arrays need a version string reading as a number of at least 1.1
// and more than 2 indices per glDrawRangeElements batch. A null version
// means no context.
bool vertex_arrays_usable(const char* version, int32_t max_elements_indices);

// Decides which labelled GL errors get reported: each distinct label and
// error code once, and at most `cap` distinct ones in all, so an error raised
// on every frame cannot flood the output window.
class GlErrorFilter {
 public:
  explicit GlErrorFilter(int cap = 32) : cap_(cap) {}
  // True when this error should be reported now.
  bool should_report(const std::string& label, uint32_t code);
  // True exactly once: the first time an error is refused for the cap.
  bool cap_reached_now();
  int reported() const { return reported_; }

 private:
  int cap_;
  int reported_ = 0;
  bool cap_announced_ = false;
  bool refused_for_cap_ = false;
  std::string seen_;  // "label\x1fcode\x1e" records
};

// ---- The current context (cached on first use) -------------------------------

bool is_intel();
bool is_microsoft();
bool is_mesa();
float free_graphics_memory_mb();
bool small_graphics();
int64_t triangle_budget();
const char* oversize_reason();
// The start-up line naming the graphics in use.
std::string driver_line();

// Substring test on the context's extension string; logs
// "OPENLGL: Extension %s NOT present\n" when absent.
bool has_extension(const char* name);
bool vertex_arrays_supported();
// GLEW's entry points, initialised once per process; false when glewInit
// failed (reported as "Error: %s\n").
bool glew_ready();
// Buffer objects: the extension is listed and GLEW loaded it. Decided once.
bool buffer_objects_available();

// Reads the GL error flag; when set, reports "OpenGL error (%s): %s\n" with
// the label through log_message (filtered by GlErrorFilter) and returns true.
bool check_gl_error(const char* label);
// The same for a shader uniform: "OpenGL error (setUniformInt - %s): %s\n".
bool check_gl_uniform_error(const char* uniform_name);

}  // namespace Tavrin
