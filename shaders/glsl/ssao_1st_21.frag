// Second pass, ambient occlusion from the depth picture, with weighting.
//
// As the plain depth pass, neighbours in front of the pixel's tangent plane
// occlude, but each neighbour counts less the further it lies from the pixel
// (weight 1 / (1 + distance / half width)), so small creases read sharper
// and wide ones softer. The full grids (9, 25 or 49 samples: 3x3, 5x5, 7x7 over
// `ssao_width` pixels) are turned by a random angle per pixel to break the
// grid's banding; any other count takes that many random positions in the
// square. Depth differences are in thousandths of the near-far range;
// neighbours further in front than `ssao_max_dist` do not occlude.
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
const int max_random_samples = 256;

float depth_at(vec2 pixel) {
  return texture2D(depth_texture, pixel * vec2(inv_screen_width, inv_screen_height)).r;
}

vec4 random_at(vec2 pixel) {
  return texture2D(random_texture, fract(pixel / 512.0));
}

vec2 depth_slope(vec2 p, float d0) {
  float dl = d0 - depth_at(p - vec2(1.0, 0.0));
  float dr = depth_at(p + vec2(1.0, 0.0)) - d0;
  float db = d0 - depth_at(p - vec2(0.0, 1.0));
  float dt = depth_at(p + vec2(0.0, 1.0)) - d0;
  return vec2(abs(dl) < abs(dr) ? dl : dr, abs(db) < abs(dt) ? db : dt);
}

float occlusion(vec2 p, float d0, vec2 slope, vec2 offset, float half_width) {
  // Whole pixels: the depth picture is read at texel centres, and the plane
  // must be followed to the texel actually read.
  offset = floor(offset + 0.5);
  float sample_depth = depth_at(p + offset);
  float in_front = (d0 + dot(slope, offset) - sample_depth) * depth_units;
  float range = 1.0 - smoothstep(0.5 * ssao_max_dist, ssao_max_dist, in_front);
  return smoothstep(0.05, 1.0, in_front) * range;
}

void main() {
  vec2 p = gl_FragCoord.xy;
  float d0 = depth_at(p);
  if (d0 >= 1.0) {
    gl_FragColor = vec4(1.0);
    return;
  }
  vec2 slope = depth_slope(p, d0);
  float width = float(ssao_width);
  float half_width = max(0.5 * width, 1.0);
  float total = 0.0;
  float weights = 0.0;

  int side = ssao_type == 9 ? 3 : ssao_type == 25 ? 5 : ssao_type == 49 ? 7 : 0;
  if (side > 0) {
    float angle = random_at(p).x * 6.2831853;
    mat2 turn = mat2(cos(angle), sin(angle), -sin(angle), cos(angle));
    float step_size = width / float(side - 1);
    for (int j = 0; j < 7; ++j) {
      if (j >= side) break;
      for (int i = 0; i < 7; ++i) {
        if (i >= side) break;
        vec2 offset = turn * ((vec2(float(i), float(j)) - 0.5 * float(side - 1)) * step_size);
        float weight = 1.0 / (1.0 + length(offset) / half_width);
        total += weight * occlusion(p, d0, slope, offset, half_width);
        weights += weight;
      }
    }
  } else {
    for (int i = 0; i < max_random_samples; ++i) {
      if (i >= ssao_type) break;
      vec4 r = random_at(p + vec2(float(i * 67), float(i * 131)));
      vec2 offset = (r.xy - 0.5) * width;
      float weight = 1.0 / (1.0 + length(offset) / half_width);
      total += weight * occlusion(p, d0, slope, offset, half_width);
      weights += weight;
    }
  }
  float ao = weights > 0.0 ? clamp(1.0 - 1.5 * total / weights, 0.0, 1.0) : 1.0;
  gl_FragColor = vec4(vec3(ao), 1.0);
}
