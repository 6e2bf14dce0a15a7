// Second pass: line drawing from the first pass. Dark lines mark where the
// depth jumps (silhouettes and overlaps) and where the normal turns sharply
// (creases); the surface between them is a light grey that follows the
// normal's tilt towards the viewer, the background white.
#version 120

uniform sampler2D normal_texture;
uniform sampler2D depth_texture;
uniform float inv_screen_width;
uniform float inv_screen_height;

const float depth_units = 1000.0;

float depth_at(vec2 pixel) {
  return texture2D(depth_texture, pixel * vec2(inv_screen_width, inv_screen_height)).r;
}

vec3 normal_at(vec2 pixel) {
  return texture2D(normal_texture, pixel * vec2(inv_screen_width, inv_screen_height)).xyz * 2.0 - 1.0;
}

void main() {
  vec2 p = gl_FragCoord.xy;
  float d0 = depth_at(p);
  vec3 n0 = normal_at(p);
  // Depth: how far the centre leaves the straight line through opposite
  // neighbours (zero on any plane), in each of four directions.
  float depth_edge = 0.0;
  float normal_edge = 0.0;
  bool any_surface = d0 < 1.0;
  vec2 directions[4];
  directions[0] = vec2(1.0, 0.0);
  directions[1] = vec2(0.0, 1.0);
  directions[2] = vec2(1.0, 1.0);
  directions[3] = vec2(1.0, -1.0);
  for (int i = 0; i < 4; ++i) {
    float da = depth_at(p + directions[i]);
    float db = depth_at(p - directions[i]);
    any_surface = any_surface || da < 1.0 || db < 1.0;
    depth_edge = max(depth_edge, abs(da + db - 2.0 * d0) * depth_units);
    if (d0 < 1.0 && da < 1.0)
      normal_edge = max(normal_edge, 1.0 - dot(n0, normal_at(p + directions[i])));
  }
  float line = max(smoothstep(0.3, 1.5, depth_edge), smoothstep(0.05, 0.3, normal_edge));
  vec3 surface = d0 < 1.0 ? vec3(0.78 + 0.2 * clamp(n0.z, 0.0, 1.0)) : vec3(1.0);
  if (!any_surface) line = 0.0;
  gl_FragColor = vec4(surface * (1.0 - 0.85 * line), 1.0);
}
