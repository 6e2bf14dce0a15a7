// An OpenGL context for in-process tests that draw: one off-screen context of
// each asked size per test program, made current on every call (tests of one
// program may use several). Needs an X display (xvfb-run); without one the
// tests that call it skip.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/tools/viewer/offscreen_gl.h"
#include "render/gl_driver.h"

namespace Tavrin::test {

// Makes a width x height context current (made on first use); false when
// no display or no context can be had.
inline bool gl_context(int width, int height) {
  static std::map<std::pair<int, int>, std::unique_ptr<OffscreenGl>> contexts;
  std::unique_ptr<OffscreenGl>& gl = contexts[{width, height}];
  if (!gl) {
    gl = std::make_unique<OffscreenGl>();
    std::string why;
    if (!gl->open(width, height, why)) return false;
  }
  return gl->make_current() && glew_ready();
}

}  // namespace Tavrin::test
