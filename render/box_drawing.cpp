// The box's edges; see box_drawing.h.
#include <GL/glew.h>

#include "render/box_drawing.h"

#include "render/gl_driver.h"

namespace Tavrin {

std::array<Vec3, 24> box_edge_points(const Box& b) {
  const float x0 = b.min.x, y0 = b.min.y, x1 = b.max.x, y1 = b.max.y;
  std::array<Vec3, 24> p;
  int n = 0;
  for (float z : {b.min.z, b.max.z}) {
    const float face[5][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    for (int e = 0; e < 4; ++e) {
      p[n++] = {face[e][0], face[e][1], z};
      p[n++] = {face[e + 1][0], face[e + 1][1], z};
    }
  }
  const float verticals[4][2] = {{x0, y1}, {x1, y1}, {x0, y0}, {x1, y0}};
  for (const auto& v : verticals) {
    p[n++] = {v[0], v[1], b.min.z};
    p[n++] = {v[0], v[1], b.max.z};
  }
  return p;
}

void draw_box(const Box& box) {
  check_gl_error("Box::draw begin");
  std::array<Vec3, 24> points = box_edge_points(box);
  glBegin(GL_LINES);
  for (const Vec3& v : points) glVertex3f(v.x, v.y, v.z);
  glEnd();
  check_gl_error("Box::draw end");
}

}  // namespace Tavrin
