// Second pass: horizon-based ambient occlusion.
//
// From each pixel a number of directions (a quarter of `ssao_type`, at least
// two, starting at a random angle per pixel) are walked in four steps out to
// half of `ssao_width` pixels. Along each direction the highest elevation of
// the depth picture above the pixel's tangent plane is kept; the sine of that
// horizon angle is the share of the sky the direction loses. Points further
// than `ssao_max_dist` from the pixel are ignored, so distant foreground
// objects cast no halo. Distances are in pixels across the screen and
// thousandths of the near-far range in depth.
#version 120

uniform sampler2D normal_texture;
uniform sampler2D depth_texture;
uniform sampler2D random_texture;
uniform int screen_width;
uniform int screen_height;
uniform float inv_screen_width;
uniform float inv_screen_height;
uniform int ssao_type;
uniform int ssao_width;
uniform float ssao_max_dist;

const float depth_units = 1000.0;
const int max_directions = 64;
const int steps = 4;

float depth_at(vec2 pixel) {
  return texture2D(depth_texture, pixel * vec2(inv_screen_width, inv_screen_height)).r;
}

vec4 random_at(vec2 pixel) { return texture2D(random_texture, fract(pixel / 512.0)); }

vec2 depth_slope(vec2 p, float d0) {
  float dl = d0 - depth_at(p - vec2(1.0, 0.0));
  float dr = depth_at(p + vec2(1.0, 0.0)) - d0;
  float db = d0 - depth_at(p - vec2(0.0, 1.0));
  float dt = depth_at(p + vec2(0.0, 1.0)) - d0;
  return vec2(abs(dl) < abs(dr) ? dl : dr, abs(db) < abs(dt) ? db : dt);
}

void main() {
  vec2 p = gl_FragCoord.xy;
  float d0 = depth_at(p);
  if (d0 >= 1.0) {
    gl_FragColor = vec4(1.0);
    return;
  }
  vec2 slope = depth_slope(p, d0);
  int directions = ssao_type / 4 < 2 ? 2 : ssao_type / 4;
  float radius = max(0.5 * float(ssao_width), 1.0);
  vec4 r = random_at(p);
  float start = r.x * 6.2831853;
  float jitter = 0.5 + r.y * 0.5;
  float total = 0.0;
  float count = 0.0;
  for (int k = 0; k < max_directions; ++k) {
    if (k >= directions) break;
    float angle = start + 6.2831853 * float(k) / float(directions);
    vec2 direction = vec2(cos(angle), sin(angle));
    float horizon = 0.0;  // sine of the highest elevation seen
    for (int s = 1; s <= steps; ++s) {
      float along = radius * (float(s) - 1.0 + jitter) / float(steps);
      // Whole pixels: the plane is followed to the texel actually read.
      vec2 offset = floor(direction * along + 0.5);
      along = length(offset);
      if (along < 0.5) continue;
      float sample_depth = depth_at(p + offset);
      if (sample_depth >= 1.0) continue;
      float height = (d0 + dot(slope, offset) - sample_depth) * depth_units;
      float distance = length(vec2(along, (d0 - sample_depth) * depth_units));
      if (height <= 0.0 || distance > ssao_max_dist) continue;
      horizon = max(horizon, height / sqrt(height * height + along * along));
    }
    total += horizon;
    count += 1.0;
  }
  float ao = clamp(1.0 - 1.2 * total / count, 0.0, 1.0);
  gl_FragColor = vec4(vec3(ao), 1.0);
}
