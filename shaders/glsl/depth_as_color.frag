// Colours each pixel by its distance from the eye: near is warm and light,
// far is cool and dark. The window depth is turned back into eye distance with
// the projection matrix, so the ramp is linear in distance. The camera puts
// the near and far planes a model size and a half before and behind the
// centre, and the model (whose box diagonal is the model size) lies within
// the middle third of that range: the ramp spans that third.
#version 120

vec3 depth_ramp(float t) {
  // t = 0 near, 1 far
  vec3 near_colour = vec3(1.0, 0.93, 0.55);
  vec3 middle_colour = vec3(0.85, 0.25, 0.35);
  vec3 far_colour = vec3(0.12, 0.1, 0.45);
  if (t < 0.5) return mix(near_colour, middle_colour, t * 2.0);
  return mix(middle_colour, far_colour, t * 2.0 - 1.0);
}

void main() {
  float a = gl_ProjectionMatrix[2][2];
  float b = gl_ProjectionMatrix[3][2];
  float z_ndc = gl_FragCoord.z * 2.0 - 1.0;
  float t = gl_FragCoord.z;
  if (gl_ProjectionMatrix[2][3] != 0.0) {  // perspective: undo the 1/z
    float near_plane = b / (a - 1.0);
    float far_plane = b / (a + 1.0);
    float distance = b / (z_ndc + a);
    t = (distance - near_plane) / (far_plane - near_plane);
    t = (t - 1.0 / 3.0) * 3.0;
  }
  gl_FragColor = vec4(depth_ramp(clamp(t, 0.0, 1.0)), 1.0);
}
