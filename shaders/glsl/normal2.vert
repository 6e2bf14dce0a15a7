// Hands the eye-space normal and position to the second normal-and-depth
// first pass.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;

void main() {
  gl_Position = ftransform();
  eye_normal = gl_NormalMatrix * gl_Normal;
  eye_position = vec3(gl_ModelViewMatrix * gl_Vertex);
  gl_TexCoord[0] = gl_MultiTexCoord0;
}
