// First pass of the ambient-occlusion set-ups: writes the eye-space normal,
// turned towards the viewer and scaled to [0, 1], into the colour buffer; the
// depth buffer keeps the depth. The later passes read both as textures.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;

void main() {
  vec3 n = normalize(eye_normal);
  if (!gl_FrontFacing) n = -n;
  if (n.z < 0.0) n = normalize(vec3(n.xy, 0.0) + vec3(0.0, 0.0, 1e-3));
  gl_FragColor = vec4(n * 0.5 + 0.5, 1.0);
}
