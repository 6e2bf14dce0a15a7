// Shows the eye-space normal as a colour, each component scaled from
// [-1, 1] to [0, 1]: right-facing is red, up-facing green, facing the viewer
// blue. Normals are turned towards the viewer on back faces.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;

void main() {
  vec3 n = normalize(eye_normal);
  if (!gl_FrontFacing) n = -n;
  gl_FragColor = vec4(n * 0.5 + 0.5, 1.0);
}
