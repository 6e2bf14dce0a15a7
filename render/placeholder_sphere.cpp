// The placeholder sphere through GLU quadrics (smooth normals, as lit
// spheres need); see placeholder_sphere.h.
#include <GL/glew.h>

#include "render/placeholder_sphere.h"

#include <GL/glu.h>

#include "base/messages.h"

namespace Tavrin {

namespace {

constexpr double kRadius = 10.0;

void sphere(GLenum style, int slices, int stacks) {
  GLUquadric* q = gluNewQuadric();
  if (!q) return;
  gluQuadricDrawStyle(q, style);
  gluQuadricNormals(q, GLU_SMOOTH);
  gluSphere(q, kRadius, slices, stacks);
  gluDeleteQuadric(q);
}

}  // namespace

void draw_placeholder_sphere(int32_t draw_style) {
  switch (draw_style) {
    case 1:
      glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
      sphere(GLU_LINE, 10, 10);
      glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
      break;
    case 2:
      sphere(GLU_FILL, 20, 10);
      break;
    case 3: {
      glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_LIGHTING_BIT);
      glColor4f(0, 0, 0, 1);
      sphere(GLU_LINE, 20, 10);
      glPopAttrib();
      glEnable(GL_POLYGON_OFFSET_FILL);
      glPolygonOffset(1, 1);
      sphere(GLU_FILL, 20, 10);
      glDisable(GL_POLYGON_OFFSET_FILL);
      break;
    }
    default:
      log_message("Drawing nothing.\n");
      break;
  }
}

}  // namespace Tavrin
