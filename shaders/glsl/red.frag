// Red, with a soft diffuse term from the first light so that the shape
// still reads; both faces are lit alike.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;

void main() {
  vec3 n = normalize(eye_normal);
  if (!gl_FrontFacing) n = -n;
  vec3 l = normalize(gl_LightSource[0].position.xyz);
  float diffuse = max(dot(n, l), 0.0);
  gl_FragColor = vec4(vec3(1.0, 0.0, 0.0) * (0.35 + 0.65 * diffuse), 1.0);
}
