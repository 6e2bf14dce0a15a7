// First pass of the second ambient-occlusion family: the eye-space normal,
// turned towards the viewer and scaled to [0, 1], in RGB, and the distance
// from the eye, linear between the near (0) and far (1) planes, in alpha.
// The depth buffer keeps the window depth, which the later passes read; the
// alpha copy serves frame buffers whose colour texture has an alpha channel.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;

void main() {
  vec3 n = normalize(eye_normal);
  if (!gl_FrontFacing) n = -n;
  if (n.z < 0.0) n = normalize(vec3(n.xy, 0.0) + vec3(0.0, 0.0, 1e-3));
  float a = gl_ProjectionMatrix[2][2];
  float b = gl_ProjectionMatrix[3][2];
  float linear_depth = gl_FragCoord.z;
  if (gl_ProjectionMatrix[2][3] != 0.0) {
    float near_plane = b / (a - 1.0);
    float far_plane = b / (a + 1.0);
    linear_depth = (-eye_position.z - near_plane) / (far_plane - near_plane);
  }
  gl_FragColor = vec4(n * 0.5 + 0.5, clamp(linear_depth, 0.0, 1.0));
}
