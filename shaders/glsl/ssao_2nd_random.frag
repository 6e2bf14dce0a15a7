// Second pass of the second family: ambient occlusion from depth and normals.
//
// `ssao_type` random neighbours are taken in a square of `ssao_width` pixels.
// A neighbour occludes when it lies in front of the pixel's tangent plane
// (from the depth picture, as in the first family), within a ball of radius
// `ssao_max_dist` around the pixel, and faces a different way: the weight
// 0.4 + 0.6 (1 - max(n . n_neighbour, 0)) keeps smoothly curved surfaces light and makes
// walls meeting at a corner count fully. Distances are in pixels across the
// screen and thousandths of the near-far range in depth, which are about the
// same size in the default view.
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
const int max_samples = 256;

vec2 to_texture(vec2 pixel) {
  return pixel * vec2(inv_screen_width, inv_screen_height);
}

float depth_at(vec2 pixel) { return texture2D(depth_texture, to_texture(pixel)).r; }

vec3 normal_at(vec2 pixel) {
  return normalize(texture2D(normal_texture, to_texture(pixel)).xyz * 2.0 - 1.0);
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
  vec3 n0 = normal_at(p);
  vec2 slope = depth_slope(p, d0);
  float width = float(ssao_width);
  float total = 0.0;
  float count = 0.0;
  for (int i = 0; i < max_samples; ++i) {
    if (i >= ssao_type) break;
    vec4 r = random_at(p + vec2(float(i * 67), float(i * 131)));
    // Whole pixels: the plane is followed to the texel actually read.
    vec2 offset = floor((r.xy - 0.5) * width + 0.5);
    float sample_depth = depth_at(p + offset);
    count += 1.0;
    if (sample_depth >= 1.0) continue;
    float in_front = (d0 + dot(slope, offset) - sample_depth) * depth_units;
    float distance = length(vec3(offset, (d0 - sample_depth) * depth_units));
    if (in_front <= 0.05 || distance > ssao_max_dist) continue;
    float facing = 1.0 - max(dot(n0, normal_at(p + offset)), 0.0);
    total += smoothstep(0.05, 1.0, in_front) * (0.4 + 0.6 * facing);
  }
  float ao = count > 0.0 ? clamp(1.0 - 2.0 * total / count, 0.0, 1.0) : 1.0;
  gl_FragColor = vec4(vec3(ao), 1.0);
}
