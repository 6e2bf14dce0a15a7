// Second pass, ambient occlusion from the depth picture.
//
// Each pixel compares its neighbours' depths with the tangent plane of its
// own surface: a neighbour lying in front of that plane (towards the eye)
// hides part of the sky above the pixel. Flat areas, tilted or not, and
// convex edges therefore stay white; creases, holes and concave corners go
// darker. The tangent plane comes from the depth picture itself (one-sided
// differences, the smaller of the two, so silhouettes do not bend it).
//
// Samples: 9, 25, 49 or 225 give the full 3x3, 5x5, 7x7 or 15x15 grid over a
// square of `ssao_width` pixels; any other count takes that many random
// positions in the same square from the random texture. Depth differences are
// measured in thousandths of the near-far range (about one pixel each in the
// default view); a neighbour further in front than `ssao_max_dist` belongs to
// other geometry and does not occlude.
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

// Slope of the surface's depth per pixel, from the flatter side.
vec2 depth_slope(vec2 p, float d0) {
  float dl = d0 - depth_at(p - vec2(1.0, 0.0));
  float dr = depth_at(p + vec2(1.0, 0.0)) - d0;
  float db = d0 - depth_at(p - vec2(0.0, 1.0));
  float dt = depth_at(p + vec2(0.0, 1.0)) - d0;
  return vec2(abs(dl) < abs(dr) ? dl : dr, abs(db) < abs(dt) ? db : dt);
}

// Occlusion of one neighbour at `offset` pixels, from 0 to 1.
float occlusion(vec2 p, float d0, vec2 slope, vec2 offset) {
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
  if (d0 >= 1.0) {  // background
    gl_FragColor = vec4(1.0);
    return;
  }
  vec2 slope = depth_slope(p, d0);
  float width = float(ssao_width);
  float total = 0.0;
  float count = 0.0;

  int side = ssao_type == 9 ? 3 : ssao_type == 25 ? 5 : ssao_type == 49 ? 7
           : ssao_type == 225 ? 15 : 0;
  if (side > 0) {
    float step_size = width / float(side - 1);
    for (int j = 0; j < 15; ++j) {
      if (j >= side) break;
      for (int i = 0; i < 15; ++i) {
        if (i >= side) break;
        vec2 offset = (vec2(float(i), float(j)) - 0.5 * float(side - 1)) * step_size;
        total += occlusion(p, d0, slope, offset);
        count += 1.0;
      }
    }
  } else {
    for (int i = 0; i < max_random_samples; ++i) {
      if (i >= ssao_type) break;
      vec4 r = random_at(p + vec2(float(i * 67), float(i * 131)));
      vec2 offset = (r.xy - 0.5) * width;
      total += occlusion(p, d0, slope, offset);
      count += 1.0;
    }
  }
  float ao = count > 0.0 ? clamp(1.0 - 1.5 * total / count, 0.0, 1.0) : 1.0;
  gl_FragColor = vec4(vec3(ao), 1.0);
}
