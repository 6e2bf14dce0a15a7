// Driver decisions on made-up vendor strings, extension strings and memory
// query answers, and the filter that keeps per-frame GL errors from flooding
// the output window.
#include <gtest/gtest.h>

#include <map>

#include "render/gl_driver.h"
#include "render/render_arrays.h"
#include "test_support.h"

namespace Tavrin {
namespace {

TEST(RenderDriver, FindIgnoreCase) {
  struct Case {
    const char* text;
    const char* word;
    std::optional<size_t> at;
  };
  const Case cases[] = {
      {"Intel Corporation", "Intel", 0}, {"INTEL", "Intel", 0},
      {"IIntel", "Intel", std::nullopt},  // the second I closes the match and is not retried
      {"The intel driver", "Intel", 4},  {"Mesa/X.org", "X.org", 5},
      {"Mesa/X.org", "mesa", 0},         {"Inte", "Intel", std::nullopt},
      {"x", "x", std::nullopt},  // one-character words are never found
      {"anything", "", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(find_ignore_case(c.text, c.word), c.at) << c.text;
}

TEST(RenderDriver, VendorsBudgetsAndLines) {
  struct Case {
    const char* vendor;
    const char* extensions;
    int32_t nvx_kb, ati_kb;
    float mb;
    bool small;
    const char* reason;
    const char* line;
    std::vector<std::string> absent;  // logged by the memory query
  };
  const Case cases[] = {
      {"NVIDIA Corporation",
       "GL_ARB_foo GL_NVX_gpu_memory_info",
       3145728,
       0,
       3072.0f,
       false,
       "Less than 512 MB",
       "NVIDIA Corporation graphics with 3072 MB available.\n",
       {"GL_ATI_meminfo"}},
      {"ATI Technologies Inc.",
       "GL_ATI_meminfo",
       0,
       131072,
       128.0f,
       true,
       "Less than 512 MB",
       "ATI Technologies Inc. graphics with 128 MB available.\n",
       {"GL_NVX_gpu_memory_info"}},
      {"Intel Open Source Technology Center",
       "GL_NVX_gpu_memory_info GL_ATI_meminfo",
       9999999,
       9999999,
       64.0f,
       true,
       "Intel",
       "Running with Intel graphics.\n",
       {}},
      {"Mesa/X.org",
       "GL_ATI_meminfo",
       0,
       9999999,
       64.0f,
       true,
       "Mesa",
       "Running with Mesa graphics.\n",
       {}},
      {"Microsoft Corporation",
       "",
       0,
       0,
       64.0f,
       true,
       "Microsoft",
       "Running with Microsoft graphics.\n",
       {"GL_ATI_meminfo", "GL_NVX_gpu_memory_info"}},
      {"Mesa only",
       "",
       0,
       0,
       64.0f,
       true,
       "Less than 512 MB",
       "Mesa only graphics with 64 MB available.\n",
       {"GL_ATI_meminfo", "GL_NVX_gpu_memory_info"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vendor);
    test::MessageCapture capture;
    int queries = 0;
    DriverFacts f;
    f.intel = vendor_is_intel(c.vendor);
    f.microsoft = vendor_is_microsoft(c.vendor);
    f.mesa = vendor_is_mesa(c.vendor);
    f.free_memory_mb = query_free_memory_mb(
        f.intel, f.mesa, [&](const char* name) { return extension_present(c.extensions, name); },
        [&](uint32_t name, int32_t* values) {
          ++queries;
          values[0] = name == 0x9049 ? c.nvx_kb : name == 0x87FB ? c.ati_kb : -1;
          values[1] = values[2] = values[3] = 0;
        });
    EXPECT_EQ(f.free_memory_mb, c.mb);
    EXPECT_EQ(small_graphics_for(f), c.small);
    EXPECT_EQ(triangle_budget_for(f), c.small ? 10000000 : 30000000);
    EXPECT_STREQ(oversize_reason_for(f), c.reason);
    EXPECT_EQ(driver_line_for(f, c.vendor), c.line);
    if (f.intel || f.mesa) {
      EXPECT_EQ(queries, 0);
    }
    std::vector<std::string> expected;
    for (const std::string& name : c.absent)
      expected.push_back("OPENLGL: Extension " + name + " NOT present\n");
    EXPECT_EQ(capture.messages(), expected);
  }
}

TEST(RenderDriver, ExtensionsVertexArraysAndRenderMethods) {
  const char* mesa = "GL_ARB_multitexture GL_ARB_vertex_buffer_object GL_EXT_framebuffer_object";
  EXPECT_TRUE(extension_listed(mesa, "GL_ARB_vertex_buffer"));  // a substring is enough
  EXPECT_TRUE(extension_listed(mesa, "GL_ARB_vertex_buffer_object"));
  EXPECT_FALSE(extension_listed("GL_ARB_multitexture", "GL_ARB_vertex_buffer_object"));

  EXPECT_TRUE(vertex_arrays_usable("4.5 (Compatibility Profile) Mesa 22.3.6", 3000));
  EXPECT_TRUE(vertex_arrays_usable("1.1 Vendor", 3));
  EXPECT_FALSE(vertex_arrays_usable("1.0", 3000));
  EXPECT_FALSE(vertex_arrays_usable("1.1", 2));
  EXPECT_FALSE(vertex_arrays_usable("OpenGL ES", 3000));
  EXPECT_FALSE(vertex_arrays_usable(nullptr, 3000));

  // requested, buffer objects, vertex arrays -> used
  const int32_t table[][4] = {
      {BUFFER_OBJECT, 1, 1, BUFFER_OBJECT}, {BUFFER_OBJECT, 0, 1, DISPLAY_LIST},
      {VERTEX_ARRAY, 0, 1, VERTEX_ARRAY},   {VERTEX_ARRAY, 1, 0, DISPLAY_LIST},
      {DISPLAY_LIST, 0, 0, DISPLAY_LIST},   {7, 1, 1, DISPLAY_LIST}};
  for (const auto& row : table)
    EXPECT_EQ(usable_render_method(row[0], row[1], row[2]), row[3]) << row[0];
}

TEST(RenderDriver, ErrorReportsAreFilteredAndCapped) {
  GlErrorFilter filter(3);
  // An error raised on every frame is reported once.
  EXPECT_TRUE(filter.should_report("Scene::draw begin", 0x502));
  for (int frame = 0; frame < 100; ++frame)
    EXPECT_FALSE(filter.should_report("Scene::draw begin", 0x502));
  EXPECT_TRUE(filter.should_report("Scene::draw begin", 0x500));  // another error
  EXPECT_TRUE(filter.should_report("renderVA", 0x502));           // another place
  EXPECT_FALSE(filter.cap_reached_now());
  EXPECT_FALSE(filter.should_report("Box::draw end", 0x502));  // over the cap
  EXPECT_TRUE(filter.cap_reached_now());
  EXPECT_FALSE(filter.cap_reached_now());  // said once
  EXPECT_EQ(filter.reported(), 3);
}

}  // namespace
}  // namespace Tavrin
