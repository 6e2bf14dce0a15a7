// Third pass: the objects drawn again with the fixed-function lighting (no
// vertex shader), darkened by the occlusion picture of the second pass. The
// occlusion is averaged over 4 x 4 pixels, which hides the grain of random
// samples, and `ssao_factor` scales how much of it is applied (0 none,
// 1 all, above 1 stronger).
#version 120

uniform sampler2D ssao_texture;
uniform int screen_width;
uniform int screen_height;
uniform float inv_screen_width;
uniform float inv_screen_height;
uniform float ssao_factor;

void main() {
  vec2 scale = vec2(inv_screen_width, inv_screen_height);
  vec2 p = gl_FragCoord.xy - vec2(1.5);
  float sum = 0.0;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i)
      sum += texture2D(ssao_texture, (p + vec2(float(i), float(j))) * scale).r;
  float occlusion = 1.0 - sum / 16.0;
  float shade = clamp(1.0 - ssao_factor * occlusion, 0.0, 1.0);
  gl_FragColor = vec4(gl_Color.rgb * shade, gl_Color.a);
}
