// Second pass that shows the first pass's normal picture as it is, with the
// background (nothing drawn, depth 1) white.
#version 120

uniform sampler2D normal_texture;
uniform sampler2D depth_texture;

void main() {
  vec2 t = gl_TexCoord[0].st;
  if (texture2D(depth_texture, t).r >= 1.0)
    gl_FragColor = vec4(1.0);
  else
    gl_FragColor = vec4(texture2D(normal_texture, t).rgb, 1.0);
}
