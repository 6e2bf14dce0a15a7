// A ViewerHost for in-process tests of the menu commands: it owns the scene,
// draws a real frame of Width x Height on every redraw (into the current GL
// context), and counts redraws, posted redraws and quits.
#pragma once

#include <GL/glew.h>

#include <string>

#include "render/scene.h"
#include "render/view.h"
#include "ui/viewer_host.h"

namespace Tavrin::test {

template <int Width, int Height>
struct DrawingTestHost : ViewerHost {
  Scene scene_;
  View view;
  int redraws = 0, posted = 0, quits = 0;
  std::string file_field;

  Scene& scene() override { return scene_; }
  void redraw() override {
    ++redraws;
    glViewport(0, 0, Width, Height);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float background[4] = {0.9f, 0.9f, 0.9f, 1};
    scene_.draw(view, float(Width) / Height, background);
    glFinish();
  }
  void post_redraw() override { ++posted; }
  void reset_view_transform() override { view = View{}; }
  void set_file_name_field(const std::string& text) override { file_field = text; }
  void make_current() override {}
  void quit() override { ++quits; }
  std::string program_path() const override { return "/nonexistent/tavrin"; }
  int window_width() const override { return Width; }
  int window_height() const override { return Height; }
};

}  // namespace Tavrin::test
